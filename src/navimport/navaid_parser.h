// Records of earth_nav.dat / nav.dat: one navaid per line, the row code first.
//   810:        code lat lon elev freq range extra ident name...
//               (localizers: ... bearing ident airport runway name...)
//   1100-1200:  code lat lon elev freq range extra ident area region name...
//               (localizers: ... bearing ident airport region runway name...)
// NDBs (2), VORs (3) and DMEs (12, 13) become points for airways and procedures;
// localizers (4, 5) also give the magnetic front course of their runway where the
// format carries it (bearing = 360 x magnetic course + true bearing, 1150 on).
// Glide slopes, markers and landing-system points are read past; row codes the
// format does not define are skipped and counted.
#pragma once

#include <cstddef>
#include <string_view>

#include "navimport/nav_points.h"
#include "navimport/text_fields.h"

namespace core_calc::navimport {

class NavaidParser {
 public:
  NavaidParser(int version, NavPointTable& points, LocalizerCourses& courses)
      : regional_(version >= 1100), points_(points), courses_(courses) {}

  void line(std::string_view text);
  std::size_t navaids() const { return navaids_; }
  std::size_t unknown() const { return unknown_; }

 private:
  void point(PointKind kind, WaypointType type);
  void localizer();

  bool regional_;
  NavPointTable& points_;
  LocalizerCourses& courses_;
  Fields fields_;
  std::size_t navaids_ = 0;
  std::size_t unknown_ = 0;
};

}  // namespace core_calc::navimport
