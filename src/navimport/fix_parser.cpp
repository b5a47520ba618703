#include "navimport/fix_parser.h"

namespace core_calc::navimport {

void FixParser::line(std::string_view text) {
  split_blanks(text, fields_);
  require_fields(fields_, regional_ ? 5 : 3, "a fix");
  NavPoint point;
  point.lat = latitude_field(fields_.at[0]);
  point.lon = longitude_field(fields_.at[1]);
  point.ident = fields_.at[2];
  if (regional_) {
    point.area = fields_.at[3];
    point.region = fields_.at[4];
  }
  point.kind = PointKind::kFix;
  out_.add(std::move(point));
  ++fixes_;
}

}  // namespace core_calc::navimport
