// Native form of the procedures one plan request routes: converted from the read
// records once per request and then shared read-only by every worker.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "navdata/procedure.h"

namespace core_calc::planning {

struct Fix {
  std::string name;
  double lat;
  double lon;
};

// A departure or arrival procedure (or a synthesised direct candidate).
struct RouteProcedure {
  std::string name;
  std::vector<Fix> points;  // at least one
};

struct RouteApproach {
  std::string name;
  std::string initial_fix;
  std::vector<Fix> points;  // at least one
  double length_km = 0.0;   // along its points
};

double path_length_km(const std::vector<Fix>& points);

// A procedure that cannot be routed: no point, or a coordinate that is not finite.
struct InvalidProcedure : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};

// The one way from a read procedure or approach to its routing input. `what`
// ("sid", "star", "approach") names it in the InvalidProcedure thrown.
RouteProcedure route_procedure(const navdata::ProcedureRecord& record, const char* what);
RouteApproach route_approach(const navdata::ApproachRecord& record);

// Module constants and call options that shape one combination's routing.
struct RoutingLimits {
  double sid_join_radius_km = 5.0;       // searched with the narrow query
  std::optional<double> join_radius_km;  // when given: searched with the wide query
  double bearing_limit_deg = 110.0;
  bool skip_bearing_check = false;
  double grid_size = 1.0;
};

}  // namespace core_calc::planning
