// A flight plan in native form: what plan generation produces for a routed
// combination and what API formatting reads. Plans built by the host arrive
// through the module as this same type.
//
// Names are UTF-8 texts. Procedure points keep their sequence numbers with the
// stored kind (integer, real or text), because clients see them as stored.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/plan_texts.h"
#include "navdata/procedure.h"

namespace core_calc::planning {

using core_calc::kDirectLeg;
using core_calc::kNoStar;
using core_calc::kNotAvailable;

// An en-route node: the node key (name, latitude, longitude) of the airway graph.
struct PlanNode {
  std::string name;
  double lat = 0.0;
  double lon = 0.0;
};

// A direct leg to or from the network: ("DCT", fix, distance km). Departure
// connectors may name their fix by node key or by name only; arrival connectors
// always by name.
struct PlanConnector {
  std::string airway = kDirectLeg;
  std::string fix;
  std::optional<PlanNode> fix_key;  // set when the fix is given as a node key
  double distance_km = 0.0;
};

struct PlanPoints {
  std::vector<navdata::ProcedurePoint> sid;
  std::vector<navdata::ProcedurePoint> star;  // empty without a STAR
  std::vector<navdata::ProcedurePoint> iap;   // empty without an approach
};

struct FlightPlan {
  std::string departure;
  std::string sid;
  std::string star = kNoStar;
  std::string approach = kNotAvailable;
  std::string approach_runway = kNotAvailable;
  std::string arrival;
  std::vector<PlanNode> enroute;
  // Airway of the leg entering enroute[i]; a null id (a hand-built edge without
  // one) is kept as none.
  std::vector<std::optional<std::string>> route_ids;
  double distance_km = 0.0;  // search cost (km plus penalties) + joins + approach
  std::vector<PlanConnector> dep_connectors;
  std::vector<PlanConnector> arr_connectors;
  PlanPoints points;
};

}  // namespace core_calc::planning
