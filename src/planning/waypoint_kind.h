// What part of the flight each waypoint of an API record belongs to. Records carry
// no such field (hosts may store them as JSON), so the kind is read back from the
// airway names the formatter wrote: procedure names at both ends, route ids and
// direct legs between them.
//
// Kinds, in flight order:
//   sid        flown by the departure procedure (also a direct departure, "DCT")
//   connector  reached by a direct leg ("DCT") between the procedures and the airways
//   enroute    flown by an airway (or an edge without route id)
//   star       flown by the arrival procedure (also a direct arrival, "DIRECT")
//   approach   flown by the approach (its name, or its name with a transition)
// A direct en-route leg right after a direct departure reads as part of it, as both
// are written "DCT".
#pragma once

#include <vector>

#include "planning/api_record.h"

namespace core_calc::planning {

enum class WaypointKind { kSid, kConnector, kEnroute, kStar, kApproach };

const char* kind_name(WaypointKind kind);

// One kind per entry of record.detailed_waypoints.
std::vector<WaypointKind> waypoint_kinds(const ApiRecord& record);

// An airport's own point in a direct departure or arrival: its ICAO code and "APT".
bool is_aerodrome_point(const std::string& name, const std::string& icao);

}  // namespace core_calc::planning
