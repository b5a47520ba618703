// Host-side SpatialGrid: either a grid of its own that files any host value, or a
// view of the grid inside a RouteNetwork, which files node keys. Every operation
// reads GRID_SIZE and converts its arguments before it looks at the grid, and a
// network's grid is read through a snapshot held for the whole operation.
#pragma once

#include <memory>
#include <vector>

#include "geo/spatial_grid.h"
#include "module/module_state.h"
#include "network/route_network.h"

namespace core_calc::module {

class GridHandle;

// The grid one operation reads, and what keeps it alive meanwhile.
struct GridRead {
  const GridHandle* handle;
  std::shared_ptr<const network::RouteNetwork> net;  // null for a standalone grid
  geo::GridView grid;

  py::object wp_object(std::uint32_t id) const;
};

class GridHandle {
 public:
  GridHandle() = default;
  explicit GridHandle(py::object network) : network_(std::move(network)) {}

  void add_point(py::object wp, double lat, double lon);
  py::tuple query_nearest(double lat, double lon, double max_dist, geo::RadiusRule rule) const;
  py::list query_k_nearest(double lat, double lon, double max_dist, std::int64_t k) const;

  GridRead read() const;

 private:
  std::uint32_t standalone_id(py::object wp);

  geo::SpatialGrid own_;
  std::vector<py::object> values_;  // host values of the standalone grid, by id
  py::dict ids_;                    // hashable host value -> id, so equal values share one id
  py::object network_;              // the RouteNetwork whose grid this is, or null
  friend struct GridRead;
};

void bind_grid_class(py::module_& m);

}  // namespace core_calc::module
