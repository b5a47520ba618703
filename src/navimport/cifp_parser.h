// Records of one X-Plane CIFP file (CIFP/<airport>.dat): "TYPE:" followed by
// comma-separated fields, groups of them separated by ";". Read here:
//   SID: / STAR: / APPCH:  seq, route type, procedure, transition, fix, region,
//                          section, subsection, description, turn, RNP, path and
//                          termination, ... (one leg per line)
//   RWY:                   runway, gradient, ... ; latitude, longitude, displaced
//                          threshold  (latitude N/S + DDMMSSss, longitude E/W +
//                          DDDMMSSss)
// Continuation records (PRDAT:) are read past; other record types are skipped and
// counted. The file has no header and no closing line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "navimport/runway_geometry.h"

namespace core_calc::navimport {

enum class ProcedureKind { kSid, kStar, kApproach };

struct CifpLeg {
  ProcedureKind kind;
  int seq = 0;
  char route_type = ' ';
  std::string procedure;
  std::string transition;  // blank for a common route or an approach's final part
  std::string fix;         // blank for legs that end at no fix (headings, altitudes)
  std::string region;
  char section = ' ';
  char subsection = ' ';
  char description[4] = {' ', ' ', ' ', ' '};
};

struct CifpRunway {
  std::string ident;  // "RW16L"
  LatLon threshold;
};

struct CifpFile {
  std::vector<CifpLeg> legs;
  std::vector<CifpRunway> runways;
  std::size_t unknown = 0;

  void clear() {
    legs.clear();
    runways.clear();
    unknown = 0;
  }
};

class CifpParser {
 public:
  explicit CifpParser(CifpFile& out) : out_(out) {}
  void line(std::string_view text);

 private:
  void leg(ProcedureKind kind, std::string_view payload);
  void runway(std::string_view payload);

  CifpFile& out_;
};

// ARINC 424 coordinates: "N47275400" / "W122180900" (hundredths of seconds).
double arinc_latitude(std::string_view text);
double arinc_longitude(std::string_view text);

}  // namespace core_calc::navimport
