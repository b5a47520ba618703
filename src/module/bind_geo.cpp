// Geodesy functions and the SpatialGrid class.
#include <vector>

#include "geo/geodesy.h"
#include "module/bindings.h"
#include "module/grid_handle.h"
#include "module/mapping_view.h"
#include "module/network_handle.h"

namespace core_calc::module {
namespace {

// One argument of vectorized_haversine: a number, or a sequence of numbers.
struct Operand {
  bool is_sequence = false;
  double scalar = 0.0;
  std::vector<double> values;
};

Operand read_operand(py::handle value, const char* name) {
  Operand op;
  if (PySequence_Check(value.ptr()) && !PyUnicode_Check(value.ptr()) &&
      !PyBytes_Check(value.ptr())) {
    op.is_sequence = true;
    for (py::handle item : py::reinterpret_borrow<py::sequence>(value))
      op.values.push_back(to_real(item, name));
    return op;
  }
  op.scalar = to_real(value, name);
  return op;
}

py::object vectorized_haversine(py::handle lat1, py::handle lon1, py::handle lat2,
                                py::handle lon2) {
  const Operand ops[4] = {read_operand(lat1, "lat1"), read_operand(lon1, "lon1"),
                          read_operand(lat2, "lat2"), read_operand(lon2, "lon2")};
  std::size_t length = 0;
  bool any_sequence = false;
  for (const Operand& op : ops) {
    if (!op.is_sequence) continue;
    if (any_sequence && op.values.size() != length)
      throw py::value_error("vectorized_haversine: sequences must have equal lengths");
    any_sequence = true;
    length = op.values.size();
  }
  auto at = [](const Operand& op, std::size_t i) {
    return op.is_sequence ? op.values[i] : op.scalar;
  };
  if (!any_sequence)
    return py::float_(
        geo::haversine_km(ops[0].scalar, ops[1].scalar, ops[2].scalar, ops[3].scalar));
  py::list out(length);
  for (std::size_t i = 0; i < length; ++i)
    out[i] =
        py::float_(geo::haversine_km(at(ops[0], i), at(ops[1], i), at(ops[2], i), at(ops[3], i)));
  return out;
}

// The `grid` mapping of a SpatialGrid: cell key (x, y) -> list of (wp, lat, lon).
struct GridMapView {
  py::object owner;  // the SpatialGrid

