// A planned route as a FlightPlan, the form API formatting reads, and the runways
// behind it.
#pragma once

#include "network/route_network.h"
#include "planning/flight_plan.h"
#include "planning/plan_generation.h"
#include "planning/plan_runways.h"

namespace core_calc::planning {

// The plan of `route` between `departure` and `arrival`, node keys from `net`.
FlightPlan flight_plan(const PlannedRoute& route, const network::RouteNetwork& net,
                       const std::string& departure, const std::string& arrival);

// The runways of one plan of `outcome`: as flown, the runway whose load supplied
// the SID (for the arrival, the approach's runway, else the STAR's load), else the
// forced runway, else the first ranked, else kNotAvailable; and both rankings.
PlanRunways plan_runways(const PlannedRoute& route, const PlanOutcome& outcome,
                         const PlanRequest& request);

}  // namespace core_calc::planning
