#include "planning/combination_search.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

namespace core_calc::planning {
namespace {

constexpr int kForcedAttempts = 4;
constexpr double kUsedLegPenalty = 500.0;

std::optional<CombinationPlan> route_one(const CombinationSet& set, CachedSearch& search,
                                         const Combination& c, const RoutingLimits& limits,
                                         const network::EdgePenalties* penalties) {
  const RouteProcedure* star =
      c.star == kWithoutStar ? nullptr : &set.stars[static_cast<std::size_t>(c.star)];
  return route_combination(*set.net, search, set.sids[c.sid], star, set.approaches, limits,
                           penalties);
}

}  // namespace

std::optional<FoundPlan> best_of_batch(const CombinationSet& set, network::RouteSearch& search,
                                       std::size_t begin, std::size_t end,
                                       const RoutingLimits& limits) {
  CachedSearch cached(search, set.cache);
  std::optional<FoundPlan> best;
  for (std::size_t i = begin; i < end; ++i) {
    auto plan = route_one(set, cached, set.combinations[i], limits, nullptr);
    if (plan && (!best || plan->distance_km < best->plan.distance_km))
      best = FoundPlan{std::move(*plan), i};
  }
  return best;
}

std::size_t pool_size() {
  const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
  return std::min<std::size_t>(4 * processors, 32);
}

std::vector<FoundPlan> search_all(const CombinationSet& set, std::size_t batch_size,
                                  const RoutingLimits& limits) {
  const std::size_t count = set.combinations.size();
  const std::size_t batches = count / batch_size + (count % batch_size != 0 ? 1 : 0);
  std::vector<FoundPlan> found;
  std::mutex found_mutex;
  std::atomic<std::size_t> next_batch{0};
  auto worker = [&] {
    network::RouteSearch search(*set.net);
    for (std::size_t b = next_batch++; b < batches; b = next_batch++) {
      const std::size_t begin = b * batch_size;
      try {
        auto best = best_of_batch(set, search, begin, std::min(count, begin + batch_size), limits);
        if (!best) continue;
        std::lock_guard lock(found_mutex);
        found.push_back(std::move(*best));
      } catch (const std::exception&) {
        // A batch that fails contributes no plan; the others go on.
      }
    }
  };
  // The calling thread is one of the workers: it would only wait otherwise, and a
  // request of one batch then starts no thread at all.
  std::vector<std::jthread> pool;
  const std::size_t threads = std::min(pool_size(), batches);
  try {
    for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(worker);
  } catch (const std::system_error&) {
    // Fewer threads than planned: the ones started and the caller share the batches.
  }
  if (batches > 0) worker();
  pool.clear();  // joins every worker
  // Batch order, not completion order: plans of equal distance then rank the same
  // way in every run, so a request always gives the same plans.
  std::sort(found.begin(), found.end(),
            [](const FoundPlan& a, const FoundPlan& b) { return a.combination < b.combination; });
  return found;
}

std::vector<CombinationPlan> search_forced(const CombinationSet& set, const RoutingLimits& limits) {
  std::vector<CombinationPlan> found;
  network::EdgePenalties used;
  network::RouteSearch search(*set.net);
  CachedSearch cached(search, set.cache);
  for (int attempt = 0; attempt < kForcedAttempts; ++attempt) {
    auto plan =
        route_one(set, cached, set.combinations.front(), limits, used.empty() ? nullptr : &used);
    if (!plan || plan->enroute.size() < 2) break;
    const bool repeated = std::any_of(found.begin(), found.end(), [&](const CombinationPlan& p) {
      return p.route_ids == plan->route_ids;
    });
    if (repeated) break;
    for (std::size_t i = 0; i + 1 < plan->enroute.size(); ++i)
      used.set(plan->enroute[i], plan->enroute[i + 1], kUsedLegPenalty);
    found.push_back(std::move(*plan));
  }
  return found;
}

}  // namespace core_calc::planning
