#include "planning/route_inputs.h"

#include "geo/geodesy.h"

namespace core_calc::planning {

double path_length_km(const std::vector<Fix>& points) {
  double total = 0.0;
  for (std::size_t i = 1; i < points.size(); ++i)
    total += geo::haversine_km(points[i - 1].lat, points[i - 1].lon, points[i].lat, points[i].lon);
  return total;
}

}  // namespace core_calc::planning
