#include "navimport/airway_parser.h"

#include "navimport/import_errors.h"

namespace core_calc::navimport {
namespace {

PointKind reference_kind(std::string_view type) {
  const long code = integer_field(type, "fix type");
  if (code == 11) return PointKind::kFix;
  if (code == 2) return PointKind::kNdb;
  if (code == 3) return PointKind::kVhf;
  throw LineError("fix type " + std::to_string(code) + " is not 11, 2 or 3");
}

void check_level(std::string_view level, std::string_view base, std::string_view top) {
  const long l = integer_field(level, "airway level");
  if (l != 1 && l != 2) throw LineError("airway level " + std::to_string(l) + " is not 1 or 2");
  integer_field(base, "base altitude");
  integer_field(top, "top altitude");
}

}  // namespace

const NavPoint* AirwayParser::reference(std::size_t at) {
  return points_.find_enroute(fields_.at[at], fields_.at[at + 1],
                              reference_kind(fields_.at[at + 2]));
}

void AirwayParser::line(std::string_view text) {
  split_blanks(text, fields_);
  if (!references_) {
    require_fields(fields_, 10, "an airway segment");
    const LatLon a{latitude_field(fields_.at[1]), longitude_field(fields_.at[2])};
    const LatLon b{latitude_field(fields_.at[4]), longitude_field(fields_.at[5])};
    check_level(fields_.at[6], fields_.at[7], fields_.at[8]);
    const std::uint32_t from = out_.node(fields_.at[0], a);
    add(from, out_.node(fields_.at[3], b), true, true, fields_.at[9]);
    return;
  }
  require_fields(fields_, 11, "an airway segment");
  const std::string_view direction = fields_.at[6];
  if (direction != "N" && direction != "F" && direction != "B")
    throw LineError("direction " + quote(direction) + " is not N, F or B");
  check_level(fields_.at[7], fields_.at[8], fields_.at[9]);
  const NavPoint* a = reference(0);
  const NavPoint* b = reference(3);
  if (!a || !b) {
    ++unresolved_;
    return;
  }
  const std::uint32_t from = out_.node(a->ident, {a->lat, a->lon});
  add(from, out_.node(b->ident, {b->lat, b->lon}), direction != "B", direction != "F",
      fields_.at[10]);
}

void AirwayParser::add(std::uint32_t from, std::uint32_t to, bool forward, bool backward,
                       std::string_view names) {
  if (from == to) {
    ++skipped_;
    return;
  }
  while (!names.empty()) {
    const std::size_t dash = names.find('-');
    const std::string_view name = names.substr(0, dash);
    names = dash == std::string_view::npos ? std::string_view() : names.substr(dash + 1);
    if (name.empty()) continue;
    if (out_.add(out_.airway(name), from, to, forward, backward))
      ++segments_;
    else
      ++duplicates_;
  }
}

}  // namespace core_calc::navimport
