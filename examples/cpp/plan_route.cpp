// Plans a route with the installed C++ package, without Python:
//     plan_route nav.db EPFO UUZS
// prints the route string, ICAO Item 15 and the flown distance; exit status 1 when
// no route is found, 2 for wrong arguments.
#include <iostream>
#include <string_view>

#include "network/network_loader.h"
#include "planning/api_format.h"
#include "planning/api_format_sources.h"
#include "planning/database_sources.h"
#include "planning/plan_generation.h"
#include "planning/plan_output.h"
#include "planning/route_export.h"

namespace cc = core_calc;

// The diagnostic lines of plan generation, on standard error.
struct PrintLines : cc::planning::PlanReport {
  void line(std::string_view text) override { std::cerr << text << '\n'; }
};

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: plan_route NAV.DB DEPARTURE ARRIVAL\n";
    return 2;
  }
  const std::string db = argv[1];
  const auto loaded = cc::network::load_network(db, "", {});

  PrintLines report;
  cc::planning::DatabaseSourceConfig config;  // the database, weather service, constants
  config.db_path = db;
  cc::planning::DatabaseSources sources(config, loaded.network, report);
  cc::planning::PlanRequest request;
  request.departure = argv[2];
  request.arrival = argv[3];
  const auto outcome = cc::planning::generate_plan(request, loaded.network, sources, report);
  if (!outcome.best) {  // not generated (no SID, ...) or no route between them
    std::cout << "no route from " << request.departure << " to " << request.arrival << '\n';
    return 1;
  }

  const auto plan =
      cc::planning::flight_plan(*outcome.best, *loaded.network, request.departure, request.arrival);
  cc::planning::NetworkFormatSources format(loaded.meta, loaded.network, "N/A", "N/A");
  auto record = cc::planning::format_for_api(plan, format);  // the API record
  cc::planning::extend_record(record, cc::planning::plan_runways(*outcome.best, outcome, request));
  std::cout << record.route_string << '\n'
            << cc::planning::route_icao(record) << '\n'
            << record.extension->flown_distance_nm << " NM\n";
  return 0;
}
