// API formatting: a flight plan as the record a host serves. The waypoint list
// follows the flight (SID, departure connectors, en route, arrival connectors,
// STAR, approach) and drops a point that repeats the entry before it; the route
// string writes airways where they change and fixes where they are left.
//
// Everything read beside the plan comes through FormatSources, consulted only when
// the plan needs it and at the moment it does: airway metadata for airway legs, the
// network for a departure connector fix given by name, the recommended runways.
// Formatting keeps no state and prints nothing.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>

#include "planning/api_record.h"
#include "planning/flight_plan.h"

namespace core_calc::planning {

// A plan that cannot be formatted. The kind says how a host reports it.
class FormatError : public std::runtime_error {
 public:
  enum class Kind { kType, kValue, kOverflow, kRuntime };
  FormatError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

struct AirwayPointMeta {
  std::optional<std::string> seqno;  // text form of the sequence number
  std::optional<std::string> direction_restriction;
};

struct GeoPoint {
  double lat = 0.0;
  double lon = 0.0;
};

class FormatSources {
 public:
  virtual ~FormatSources() = default;
  // Metadata of `node` on airway `route_id` (none: an edge without route id); both
  // fields none when there is no entry or it is empty.
  virtual AirwayPointMeta airway_point(const std::optional<std::string>& route_id,
                                       const PlanNode& node) = 0;
  // The coordinate map's position for a departure connector fix given by name;
  // none when the map has no such key. Without a loaded network this throws the
  // FormatError of no_network_error().
  virtual std::optional<GeoPoint> network_position(const std::string& fix) = 0;
  // The runway reported as "dep_runway", and the one reported as "arr_runway" when
  // the plan's approach has none; asked once per record, the arrival only if needed.
  virtual std::string departure_runway() = 0;
  virtual std::string arrival_runway() = 0;
};

// The failure of placing departure connector fix `fix` without a network.
FormatError no_network_error(const std::string& fix);

// The record of `plan`: exactly the classic keys, no extension. Throws FormatError
// for a route id token that is not text or a distance without whole kilometres;
// errors of the sources pass through.
ApiRecord format_for_api(const FlightPlan& plan, FormatSources& sources);

// The legs between consecutive waypoints: great-circle distance and initial course.
std::vector<ApiLeg> record_legs(const std::vector<ApiWaypoint>& waypoints);

// Adds flown distance, legs and runways to a formatted record.
void extend_record(ApiRecord& record, std::optional<PlanRunways> runways);

}  // namespace core_calc::planning
