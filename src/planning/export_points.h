// The points a flight-plan file lists, in flight order: the departure airport,
// every waypoint of the record except the airports' own points ("EPFOAPT") and
// the runways ("RW30R"), which such files name as the airport and its runway, and
// the arrival airport. Shared by the .fms, .pln and .fpl exports.
//
// An airport's position is its reference point from the database, else its own
// point in the record, else the runway point the record starts (ends) at, else the
// first (last) waypoint; an airport without any is left out.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "planning/api_record.h"
#include "planning/route_facts.h"
#include "planning/waypoint_kind.h"

namespace core_calc::planning {

enum class PointRole { kDeparture, kWaypoint, kArrival };

struct ExportPoint {
  PointRole role = PointRole::kWaypoint;
  std::string ident;  // the airport's code or the waypoint's name
  double lat = 0.0;
  double lon = 0.0;
  WaypointKind kind = WaypointKind::kEnroute;  // waypoints only
  std::optional<std::string> airway;           // waypoints only, as the record has it
  const KnownWaypoint* known = nullptr;        // the database's facts, when it has them
};

std::vector<ExportPoint> export_points(const ApiRecord& record, const RouteFacts& facts);

// "RW" and a designator of two digits and an optional L, R or C.
bool is_runway_point(const std::string& name);

// The runway designators ("30R", without "RW") of the departure and the arrival,
// empty when unknown: the runways flown when plan generation supplied them, else
// the record's runways, else the runway points the procedures start and end at.
struct ExportRunways {
  std::string departure;
  std::string arrival;
};
ExportRunways export_runways(const ApiRecord& record);

// A flight that uses airways or procedures (rather than direct legs only).
bool uses_airways(const ApiRecord& record);

}  // namespace core_calc::planning
