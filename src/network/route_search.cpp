#include "network/route_search.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "common/plan_texts.h"
#include "geo/geodesy.h"

namespace core_calc::network {
namespace {

constexpr double kEstimateFactor = 1.1;
constexpr double kStaleSlack = 500.0;
constexpr double kAirwayChangePenalty = 15.0;

double turn_penalty(double angle) {
  if (angle > 90.0) return 1000.0;
  if (angle > 45.0) return 200.0;
  if (angle > 15.0) return 2.0 * angle;
  return 0.0;  // also for a NaN angle, which no threshold exceeds
}

bool finite_point(const LatLon& p) {
  return std::isfinite(p.lat) && std::isfinite(p.lon);
}

}  // namespace

void EdgePenalties::set(NodeId from, NodeId to, double cost) {
  if (!(cost >= 0.0) || std::isinf(cost))
    throw std::invalid_argument("edge penalty must be a non-negative finite number");
  costs_[pair_key(from, to)] = cost;
}

double EdgePenalties::get(NodeId from, NodeId to) const {
  auto it = costs_.find(pair_key(from, to));
  return it == costs_.end() ? 0.0 : it->second;
}

RouteSearch::RouteSearch(const RouteNetwork& net) : net_(net), heap_(net) {}

double RouteSearch::heuristic(NodeId node, const LatLon& target) const {
  const geo::GridPosition at =
      net_.has_coord(node) ? net_.coord(node) : geo::GridPosition{0.0, 0.0};
  return kEstimateFactor * geo::haversine_km(at.lat, at.lon, target.lat, target.lon);
}

SearchResult RouteSearch::run(NodeId start, NodeId end, std::optional<LatLon> target,
                              std::optional<LatLon> initial_prev, const EdgePenalties* penalties) {
  SearchResult result;
  states_.clear();
  heap_.clear();
  const std::size_t count = net_.node_count();
  if (start == kNoNode || end == kNoNode || start >= count || end >= count) return result;
  if (!net_.has_coord(start) || !net_.has_coord(end)) return result;
  const geo::GridPosition end_at = net_.coord(end);

  Query q{start,
          end,
          target.value_or(LatLon{end_at.lat, end_at.lon}),
          initial_prev,
          penalties && !penalties->empty() ? penalties : nullptr,
          net_.names().find(kDirectLeg)};
  const bool bad_target = !finite_point(q.target);
  if (bad_target || (initial_prev && !finite_point(*initial_prev))) {
    result.fault = SearchFault::kNonFiniteCoordinate;
    result.fault_node = bad_target && !target ? end : kNoNode;
    return result;
  }

  if (!relax(q, start, kNoNode, kNoName, 0.0, 0.0, result)) return result;
  while (!heap_.empty()) {
    const OpenEntry top = heap_.pop();
    if (top.node == end) {
      reconstruct(q, result);
      return result;
    }
    const SearchNodeState& state = states_[top.slot];
    // Within the slack an outdated entry is expanded again; there is no closed set.
    if (top.f > state.g + state.h + kStaleSlack) continue;
    ++result.expanded;
    if (!expand(q, top.slot, result)) return result;
  }
  return result;
}

bool RouteSearch::relax(const Query& q, NodeId node, NodeId pred, NameId route, double g,
                        double entry_bearing, SearchResult& result) {
  std::uint32_t slot = states_.find(node);
  if (slot != SearchStateTable::kAbsent && !(g < states_[slot].g)) return true;
  if (slot == SearchStateTable::kAbsent) {
    if (!(g < std::numeric_limits<double>::infinity())) return true;
    const double h = heuristic(node, q.target);
    if (!std::isfinite(h)) {
      result.fault = SearchFault::kNonFiniteCoordinate;
      result.fault_node = node;
      return false;
    }
    slot = states_.insert(node, h);
  }
  SearchNodeState& state = states_[slot];
  state.pred = pred;
  state.route = route;
  state.g = g;
  state.in_bearing = entry_bearing;
  heap_.push({g + state.h, node, slot});
  return true;
}

bool RouteSearch::expand(const Query& q, std::uint32_t slot, SearchResult& result) {
  const SearchNodeState current = states_[slot];  // a copy: relaxing may move the states
  const auto edges = net_.edges(current.node);    // a view into the network
  const auto bearings = net_.edge_bearings(current.node);
  auto fail = [&](SearchFault fault, NodeId node, NodeId to = kNoNode) {
    result.fault = fault;
    result.fault_node = node;
    result.fault_to = to;
    return false;
  };

  std::optional<LatLon> previous;
  if (current.pred != kNoNode) {
    if (!net_.has_coord(current.pred)) return fail(SearchFault::kMissingCoordinate, current.pred);
    const geo::GridPosition pred = net_.coord(current.pred);
    previous = LatLon{pred.lat, pred.lon};
  } else if (current.node == q.start) {
    previous = q.initial_prev;
  }
  double in_bearing = 0.0;
  if (previous && !edges.empty()) {
    if (!net_.has_coord(current.node)) return fail(SearchFault::kMissingCoordinate, current.node);
    // The bearing of the edge that led here was taken when it was relaxed.
    if (current.pred != kNoNode) {
      in_bearing = current.in_bearing;
    } else {
      const geo::GridPosition here = net_.coord(current.node);
      in_bearing = geo::bearing_deg(previous->lat, previous->lon, here.lat, here.lon);
    }
  }
  const bool change_costs = current.route != kNoName && current.route != q.direct_route;

  for (std::size_t i = 0; i < edges.size(); ++i) {
    const Edge& edge = edges[i];
    if (edge.dist_km < 0.0) return fail(SearchFault::kNegativeDistance, current.node, edge.to);
    double turn = 0.0;
    const double out_bearing = bearings[i];  // NaN only where an end has no coordinates
    if (previous) {
      if (!net_.has_coord(edge.to)) return fail(SearchFault::kMissingCoordinate, edge.to);
      turn = turn_penalty(geo::bearing_difference(in_bearing, out_bearing));
    }
    const double change = change_costs && edge.route != current.route ? kAirwayChangePenalty : 0.0;
    const double extra = q.penalties ? q.penalties->get(current.node, edge.to) : 0.0;
    const double tentative = current.g + edge.dist_km + turn + change + extra;
    if (!relax(q, edge.to, current.node, edge.route, tentative, out_bearing, result)) return false;
  }
  return true;
}

void RouteSearch::reconstruct(const Query& q, SearchResult& result) const {
  const std::uint32_t end_slot = states_.find(q.end);
  result.cost = states_[end_slot].g;
  // Costs never fall below zero, so predecessors form a tree rooted at the start;
  // the bound only guards that invariant.
  std::size_t steps = 0;
  for (std::uint32_t slot = end_slot; states_[slot].pred != kNoNode && steps < states_.size();
       ++steps) {
    result.path.push_back(states_[slot].node);
    result.route_ids.push_back(states_[slot].route);
    slot = states_.find(states_[slot].pred);
  }
  std::reverse(result.path.begin(), result.path.end());
  std::reverse(result.route_ids.begin(), result.route_ids.end());
}

}  // namespace core_calc::network
