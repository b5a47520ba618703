// Records of earth_fix.dat / fix.dat: one fix per line.
//   600:        lat lon ident
//   1100-1200:  lat lon ident area region [type [name...]]   (area "ENRT" or an airport)
#pragma once

#include <cstddef>
#include <string_view>

#include "navimport/nav_points.h"
#include "navimport/text_fields.h"

namespace core_calc::navimport {

class FixParser {
 public:
  FixParser(int version, NavPointTable& out) : regional_(version >= 1100), out_(out) {}

  void line(std::string_view text);
  std::size_t fixes() const { return fixes_; }

 private:
  bool regional_;
  NavPointTable& out_;
  Fields fields_;
  std::size_t fixes_ = 0;
};

}  // namespace core_calc::navimport
