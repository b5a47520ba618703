#include "navimport/navaid_parser.h"

#include <cmath>

namespace core_calc::navimport {

void NavaidParser::line(std::string_view text) {
  split_blanks(text, fields_);
  switch (integer_field(fields_.at[0], "row code")) {
    case 2:
      point(PointKind::kNdb, WaypointType::kNdb);
      break;
    case 3:
      point(PointKind::kVhf, WaypointType::kVor);
      break;
    case 12:
    case 13:
      point(PointKind::kVhf, WaypointType::kDme);
      break;
    case 4:
    case 5:
      localizer();
      break;
    case 6:
    case 7:
    case 8:
    case 9:
      break;  // glide slopes and markers: not waypoints
    case 14:
    case 15:
    case 16:
      if (!regional_) ++unknown_;
      break;  // landing-system path points
    default:
      ++unknown_;
  }
}

void NavaidParser::point(PointKind kind, WaypointType type) {
  require_fields(fields_, regional_ ? 10 : 8, "a navaid");
  NavPoint p;
  p.lat = latitude_field(fields_.at[1]);
  p.lon = longitude_field(fields_.at[2]);
  p.ident = fields_.at[7];
  if (regional_) {
    p.area = fields_.at[8];
    p.region = fields_.at[9];
  }
  p.kind = kind;
  p.type = type;
  points_.add(std::move(p));
  ++navaids_;
}

void NavaidParser::localizer() {
  require_fields(fields_, regional_ ? 11 : 10, "a localizer");
  NavPoint p;
  p.lat = latitude_field(fields_.at[1]);
  p.lon = longitude_field(fields_.at[2]);
  const double bearing = real_field(fields_.at[6], "localizer bearing");
  p.ident = fields_.at[7];
  p.area = fields_.at[8];
  const std::string_view runway = fields_.at[regional_ ? 10 : 9];
  if (regional_) {
    p.region = fields_.at[9];
    if (bearing >= 360.0)
      courses_.add(p.area, runway, std::fmod(std::floor(bearing / 360.0), 360.0));
  }
  p.kind = PointKind::kLocalizer;
  points_.add(std::move(p));
  ++navaids_;
}

}  // namespace core_calc::navimport
