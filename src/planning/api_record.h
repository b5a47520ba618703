// The record a host serves for one plan, in native form: what API formatting
// produces and what the route exports read. Fields are in the order of the keys
// clients see. Texts are UTF-8; coordinates are degrees rounded to 8 decimals.
//
// The optional extension (flown distance, legs, runways) is present only on records
// made for the thread-safe entry point; the classic record has exactly the fields
// up to "procedures".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "planning/plan_runways.h"

namespace core_calc::planning {

inline constexpr const char* kPlanMessage = "Plan generated successfully";
inline constexpr double kKmPerNauticalMile = 1.852;

// One entry of "detailed_waypoints".
struct ApiWaypoint {
  std::string name;
  double lat = 0.0;
  double lon = 0.0;
  // The procedure name or route id the point is flown by, kDirectLeg for
  // connectors; none only for an en-route leg whose edge has no route id.
  std::optional<std::string> airway;
  std::optional<std::string> seqno;
  std::optional<std::string> direction_restriction;
};

struct ApiProcedures {
  std::string sid;
  std::string star;
  std::string iap;                       // the approach name before its first "."
  std::optional<std::string> iap_trans;  // none for the main segment and no approach
};

// One great-circle leg between consecutive waypoints.
struct ApiLeg {
  std::string from;
  std::string to;
  std::optional<std::string> airway;  // the airway of the "to" waypoint
  double course_deg = 0.0;            // initial true course, [0, 360)
  double distance_nm = 0.0;
};

struct RecordExtension {
  double flown_distance_km = 0.0;  // sum of the legs, without search penalties
  double flown_distance_nm = 0.0;
  std::vector<ApiLeg> legs;
  std::optional<PlanRunways> runways;  // none when the plan's runways are unknown
};

struct ApiRecord {
  bool success = true;
  std::string message = kPlanMessage;
  std::string origin;
  std::string destination;
  std::string dep_runway = kNotAvailable;
  std::string arr_runway = kNotAvailable;
  std::int64_t distance_km = 0;  // whole kilometres of the plan's distance, truncated
  std::string route_string;
  std::vector<ApiWaypoint> detailed_waypoints;
  ApiProcedures procedures;
  std::optional<RecordExtension> extension;
};

}  // namespace core_calc::planning
