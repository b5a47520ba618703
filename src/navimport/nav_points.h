// Every fix and navaid read from the fix and navaid files, looked up by the
// references of airway and procedure files. Idents repeat around the world, so a
// lookup narrows by kind and ICAO region and then prefers the point that belongs
// where the reference is made (en-route, or the procedure's own airport).
//
// Points are added while files are read; finish() sorts the index once, after
// which the table is only read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/waypoint_type.h"

namespace core_calc::navimport {

enum class PointKind : std::uint8_t { kFix, kNdb, kVhf, kLocalizer, kAny };

struct NavPoint {
  std::string ident;
  std::string region;  // ICAO region ("K1"); empty in the older formats
  std::string area;    // "ENRT", the airport of a terminal point, or empty (older formats)
  double lat = 0.0;
  double lon = 0.0;
  PointKind kind = PointKind::kFix;
  WaypointType type = WaypointType::kFix;  // as the database records it (not for localizers)
};

struct PointQuery {
  std::string_view ident;
  std::string_view region;   // empty: any region
  std::string_view airport;  // terminal area preferred, empty: none
  PointKind kind = PointKind::kAny;
  std::optional<std::pair<double, double>> near;  // among equals, the nearest wins
};

class NavPointTable {
 public:
  void add(NavPoint point) { points_.push_back(std::move(point)); }
  void finish();
  std::size_t size() const { return points_.size(); }
  const std::vector<NavPoint>& points() const { return points_; }

  // An en-route reference (airway files): exact kind and region, en-route first.
  const NavPoint* find_enroute(std::string_view ident, std::string_view region,
                               PointKind kind) const;
  // A procedure reference: kind and region when given, the airport's own terminal
  // points first, then en-route ones, then any; ties go to the nearest.
  const NavPoint* find(const PointQuery& query) const;

 private:
  // Indices of the points named `ident`, in the order they were added.
  std::pair<const std::uint32_t*, const std::uint32_t*> named(std::string_view ident) const;

  std::vector<NavPoint> points_;
  std::vector<std::uint32_t> by_ident_;  // point indices grouped by ident, in adding order
  // ident -> [first, last) in by_ident_; the views point into points_, fixed after finish()
  std::unordered_map<std::string_view, std::pair<std::uint32_t, std::uint32_t>> ranges_;
};

// Magnetic front courses of localizers, by airport and runway designator ("16L").
class LocalizerCourses {
 public:
  void add(std::string_view airport, std::string_view runway, double magnetic);
  std::optional<double> find(std::string_view airport, std::string_view runway) const;

 private:
  static std::string key(std::string_view airport, std::string_view runway);
  std::unordered_map<std::string, double> courses_;
};

}  // namespace core_calc::navimport
