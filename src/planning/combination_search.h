// The searches of one plan request: every departure x arrival combination in
// batches on a pool of worker threads, or one forced combination repeated with
// penalties on the legs already used to find alternatives.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "planning/combination_router.h"

namespace core_calc::planning {

inline constexpr int kWithoutStar = -1;

struct Combination {
  std::uint32_t sid;
  int star;  // index into the arrival procedures, or kWithoutStar
};

// Everything the workers read; nothing of it changes while they run.
struct CombinationSet {
  const network::RouteNetwork* net;
  std::vector<RouteProcedure> sids;
  std::vector<RouteProcedure> stars;
  std::vector<RouteApproach> approaches;
  std::vector<Combination> combinations;
  SearchCache* cache = nullptr;  // the request's shared searches, when it keeps them
};

struct FoundPlan {
  CombinationPlan plan;
  std::size_t combination;  // index into CombinationSet::combinations
};

// The plan of smallest distance among combinations [begin, end); the first wins ties.
std::optional<FoundPlan> best_of_batch(const CombinationSet& set, network::RouteSearch& search,
                                       std::size_t begin, std::size_t end,
                                       const RoutingLimits& limits);

// min(4 x processors, 32) workers (the caller among them), one task per batch of
// batch_size combinations.
std::size_t pool_size();

// The best plan of every batch that found one, in batch order. A batch whose
// routing failed contributes nothing. batch_size must be positive.
std::vector<FoundPlan> search_all(const CombinationSet& set, std::size_t batch_size,
                                  const RoutingLimits& limits);

// Routes the single combination up to four times; each attempt adds 500 to every leg
// of the routes found so far. Stops at the first failure, short route or repeat.
std::vector<CombinationPlan> search_forced(const CombinationSet& set, const RoutingLimits& limits);

}  // namespace core_calc::planning
