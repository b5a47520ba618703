#include "planning/combination_router.h"

#include <limits>

#include "geo/geodesy.h"

namespace core_calc::planning {
namespace {

using network::LatLon;
using network::NodeId;

constexpr double kStarJoinRadiusKm = 50.0;
constexpr double kApproachJoinRadiusKm = 200.0;
constexpr double kMaxApproachGapKm = 50.0;
constexpr double kNoApproachPenalty = 5000.0;
constexpr double kSeamlessBonus = -5000.0;
constexpr double kSeamlessGapKm = 1.0;
constexpr double kFarJoinPenalty = 500.0;
constexpr double kFarJoinKm = 2.0;
constexpr double kCloseJoinBonus = -2000.0;
constexpr double kCloseJoinKm = 1.0;
constexpr double kConnectorMinKm = 1.0;

struct Join {
  NodeId node;
  double dist_km;
};

std::optional<Join> join(const network::RouteNetwork& net, const Fix& fix, double radius_km,
                         geo::RadiusRule rule, double grid_size) {
  const auto hit = net.grid().nearest(fix.lat, fix.lon, radius_km, grid_size, rule);
  if (!hit) return std::nullopt;
  return Join{hit->id, hit->dist_km};
}

bool leaves_in_wrong_direction(const Fix& origin, const Fix& exit, const Fix& target,
                               double limit_deg) {
  const double to_target = geo::bearing_deg(origin.lat, origin.lon, target.lat, target.lon);
  const double along_sid = geo::bearing_deg(origin.lat, origin.lon, exit.lat, exit.lon);
  return geo::bearing_difference(to_target, along_sid) > limit_deg;
}

std::shared_ptr<const network::SearchResult> search_between(
    const network::RouteNetwork& net, CachedSearch& search, NodeId start, NodeId end,
    const Fix& target, std::optional<LatLon> prev, const network::EdgePenalties* penalties) {
  // A search towards a node the graph cannot reach would only exhaust the network.
  if (net.certainly_unreachable(start, end)) return std::make_shared<const network::SearchResult>();
  auto result = search.run(start, end, LatLon{target.lat, target.lon}, prev, penalties);
  if (result->fault != network::SearchFault::kNone)
    throw SearchFaultError("the route search met a node it cannot price", result->fault_node);
  return result;
}

CombinationPlan make_plan(const network::SearchResult& route, double distance, int approach,
                          double join_km) {
  CombinationPlan plan;
  plan.enroute = route.path;
  plan.route_ids = route.route_ids;
  plan.distance_km = distance;
  plan.approach = approach;
  plan.has_connector = join_km > kConnectorMinKm;
  plan.connector_km = join_km;
  return plan;
}

std::optional<CombinationPlan> route_with_star(const network::RouteNetwork& net,
                                               CachedSearch& search, NodeId start,
                                               std::optional<LatLon> prev,
                                               const RouteProcedure& star,
                                               const std::vector<RouteApproach>& approaches,
                                               const RoutingLimits& limits,
                                               const network::EdgePenalties* penalties) {
  const Fix& entry = star.points.front();
  const auto end = join(net, entry, kStarJoinRadiusKm, geo::RadiusRule::kFloor, limits.grid_size);
  if (!end) return std::nullopt;
  const auto found = search_between(net, search, start, end->node, entry, prev, penalties);
  const network::SearchResult& route = *found;
  if (route.path.empty()) return std::nullopt;

  struct Candidate {
    int approach;
    double length_km;
    double gap_km;
  };
  const Fix& star_end = star.points.back();
  std::vector<Candidate> candidates;
  for (std::size_t i = 0; i < approaches.size(); ++i) {
    const RouteApproach& iap = approaches[i];
    const Fix& first = iap.points.front();
    const double gap = iap.initial_fix == star_end.name
                           ? 0.0
                           : geo::haversine_km(star_end.lat, star_end.lon, first.lat, first.lon);
    if (gap < kMaxApproachGapKm) candidates.push_back({static_cast<int>(i), iap.length_km, gap});
  }
  candidates.push_back({kNoApproach, 0.0, 0.0});

  double best_score = std::numeric_limits<double>::infinity();
  const Candidate* best = nullptr;
  double best_distance = 0.0;
  for (const Candidate& c : candidates) {
    const bool has_iap = c.approach != kNoApproach;
    const double distance = route.cost + end->dist_km + c.length_km + c.gap_km;
    const double penalty = has_iap ? 0.0 : kNoApproachPenalty;
    const double bonus = has_iap && c.gap_km < kSeamlessGapKm ? kSeamlessBonus : 0.0;
    const double score = distance + penalty + bonus;
    if (score < best_score) {
      best_score = score;
      best = &c;
      best_distance = distance;
    }
  }
  if (!best) return std::nullopt;  // only when every score is NaN
  return make_plan(route, best_distance, best->approach, end->dist_km);
}

std::optional<CombinationPlan> route_to_approaches(const network::RouteNetwork& net,
                                                   CachedSearch& search, NodeId start,
                                                   std::optional<LatLon> prev,
                                                   const std::vector<RouteApproach>& approaches,
                                                   const RoutingLimits& limits,
                                                   const network::EdgePenalties* penalties) {
  double best_score = std::numeric_limits<double>::infinity();
  std::optional<CombinationPlan> best;
  for (std::size_t i = 0; i < approaches.size(); ++i) {
    const RouteApproach& iap = approaches[i];
    const Fix& iaf = iap.points.front();
    const auto end =
        join(net, iaf, kApproachJoinRadiusKm, geo::RadiusRule::kFloor, limits.grid_size);
    if (!end) continue;
    const auto found = search_between(net, search, start, end->node, iaf, prev, penalties);
    const network::SearchResult& route = *found;
    if (route.path.empty()) continue;
    const double distance = route.cost + end->dist_km + iap.length_km;
    const double penalty = end->dist_km > kFarJoinKm ? kFarJoinPenalty : 0.0;
    const double bonus = end->dist_km != 0.0 && end->dist_km < kCloseJoinKm ? kCloseJoinBonus : 0.0;
    const double score = distance + penalty + bonus;
    if (score < best_score) {
      best_score = score;
      best = make_plan(route, distance, static_cast<int>(i), end->dist_km);
    }
  }
  return best;
}

}  // namespace

std::optional<CombinationPlan> route_combination(const network::RouteNetwork& net,
                                                 CachedSearch& search, const RouteProcedure& sid,
                                                 const RouteProcedure* star,
                                                 const std::vector<RouteApproach>& approaches,
                                                 const RoutingLimits& limits,
                                                 const network::EdgePenalties* penalties) {
  const Fix& origin = sid.points.front();
  const Fix& exit = sid.points.back();
  std::optional<LatLon> prev;
  if (sid.points.size() >= 2) {
    const Fix& p = sid.points[sid.points.size() - 2];
    prev = LatLon{p.lat, p.lon};
  }
  const auto start =
      limits.join_radius_km
          ? join(net, exit, *limits.join_radius_km, geo::RadiusRule::kCeil, limits.grid_size)
          : join(net, exit, limits.sid_join_radius_km, geo::RadiusRule::kFloor, limits.grid_size);
  if (!start) return std::nullopt;

  const Fix* target = star ? &star->points.front()
                           : (approaches.empty() ? nullptr : &approaches.front().points.front());
  if (target && !limits.skip_bearing_check &&
      leaves_in_wrong_direction(origin, exit, *target, limits.bearing_limit_deg))
    return std::nullopt;

  if (star)
    return route_with_star(net, search, start->node, prev, *star, approaches, limits, penalties);
  if (!approaches.empty())
    return route_to_approaches(net, search, start->node, prev, approaches, limits, penalties);
  return std::nullopt;
}

}  // namespace core_calc::planning