  GridRead read() const { return owner.cast<const GridHandle&>().read(); }
  std::size_t size() const { return read().grid.cell_count(); }
  std::vector<py::object> key_list() const {
    std::vector<py::object> keys;
    for (const geo::CellKey& key : read().grid.cell_order())
      keys.push_back(py::make_tuple(key.x, key.y));
    return keys;
  }
  py::object lookup(py::handle key) const {
    if (!PyTuple_Check(key.ptr()) || PyTuple_GET_SIZE(key.ptr()) != 2) return {};
    PyObject* x = PyTuple_GET_ITEM(key.ptr(), 0);
    PyObject* y = PyTuple_GET_ITEM(key.ptr(), 1);
    if (!PyLong_Check(x) || !PyLong_Check(y)) return {};
    int overflow_x = 0, overflow_y = 0;
    const long long cx = PyLong_AsLongLongAndOverflow(x, &overflow_x);
    const long long cy = PyLong_AsLongLongAndOverflow(y, &overflow_y);
    if (overflow_x || overflow_y) return {};
    const GridRead grid = read();
    const auto entries = grid.grid.cell({cx, cy});
    if (!entries) return {};
    py::list out;
    for (const geo::GridEntry& e : *entries)
      out.append(py::make_tuple(grid.wp_object(e.id), e.lat, e.lon));
    return out;
  }
  py::object on_missing(py::handle) const { return {}; }
};

}  // namespace

std::uint32_t GridHandle::standalone_id(py::object wp) {
  if (PyObject_Hash(wp.ptr()) == -1) {
    PyErr_Clear();  // unhashable values are filed as they are, each under its own id
  } else if (PyObject* found = PyDict_GetItemWithError(ids_.ptr(), wp.ptr())) {
    return static_cast<std::uint32_t>(PyLong_AsUnsignedLong(found));
  } else if (PyErr_Occurred()) {
    throw py::error_already_set();
  } else {
    ids_[wp] = py::int_(values_.size());
  }
  values_.push_back(wp);
  return static_cast<std::uint32_t>(values_.size() - 1);
}

void GridHandle::add_point(py::object wp, double lat, double lon) {
  const double grid_size = attr_real("GRID_SIZE");
  geo::cell_of(lat, lon, grid_size);  // fails before anything is filed
  if (!network_) {
    own_.add(standalone_id(wp), lat, lon, grid_size);
    return;
  }
  const ParsedKey key = require_node_key(wp, "wp");
  network::NetworkBuilder& net = network_.cast<NetworkHandle&>().edit();
  net.nodes().file_in_grid(intern_node(net, key), lat, lon, grid_size);
}

GridRead GridHandle::read() const {
  if (!network_) return {this, nullptr, own_.view()};
  auto net = network_.cast<const NetworkHandle&>().snapshot();
  const geo::GridView grid = net->grid();
  return {this, std::move(net), grid};
}

py::object GridRead::wp_object(std::uint32_t id) const {
  if (!net) return handle->values_[id];
  return node_key_object(*net, id);
}

py::tuple GridHandle::query_nearest(double lat, double lon, double max_dist,
                                    geo::RadiusRule rule) const {
  const double grid_size = attr_real("GRID_SIZE");
  const GridRead grid = read();
  const auto hit = grid.grid.nearest(lat, lon, max_dist, grid_size, rule);
  if (!hit) return py::make_tuple(py::none(), py::none());
  return py::make_tuple(grid.wp_object(hit->id), hit->dist_km);
}

py::list GridHandle::query_k_nearest(double lat, double lon, double max_dist,
                                     std::int64_t k) const {
  const double grid_size = attr_real("GRID_SIZE");
  const GridRead grid = read();
  py::list out;
  for (const geo::GridHit& hit : grid.grid.k_nearest(lat, lon, max_dist, k, grid_size))
    out.append(py::make_tuple(grid.wp_object(hit.id), hit.dist_km));
  return out;
}

void bind_grid_class(py::module_& m) {
  py::class_<GridMapView> view(m, "_GridView");
  add_mapping_methods(view);
  register_as_mapping(view);

  py::class_<GridHandle>(m, "SpatialGrid", doc::kSpatialGrid)
      .def(py::init<>())
      .def_property_readonly(
          "grid", [](py::object self) { return GridMapView{self}; }, doc::kGridProperty)
      .def("add_point", &GridHandle::add_point, py::arg("wp"), py::arg("lat"), py::arg("lon"),
           doc::kAddPoint)
      .def(
          "query_nearest",
          [](const GridHandle& g, double lat, double lon, double max_dist) {
            return g.query_nearest(lat, lon, max_dist, geo::RadiusRule::kFloor);
          },
          py::arg("lat"), py::arg("lon"), py::arg("max_dist") = 200, doc::kQueryNearest)
      .def(
          "query_nearest_wide",
          [](const GridHandle& g, double lat, double lon, double max_dist) {
            return g.query_nearest(lat, lon, max_dist, geo::RadiusRule::kCeil);
          },
          py::arg("lat"), py::arg("lon"), py::arg("max_dist"), doc::kQueryNearestWide)
      .def("query_k_nearest", &GridHandle::query_k_nearest, py::arg("lat"), py::arg("lon"),
           py::arg("max_dist"), py::arg("k") = 1, doc::kQueryKNearest);
}

void def_geodesy(py::module_& m) {
  m.def("vectorized_haversine", &vectorized_haversine, py::arg("lat1"), py::arg("lon1"),
        py::arg("lat2"), py::arg("lon2"), doc::kHaversine);
  m.def("get_bearing", &geo::bearing_deg, py::arg("lat1"), py::arg("lon1"), py::arg("lat2"),
        py::arg("lon2"), doc::kBearing);
  m.def("get_turn_angle", &geo::turn_angle_deg, py::arg("p_lat"), py::arg("p_lon"),
        py::arg("c_lat"), py::arg("c_lon"), py::arg("n_lat"), py::arg("n_lon"), doc::kTurnAngle);
}

}  // namespace core_calc::module
