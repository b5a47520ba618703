// What a navigation database knows about a record's points beyond the record
// itself: the type and ICAO region of each named waypoint (the "waypoints" table
// the importer writes), the positions of the two airports and the AIRAC cycle of
// the data ("navdata_metadata"). The exports that name waypoint types (.fms, .pln,
// .fpl) use them; without them each waypoint counts as a named fix.
//
// A point is matched by its name and a position within kMatchDegrees of the
// record's in latitude and longitude; among the matches a VOR comes before a DME,
// an NDB and a fix, so a VOR-DME reads as a VOR.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/waypoint_type.h"
#include "navdata/airport_position.h"
#include "navdata/database.h"
#include "planning/api_record.h"

namespace core_calc::planning {

struct KnownWaypoint {
  WaypointType type = WaypointType::kFix;
  std::string region;  // ICAO region ("ED"), empty when not recorded
};

struct RouteFacts {
  // One entry per record waypoint, or empty when the database records none.
  std::vector<std::optional<KnownWaypoint>> waypoints;
  std::optional<navdata::Position> origin;  // reference point, else runway mean
  std::optional<navdata::Position> destination;
  std::optional<std::string> cycle;  // four digits, "YYCC"
};

inline constexpr double kMatchDegrees = 0.01;

// Reads the facts of `record` from `db`. A database without the tables (one not
// written by the importer) knows nothing; other SQLite failures throw
// navdata::DatabaseError.
RouteFacts read_route_facts(const navdata::Database& db, const ApiRecord& record);

// The facts of one waypoint, when known.
inline const KnownWaypoint* known_waypoint(const RouteFacts& facts, std::size_t i) {
  return i < facts.waypoints.size() && facts.waypoints[i] ? &*facts.waypoints[i] : nullptr;
}

}  // namespace core_calc::planning
