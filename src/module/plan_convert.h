// Conversions between the host's procedure records and plan mappings and the
// planner's native inputs and results.
#pragma once

#include <vector>

#include "module/module_state.h"
#include "network/route_search.h"
#include "planning/combination_router.h"
#include "planning/route_inputs.h"

namespace core_calc::module {

// Reads `name` and `points` (each point: name, latitude, longitude, ...) of a record.
planning::RouteProcedure procedure_input(py::handle record, const char* what);
// Reads `name`, `initial_fix` and `points` of an approach record.
planning::RouteApproach approach_input(py::handle record);
std::vector<planning::RouteApproach> approach_inputs(py::handle records);

// {(from node key, to node key): extra cost}; None or an empty mapping gives none.
// Pairs that are not nodes of the network cost nothing and are left out.
network::EdgePenalties penalties_input(const network::RouteNetwork& net, py::handle mapping);

// The twelve-key plan mapping of a routed combination. The point lists are the
// records' own lists, not copies.
py::dict plan_object(const network::RouteNetwork& net, const planning::CombinationPlan& plan,
                     py::handle dep, py::handle arr, py::handle sid, py::handle star,
                     py::handle approaches);

// A search fault as the host sees it: a KeyError naming the node that could not be
// priced, as a missing coordinate would be, or a ValueError when no node is to blame.
[[noreturn]] void raise_search_fault(const network::RouteNetwork& net,
                                     const planning::SearchFaultError& fault);

// Routing limits from the call's options and the module constants, read now.
planning::RoutingLimits routing_limits(py::handle skip_bearing_check, py::handle join_radius,
                                       py::handle bearing_limit);

}  // namespace core_calc::module
