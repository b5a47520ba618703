// Routing of one departure x arrival combination: join the departure's last fix to
// the network, prune combinations that leave in the wrong direction, join the
// arrival (or each approach) to the network, search the airways between the two,
// and keep the approach that fits best.
#pragma once

#include <optional>
#include <stdexcept>
#include <vector>

#include "network/route_search.h"
#include "planning/route_inputs.h"
#include "planning/search_cache.h"

namespace core_calc::planning {

inline constexpr int kNoApproach = -1;

struct CombinationPlan {
  std::vector<network::NodeId> enroute;
  std::vector<network::NameId> route_ids;
  double distance_km = 0.0;    // search cost + arrival join + approach length + gap
  int approach = kNoApproach;  // index into the approaches offered, or kNoApproach
  bool has_connector = false;  // the arrival join is longer than 1 km
  double connector_km = 0.0;   // its length
};

// A search that met a node it cannot price (no coordinates, non-finite values).
struct SearchFaultError : std::runtime_error {
  SearchFaultError(const std::string& what, network::NodeId node)
      : std::runtime_error(what), node(node) {}
  network::NodeId node;
};

// The plan of one combination, or nothing when it cannot be joined, is pruned, or
// no route exists. `star` may be null: then each approach is routed on its own.
std::optional<CombinationPlan> route_combination(const network::RouteNetwork& net,
                                                 CachedSearch& search, const RouteProcedure& sid,
                                                 const RouteProcedure* star,
                                                 const std::vector<RouteApproach>& approaches,
                                                 const RoutingLimits& limits,
                                                 const network::EdgePenalties* penalties);

}  // namespace core_calc::planning
