// Host-side SpatialGrid: either a grid of its own that files any host value, or a
// view of the grid inside a RouteNetwork, which files node keys.
#pragma once

#include <vector>

#include "geo/spatial_grid.h"
#include "module/module_state.h"

namespace core_calc::module {

class GridHandle {
 public:
  GridHandle() = default;
  explicit GridHandle(py::object network) : network_(std::move(network)) {}

  void add_point(py::object wp, double lat, double lon);
  py::tuple query_nearest(double lat, double lon, double max_dist, geo::RadiusRule rule) const;
  py::list query_k_nearest(double lat, double lon, double max_dist, std::int64_t k) const;

  const geo::SpatialGrid& grid() const;
  py::object wp_object(std::uint32_t id) const;
  py::object self_network() const { return network_; }

 private:
  std::uint32_t standalone_id(py::object wp);

  geo::SpatialGrid own_;
  std::vector<py::object> values_;  // host values of the standalone grid, by id
  py::dict ids_;                    // hashable host value -> id, so equal values share one id
  py::object network_;              // the RouteNetwork whose grid this is, or null
};

void bind_grid_class(py::module_& m);

}  // namespace core_calc::module
