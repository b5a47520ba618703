// Records of earth_awy.dat / awy.dat: one segment per line, shared by every airway
// named on it (names joined by "-").
//   640:        ident lat lon ident lat lon level base top names
//   1100/1101:  ident region type ident region type direction level base top names
// In 1100 the ends are references (type 11 fix, 2 NDB, 3 VHF navaid) resolved
// against the fix and navaid files; the direction is N (both ways), F (from the
// first end to the second only) or B (from the second to the first only). A
// reference that is not found leaves its segment out (counted as unresolved); a
// segment from a point to itself is skipped.
#pragma once

#include <cstddef>
#include <string_view>

#include "navimport/airway_set.h"
#include "navimport/nav_points.h"
#include "navimport/text_fields.h"

namespace core_calc::navimport {

class AirwayParser {
 public:
  AirwayParser(int version, const NavPointTable& points, AirwaySet& out)
      : references_(version >= 1100), points_(points), out_(out) {}

  void line(std::string_view text);

  std::size_t segments() const { return segments_; }      // new segments kept
  std::size_t duplicates() const { return duplicates_; }  // repeats of a kept segment
  std::size_t unresolved() const { return unresolved_; }  // lines with an unknown end
  std::size_t skipped() const { return skipped_; }        // lines from a point to itself

 private:
  void add(std::uint32_t from, std::uint32_t to, bool forward, bool backward,
           std::string_view names);
  const NavPoint* reference(std::size_t at);

  bool references_;
  const NavPointTable& points_;
  AirwaySet& out_;
  Fields fields_;
  std::size_t segments_ = 0;
  std::size_t duplicates_ = 0;
  std::size_t unresolved_ = 0;
  std::size_t skipped_ = 0;
};

}  // namespace core_calc::navimport
