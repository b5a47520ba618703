// The request driver: from two airports to the shortest plan and up to three
// alternatives. Runways by wind, procedures of those runways with the fallbacks
// to every procedure of the airport and to direct candidates, every departure x
// arrival combination routed on worker threads (or one forced combination
// repeated for alternatives), the retry ladder, ranking, de-duplication and the
// report lines.
//
// It reads only through its PlanSources and writes only to its PlanReport and
// its result, so any number of requests may run at once on one network.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "planning/combination_router.h"
#include "planning/plan_sources.h"

namespace core_calc::planning {

// A request argument that cannot be used; raised when the step that needs it runs.
struct InvalidRequest : std::invalid_argument {
  enum class Kind { kType, kValue };
  InvalidRequest(Kind kind, const std::string& what) : std::invalid_argument(what), kind(kind) {}
  Kind kind;
};

struct PlanRequest {
  std::string departure;
  std::string arrival;
  // Combinations per pool task: positive. Zero is refused when the full search
  // starts; a negative size forms no batch at all.
  std::int64_t batch_size = 20;
  std::string batch_size_problem;  // why the given size is not an integer, empty when it is
  // Forced procedures and runways; empty text means not given.
  std::string forced_sid, forced_star, forced_iap, forced_dep_rwy, forced_arr_rwy;
};

// One plan: the routed combination and the records it flies.
struct PlannedRoute {
  CombinationPlan route;
  ProcedurePtr sid;
  ProcedurePtr star;        // null: no arrival procedure
  ApproachPtr approach;     // null: no approach
  std::string sid_runway;   // the runway whose load supplied the SID, empty when none did
  std::string star_runway;  // likewise for the STAR
};

// Where a request's time went, for benchmarks.
struct PlanTimes {
  double total_seconds = 0.0;
  double search_seconds = 0.0;     // routing the combinations (the pool, or the forced search)
  std::size_t searches_asked = 0;  // route searches the combinations asked for
  std::size_t searches_run = 0;    // of them, run (the others shared an identical one)
};

struct PlanOutcome {
  // False for the early failures: no network, no departure procedure, a forced SID
  // that does not exist. Nothing else below is then set but the runways reached.
  bool generated = false;
  std::optional<PlannedRoute> best;
  std::vector<PlannedRoute> alternatives;  // 0 to 3, each with another route
  RunwayRanking departure_runways;         // as used: the forced runway when given
  RunwayRanking arrival_runways;
  bool runways_chosen = false;  // the runway step ran (the network was loaded)
  std::shared_ptr<const network::RouteNetwork> network;  // the plans' node ids refer to it
  PlanTimes times;
};

// Plans `request` on `network` (null: not loaded). Errors of the sources outside the
// per-runway guards, search faults of the forced search (SearchFaultError),
// unroutable procedures (InvalidProcedure) and bad arguments (InvalidRequest) reach
// the caller.
PlanOutcome generate_plan(const PlanRequest& request,
                          std::shared_ptr<const network::RouteNetwork> network,
                          PlanSources& sources, PlanReport& report);

}  // namespace core_calc::planning
