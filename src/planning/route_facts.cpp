#include "planning/route_facts.h"

#include <cmath>

namespace core_calc::planning {
namespace {

bool has_table(const navdata::Database& db, const char* name) {
  navdata::Statement st(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
  st.bind_text(1, name);
  return st.step();
}

// VOR first: a VOR-DME is listed as both.
int preference(WaypointType type) {
  switch (type) {
    case WaypointType::kVor:
      return 0;
    case WaypointType::kDme:
      return 1;
    case WaypointType::kNdb:
      return 2;
    case WaypointType::kFix:
      return 3;
  }
  return 3;
}

double lon_gap(double a, double b) {
  const double gap = std::fabs(a - b);
  return gap > 180.0 ? 360.0 - gap : gap;
}

std::optional<KnownWaypoint> find_waypoint(const navdata::Database& db, const ApiWaypoint& w) {
  if (w.name.empty()) return std::nullopt;
  navdata::Statement st(db,
                        "SELECT waypoint_latitude, waypoint_longitude, waypoint_type, icao_region "
                        "FROM waypoints WHERE waypoint_identifier = ?");
  st.bind_text(1, w.name);
  std::optional<KnownWaypoint> best;
  int best_rank = 0;
  while (st.step()) {
    double lat = 0.0, lon = 0.0;
    if (!navdata::to_real(st.column_value(0), lat) || !navdata::to_real(st.column_value(1), lon))
      continue;
    if (std::fabs(lat - w.lat) > kMatchDegrees || lon_gap(lon, w.lon) > kMatchDegrees) continue;
    const auto type = waypoint_type_of(st.column_text(2));
    if (!type) continue;
    if (best && preference(*type) >= best_rank) continue;
    best = KnownWaypoint{*type, std::string(st.column_text(3))};
    best_rank = preference(*type);
  }
  return best;
}

std::optional<std::string> data_cycle(const navdata::Database& db) {
  navdata::Statement st(db, "SELECT value FROM navdata_metadata WHERE key = 'cycle'");
  if (!st.step() || st.column_kind(0) != navdata::SqlValue::Kind::kText) return std::nullopt;
  std::string cycle(st.column_text(0));
  const bool digits =
      cycle.size() == 4 && cycle.find_first_not_of("0123456789") == std::string::npos;
  return digits ? std::optional<std::string>(cycle) : std::nullopt;
}

std::optional<navdata::Position> airport(const navdata::Database& db, const std::string& icao) {
  if (icao.empty()) return std::nullopt;
  return navdata::read_airport_position(db, icao, icao).position;
}

}  // namespace

RouteFacts read_route_facts(const navdata::Database& db, const ApiRecord& record) {
  RouteFacts facts;
  if (has_table(db, "waypoints")) {
    facts.waypoints.reserve(record.detailed_waypoints.size());
    for (const ApiWaypoint& w : record.detailed_waypoints)
      facts.waypoints.push_back(find_waypoint(db, w));
  }
  if (has_table(db, "navdata_metadata")) facts.cycle = data_cycle(db);
  facts.origin = airport(db, record.origin);
  facts.destination = airport(db, record.destination);
  return facts;
}

}  // namespace core_calc::planning
