// Records of apt.dat. An airport is its header row (1 land airport, 16 seaplane
// base, 17 heliport) and the rows up to the next header; of those rows only land
// runways (100), water runways (101), helipads (102) and metadata (1302) are read,
// the layout rows in between are passed over.
//
// Each complete airport goes to the sink:
// - identifier: the "icao_code" metadata when given, otherwise the header's ident;
// - reference point: the "datum_lat"/"datum_lon" metadata when both are given,
//   otherwise the mean of the land runway ends, otherwise of the water runway ends
//   and helipads, otherwise none;
// - one runway end per end of each land runway: its threshold (the end moved along
//   the runway by its displaced threshold) and its bearing, the magnetic front
//   course of the end's localizer when the navaid data gives one, otherwise the true
//   course from this end to the opposite end.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "navimport/nav_points.h"
#include "navimport/runway_geometry.h"
#include "navimport/text_fields.h"

namespace core_calc::navimport {

struct RunwayEnd {
  std::string designator;  // "16L"
  LatLon threshold;
  double bearing = 0.0;
  bool magnetic = false;
};

struct AirportRecord {
  std::string ident;
  std::string name;
  std::optional<LatLon> reference;
  std::vector<RunwayEnd> runway_ends;
};

class AirportParser {
 public:
  using Sink = std::function<void(const AirportRecord&)>;

  AirportParser(const LocalizerCourses& courses, Sink sink)
      : courses_(courses), sink_(std::move(sink)) {}

  void line(std::string_view text);
  // Hands over the last airport; call once after the last line.
  void finish();
  std::size_t airports() const { return airports_; }

 private:
  struct LandRunway {
    std::string designator[2];
    LatLon end[2];
    double displaced[2] = {0.0, 0.0};
  };

  void start_airport();
  void land_runway();
  void water_runway();
  void helipad();
  void metadata();
  void require_airport(const char* record) const;
  std::optional<double> localizer_course(std::string_view designator) const;

  const LocalizerCourses& courses_;
  Sink sink_;
  Fields fields_;
  bool open_ = false;
  std::string header_ident_;
  std::string icao_code_;
  std::optional<double> datum_lat_;
  std::optional<double> datum_lon_;
  std::vector<LandRunway> land_;
  MeanPosition others_;   // water runway ends and helipads
  AirportRecord record_;  // reused between airports
  std::size_t airports_ = 0;
};

}  // namespace core_calc::navimport
