#include "network/airway_loader.h"

#include <cctype>
#include <chrono>
#include <thread>

#include "common/number_text.h"
#include "geo/geodesy.h"

namespace core_calc::network {
namespace {

using navdata::SqlValue;
using navdata::Statement;

enum Column { kRoute, kWaypoint, kLat, kLon, kSeqno, kRestriction, kSegment };

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

SegmentKey read_segment(const Statement& st, int col, NameTable& names) {
  SegmentKey key;
  switch (st.column_kind(col)) {
    case SqlValue::Kind::kInteger:
      key.kind = SegmentKey::Kind::kInteger;
      key.integer = st.column_int(col);
      break;
    case SqlValue::Kind::kReal:
      key.kind = SegmentKey::Kind::kReal;
      key.real = st.column_real(col);
      break;
    case SqlValue::Kind::kText:
    case SqlValue::Kind::kBlob:
      key.kind = SegmentKey::Kind::kText;
      key.text = names.intern(st.column_text(col));
      break;
    case SqlValue::Kind::kNull:
      break;
  }
  return key;
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

std::vector<AirwayRow> read_airway_rows(const navdata::Database& db,
                                        const std::string& table_suffix, NameTable& names) {
  const bool use_segment_uid = table_suffix.empty();
  const std::string sql =
      use_segment_uid
          ? "SELECT route_identifier, waypoint_identifier, waypoint_latitude, waypoint_longitude, "
            "seqno, direction_restriction, segment_uid FROM airway_segments WHERE "
            "waypoint_identifier IS NOT NULL ORDER BY segment_uid, seqno"
          : "SELECT route_identifier, waypoint_identifier, waypoint_latitude, waypoint_longitude, "
            "seqno, direction_restriction FROM tbl_enroute_airways" +
                table_suffix +
                " WHERE waypoint_identifier IS NOT NULL ORDER BY route_identifier, seqno";
  Statement st(db, sql);
  std::vector<AirwayRow> rows;
  std::string last_route_text;  // consecutive rows mostly belong to one airway
  NameId last_route = kNoName;
  while (st.step()) {
    AirwayRow row;
    if (st.column_kind(kRoute) == SqlValue::Kind::kNull) {
      row.route = kNoName;
    } else if (last_route != kNoName && st.column_text(kRoute) == last_route_text) {
      row.route = last_route;
    } else {
      row.route = last_route = names.intern(st.column_text(kRoute));
      last_route_text = std::string(st.column_text(kRoute));
    }
    row.waypoint = names.intern(st.column_text(kWaypoint));
    row.lat = read_coordinate(st, kLat);
    row.lon = read_coordinate(st, kLon);
    row.seqno_text = read_seqno_text(st, kSeqno, names);
    read_restriction(st, kRestriction, names, row);
    if (use_segment_uid) {
      row.segment = read_segment(st, kSegment, names);
    } else if (row.route != kNoName) {
      row.segment.kind = SegmentKey::Kind::kText;
      row.segment.text = row.route;
    }
    rows.push_back(row);
  }
  return rows;
}

void build_network(const std::vector<AirwayRow>& rows, const BuildOptions& options,
                   RouteNetwork& net, AirwayMetaBuilder& meta, BuildStats& stats) {
  // Cells and edges are packed once at the end, also when a row fails part-way.
  struct PackAtExit {
    RouteNetwork& net;
    ~PackAtExit() {
      net.grid.sort_cells();
      net.freeze();
    }
  } pack_at_exit{net};
  net.reserve_nodes(rows.size() / 2);  // airway points are shared by about two rows each
  net.reserve_edges(2 * rows.size());
  net.grid.reserve(rows.size());
  meta.reserve(rows.size());
  const SegmentKey* current_segment = nullptr;
  NodeId prev = kNoNode;
  double prev_lat = 0.0, prev_lon = 0.0;
  constexpr std::size_t kPrefetchDistance = 8;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const AirwayRow& row = rows[i];
    if (i + kPrefetchDistance < rows.size()) {
      const AirwayRow& ahead = rows[i + kPrefetchDistance];
      net.prefetch_node({ahead.waypoint, round_coordinate(ahead.lat), round_coordinate(ahead.lon)});
    }
    if (++stats.rows % 1000 == 0) {
      const auto start = std::chrono::steady_clock::now();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      stats.pause_seconds +=
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double lat = round_coordinate(row.lat);
    const double lon = round_coordinate(row.lon);
    const NodeId node = net.intern_node({row.waypoint, lat, lon});
    meta.set(row.route, node, {row.seqno_text, row.restriction});
    net.grid.add(node, lat, lon, options.grid_size, false);
    net.set_coord(node, lat, lon);
    if (current_segment && row.segment.continues(*current_segment) && prev != kNoNode) {
      const double distance = geo::haversine_km(prev_lat, prev_lon, lat, lon);
      const bool forward = options.ignore_direction || !row.forbids_forward;
      const bool backward = options.ignore_direction || !row.forbids_backward;
      if (forward) {
        net.append_edge(prev, node, distance, row.route);
        ++stats.edge_writes;
      }
      if (backward) {
        net.append_edge(node, prev, distance, row.route);
        ++stats.edge_writes;
      }
    } else {
      current_segment = &row.segment;
    }
    prev = node;
    prev_lat = lat;
    prev_lon = lon;
  }
}

}  // namespace core_calc::network
