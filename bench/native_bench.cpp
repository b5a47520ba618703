// Plans routes with the core alone, no Python: loads the airway network of a
// database, then plans each DEP-ARR pair given (several times) and reports the load
// time and the median time per plan.
//
//   native_bench nav.db EPFO-UUZS [DEP-ARR ...] [--runs N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "navdata/connection_pool.h"
#include "network/network_loader.h"
#include "planning/database_sources.h"
#include "planning/plan_generation.h"

namespace {

using namespace core_calc;
using Clock = std::chrono::steady_clock;

struct Quiet : planning::PlanReport {
  void line(std::string_view) override {}
};

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s DB DEP-ARR [DEP-ARR ...] [--runs N]\n", argv[0]);
    return 2;
  }
  int runs = 5;
  std::vector<std::pair<std::string, std::string>> pairs;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
      continue;
    }
    const auto dash = arg.find('-');
    if (dash == std::string::npos) continue;
    pairs.emplace_back(arg.substr(0, dash), arg.substr(dash + 1));
  }

  network::BuildOptions options;
  options.pause = false;
  const auto start = Clock::now();
  const network::LoadedNetwork loaded = network::load_network(argv[1], "", options);
  std::printf("load: %.0f ms, %zu rows, %zu nodes, %zu edges\n", ms_since(start), loaded.stats.rows,
              loaded.network->node_count(), loaded.network->edge_count());

  planning::DatabaseSourceConfig config;
  config.db_path = argv[1];
  Quiet quiet;
  // One pool for every request, as a long-running host keeps one.
  const auto pool = std::make_shared<navdata::ConnectionPool>();
  for (const auto& [dep, arr] : pairs) {
    std::vector<double> times;
    double distance = 0.0;
    for (int r = 0; r < runs; ++r) {
      planning::DatabaseSources sources(config, loaded.network, pool, quiet);
      planning::PlanRequest request;
      request.departure = dep;
      request.arrival = arr;
      const auto t = Clock::now();
      const planning::PlanOutcome outcome =
          planning::generate_plan(request, loaded.network, sources, quiet);
      times.push_back(ms_since(t));
      if (outcome.best) distance = outcome.best->route.distance_km;
    }
    std::sort(times.begin(), times.end());
    std::printf("%s-%s: median %.2f ms over %d runs, distance %.1f\n", dep.c_str(), arr.c_str(),
                times[times.size() / 2], runs, distance);
  }
  return 0;
}
