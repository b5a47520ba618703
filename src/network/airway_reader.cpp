#include "network/airway_reader.h"

#include <cctype>
#include <limits>

#include "common/number_text.h"

namespace core_calc::network {
namespace {

using navdata::SqlValue;
using navdata::Statement;

enum Column { kRoute, kWaypoint, kLat, kLon, kSeqno, kRestriction, kSegment };

std::string query_for(const std::string& table_suffix) {
  if (table_suffix.empty())
    return "SELECT route_identifier, waypoint_identifier, waypoint_latitude, waypoint_longitude, "
           "seqno, direction_restriction, segment_uid FROM airway_segments WHERE "
           "waypoint_identifier IS NOT NULL ORDER BY segment_uid, seqno";
  return "SELECT route_identifier, waypoint_identifier, waypoint_latitude, waypoint_longitude, "
         "seqno, direction_restriction FROM tbl_enroute_airways" +
         table_suffix + " WHERE waypoint_identifier IS NOT NULL ORDER BY route_identifier, seqno";
}

std::string quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

float read_coordinate(const Statement& st, int col) {
  switch (st.column_kind(col)) {
    case SqlValue::Kind::kNull:
      return std::numeric_limits<float>::quiet_NaN();
    case SqlValue::Kind::kInteger:
      return static_cast<float>(st.column_int(col));
    case SqlValue::Kind::kReal:
      return static_cast<float>(st.column_real(col));
    case SqlValue::Kind::kText: {
      double value;
      if (navdata::text_to_real(st.column_text(col), value)) return static_cast<float>(value);
      throw CoordinateError("could not convert string to float: " + quoted(st.column_text(col)));
    }
    case SqlValue::Kind::kBlob:
      break;
  }
  throw CoordinateError("could not convert a binary value to float");
}

NameId read_seqno_text(const Statement& st, int col, NameTable& names) {
  switch (st.column_kind(col)) {
    case SqlValue::Kind::kNull:
      return kNoName;
    case SqlValue::Kind::kInteger:
      return names.intern(int_text(st.column_int(col)));
    case SqlValue::Kind::kReal:
      return names.intern(float_text(st.column_real(col)));
    default:
      return names.intern(st.column_text(col));
  }
}

void read_restriction(const Statement& st, int col, NameTable& names, AirwayRow& row) {
  const SqlValue::Kind kind = st.column_kind(col);
  if (kind == SqlValue::Kind::kNull) return;
  if (kind == SqlValue::Kind::kInteger && st.column_int(col) == 0) return;
  if (kind == SqlValue::Kind::kReal && st.column_real(col) == 0.0) return;
  const std::string_view text = st.column_text(col);
  if (text.empty()) return;
  row.restriction = names.intern(text);
  for (char c : text) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == 'B') row.forbids_forward = true;
    if (upper == 'F') row.forbids_backward = true;
  }
}

}  // namespace

bool SegmentKey::continues(const SegmentKey& previous) const {
  using K = Kind;
  if (kind == K::kNull || previous.kind == K::kNull) return false;
  if (kind == K::kText || previous.kind == K::kText)
    return kind == previous.kind && text == previous.text;
  const bool both_int = kind == K::kInteger && previous.kind == K::kInteger;
  if (both_int) return integer == previous.integer;
  const double a = kind == K::kInteger ? static_cast<double>(integer) : real;
  const double b =
      previous.kind == K::kInteger ? static_cast<double>(previous.integer) : previous.real;
  return a == b;
}

AirwayReader::AirwayReader(const navdata::Database& db, const std::string& table_suffix,
                           NameTable& names)
    : st_(db, query_for(table_suffix)), use_segment_uid_(table_suffix.empty()), names_(names) {}

std::size_t AirwayReader::read(AirwayRow* out, std::size_t count) {
  std::size_t n = 0;
  while (n < count && st_.step()) read_row(out[n++]);
  return n;
}

NameId AirwayReader::read_route() {
  if (st_.column_kind(kRoute) == SqlValue::Kind::kNull) return kNoName;
  const std::string_view text = st_.column_text(kRoute);
  if (last_route_ != kNoName && text == last_route_text_) return last_route_;
  last_route_ = names_.intern(text);
  last_route_text_.assign(text);
  return last_route_;
}

void AirwayReader::read_segment(SegmentKey& key) const {
  key.kind = SegmentKey::Kind::kNull;
  switch (st_.column_kind(kSegment)) {
    case SqlValue::Kind::kInteger:
      key.kind = SegmentKey::Kind::kInteger;
      key.integer = st_.column_int(kSegment);
      break;
    case SqlValue::Kind::kReal:
      key.kind = SegmentKey::Kind::kReal;
      key.real = st_.column_real(kSegment);
      break;
    case SqlValue::Kind::kText:
    case SqlValue::Kind::kBlob:
      key.kind = SegmentKey::Kind::kText;
      key.text.assign(st_.column_text(kSegment));
      break;
    case SqlValue::Kind::kNull:
      break;
  }
}

void AirwayReader::read_row(AirwayRow& row) {
  row = AirwayRow{};
  row.route = read_route();
  row.waypoint = names_.intern(st_.column_text(kWaypoint));
  row.lat = read_coordinate(st_, kLat);
  row.lon = read_coordinate(st_, kLon);
  row.seqno_text = read_seqno_text(st_, kSeqno, names_);
  read_restriction(st_, kRestriction, names_, row);
  if (use_segment_uid_) {
    read_segment(segment_);
  } else if (row.route != kNoName) {
    segment_.kind = SegmentKey::Kind::kText;
    segment_.text = last_route_text_;
  } else {
    segment_.kind = SegmentKey::Kind::kNull;
  }
  // A row continues the segment that its predecessors started; any other row starts one.
  row.continues = in_segment_ && segment_.continues(current_segment_);
  if (!row.continues) {
    std::swap(current_segment_, segment_);
    in_segment_ = true;
  }
}

}  // namespace core_calc::network
