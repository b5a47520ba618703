// Conversions between the host's plan-shaped values and the planner's native
// inputs and results: plan mappings, penalised edges, routing limits.
#pragma once

#include "module/module_state.h"
#include "network/route_search.h"
#include "planning/combination_router.h"
#include "planning/route_inputs.h"

namespace core_calc::module {

// {(from node key, to node key): extra cost}; None or an empty mapping gives none.
// Every cost must be a finite, non-negative real (TypeError/ValueError naming
// penalized_edges). Keys that are not pairs of nodes of the network can match no
// edge and are ignored.
network::EdgePenalties penalties_input(const network::RouteNetwork& net, py::handle mapping);

// The twelve-key plan mapping of a routed combination. The point lists are the
// records' own lists, not copies. `approach` is the chosen approach record or None.
py::dict plan_object(const network::RouteNetwork& net, const planning::CombinationPlan& plan,
                     py::handle dep, py::handle arr, py::handle sid, py::handle star,
                     py::handle approach);

// A search fault as the host sees it: a KeyError naming the node that could not be
// priced, as a missing coordinate would be, or a ValueError when no node is to blame.
[[noreturn]] void raise_search_fault(const network::RouteNetwork& net,
                                     const planning::SearchFaultError& fault);

// Routing limits from the call's options and the module constants, read now.
planning::RoutingLimits routing_limits(py::handle skip_bearing_check, py::handle join_radius,
                                       py::handle bearing_limit);

}  // namespace core_calc::module
