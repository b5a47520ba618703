#include "planning/plan_output.h"

namespace core_calc::planning {
namespace {

std::string first_or_none(const std::vector<std::string>& runways) {
  return runways.empty() ? std::string(kNotAvailable) : runways.front();
}

}  // namespace

FlightPlan flight_plan(const PlannedRoute& route, const network::RouteNetwork& net,
                       const std::string& departure, const std::string& arrival) {
  FlightPlan plan;
  plan.departure = departure;
  plan.arrival = arrival;
  plan.sid = route.sid->name;
  if (route.star) plan.star = route.star->name;
  if (route.approach) {
    plan.approach = route.approach->name;
    if (!route.approach->runway.empty()) plan.approach_runway = route.approach->runway;
  }
  for (network::NodeId n : route.route.enroute) {
    const network::Node& node = net.node(n);
    plan.enroute.push_back({std::string(net.names().text(node.name)), node.lat, node.lon});
  }
  for (network::NameId rid : route.route.route_ids) {
    if (rid == network::kNoName) {
      plan.route_ids.emplace_back(std::nullopt);
    } else {
      plan.route_ids.emplace_back(std::string(net.names().text(rid)));
    }
  }
  plan.distance_km = route.route.distance_km;
  if (route.route.has_connector) {
    // The join leads to the first fix of the arrival, or of the approach without one.
    const std::string& fix =
        route.star ? route.star->points.front().name : route.approach->points.front().name;
    plan.arr_connectors.push_back({kDirectLeg, fix, std::nullopt, route.route.connector_km});
  }
  plan.points.sid = route.sid->points;
  if (route.star) plan.points.star = route.star->points;
  if (route.approach) plan.points.iap = route.approach->points;
  return plan;
}

PlanRunways plan_runways(const PlannedRoute& route, const PlanOutcome& outcome,
                         const PlanRequest& request) {
  PlanRunways runways;
  runways.departure_ranked = outcome.departure_runways.runways;
  runways.arrival_ranked = outcome.arrival_runways.runways;
  runways.departure_wind = outcome.departure_runways.wind;
  runways.arrival_wind = outcome.arrival_runways.wind;
  runways.departure = !route.sid_runway.empty()         ? route.sid_runway
                      : !request.forced_dep_rwy.empty() ? request.forced_dep_rwy
                                                        : first_or_none(runways.departure_ranked);
  if (route.approach && !route.approach->runway.empty()) {
    runways.arrival = route.approach->runway;
  } else if (!route.star_runway.empty()) {
    runways.arrival = route.star_runway;
  } else {
    runways.arrival = !request.forced_arr_rwy.empty() ? request.forced_arr_rwy
                                                      : first_or_none(runways.arrival_ranked);
  }
  return runways;
}

}  // namespace core_calc::planning
