#include "planning/route_inputs.h"

#include <cmath>

#include "geo/geodesy.h"

namespace core_calc::planning {
namespace {

// Non-finite coordinates can be neither joined, measured nor flown through.
std::vector<Fix> route_fixes(const std::vector<navdata::ProcedurePoint>& points, const char* what) {
  std::vector<Fix> fixes;
  fixes.reserve(points.size());
  for (const navdata::ProcedurePoint& p : points) {
    for (const auto& [value, which] : {std::pair{p.lat, "latitude"}, std::pair{p.lon, "longitude"}})
      if (!std::isfinite(value))
        throw InvalidProcedure(std::string(what) + " has a point whose point " + which +
                               " is not finite");
    fixes.push_back({p.name, p.lat, p.lon});
  }
  if (fixes.empty()) throw InvalidProcedure(std::string(what) + " has no points");
  return fixes;
}

}  // namespace

RouteProcedure route_procedure(const navdata::ProcedureRecord& record, const char* what) {
  return {record.name, route_fixes(record.points, what)};
}

RouteApproach route_approach(const navdata::ApproachRecord& record) {
  RouteApproach approach;
  approach.name = record.name;
  approach.initial_fix = record.initial_fix;
  approach.points = route_fixes(record.points, "approach");
  approach.length_km = path_length_km(approach.points);
  return approach;
}

double path_length_km(const std::vector<Fix>& points) {
  double total = 0.0;
  for (std::size_t i = 1; i < points.size(); ++i)
    total += geo::haversine_km(points[i - 1].lat, points[i - 1].lon, points[i].lat, points[i].lon);
  return total;
}

}  // namespace core_calc::planning
