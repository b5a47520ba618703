// a_star and connect_to_network.
#include <cmath>
#include <limits>
#include <optional>

#include "common/plan_texts.h"
#include "module/bindings.h"
#include "module/grid_handle.h"
#include "module/network_handle.h"
#include "module/plan_convert.h"
#include "network/route_search.h"

namespace core_calc::module {
namespace {

using network::kNoNode;
using network::LatLon;
using network::NodeId;

// The native form of one a_star call, converted while the GIL is held.
struct SearchRequest {
  std::shared_ptr<const network::RouteNetwork> net;
  NodeId start = kNoNode;
  NodeId end = kNoNode;
  std::optional<LatLon> target;
  std::optional<LatLon> initial_prev;
  network::EdgePenalties penalties;
};

double finite_real(py::handle value, const char* what) {
  const double real = to_real(value, what);
  if (!std::isfinite(real)) {
    PyErr_Format(PyExc_ValueError, "%s must be a finite number, not %R", what, value.ptr());
    throw py::error_already_set();
  }
  return real;
}

std::optional<LatLon> read_target(py::handle lat, py::handle lon) {
  if (lat.is_none() || lon.is_none()) return std::nullopt;
  return LatLon{finite_real(lat, "target_lat"), finite_real(lon, "target_lon")};
}

std::optional<LatLon> read_initial_prev(py::handle coord) {
  if (coord.is_none()) return std::nullopt;
  if (!PySequence_Check(coord.ptr()) || PyUnicode_Check(coord.ptr()) ||
      PyBytes_Check(coord.ptr()) || PySequence_Size(coord.ptr()) != 2) {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError,
                 "initial_prev_coord must be a (latitude, longitude) pair or None, not %R",
                 coord.ptr());
    throw py::error_already_set();
  }
  py::sequence pair = py::reinterpret_borrow<py::sequence>(coord);
  return LatLon{finite_real(pair[0], "initial_prev_coord latitude"),
                finite_real(pair[1], "initial_prev_coord longitude")};
}

SearchRequest read_request(py::handle start, py::handle end, py::handle target_lat,
                           py::handle target_lon, py::handle initial_prev_coord,
                           py::handle penalized_edges) {
  SearchRequest request;
  request.net = global_network();
  if (!request.net) {
    PyErr_SetString(PyExc_RuntimeError,
                    "a_star needs a loaded network: GLOBAL_NETWORK is None (assign the result "
                    "of init_network() to it)");
    throw py::error_already_set();
  }
  request.start = find_node(*request.net, parse_node_key(start));
  request.end = find_node(*request.net, parse_node_key(end));
  request.target = read_target(target_lat, target_lon);
  request.initial_prev = read_initial_prev(initial_prev_coord);
  request.penalties = penalties_input(*request.net, penalized_edges);
  return request;
}

network::SearchResult run_search(const SearchRequest& request) {
  py::gil_scoped_release release;
  network::RouteSearch search(*request.net);
  return search.run(request.start, request.end, request.target, request.initial_prev,
                    &request.penalties);
}

[[noreturn]] void raise_fault(const network::RouteNetwork& net,
                              const network::SearchResult& result) {
  using network::SearchFault;
  switch (result.fault) {
    case SearchFault::kMissingCoordinate:
      // The turn at a node needs its position, as a coordinate lookup would. The key
      // is wrapped because a bare tuple would become the exception's argument list.
      PyErr_SetObject(PyExc_KeyError,
                      py::make_tuple(node_key_object(net, result.fault_node)).ptr());
      break;
    case SearchFault::kNonFiniteCoordinate:
      if (result.fault_node == kNoNode) {
        PyErr_SetString(PyExc_ValueError,
                        "a_star: the target point or initial_prev_coord is not finite");
      } else {
        PyErr_Format(PyExc_ValueError, "a_star: node %R has coordinates that are not finite",
                     node_key_object(net, result.fault_node).ptr());
      }
      break;
    case SearchFault::kNegativeDistance: {
      const network::Edge* edge = net.find_edge(result.fault_node, result.fault_to);
      PyErr_Format(PyExc_ValueError,
                   "a_star: edge %R -> %R has a negative distance (%R); segment lengths must "
                   "not be negative",
                   node_key_object(net, result.fault_node).ptr(),
                   node_key_object(net, result.fault_to).ptr(),
                   py::float_(edge ? edge->dist_km : std::nan("")).ptr());
      break;
    }
    case SearchFault::kNone:
      PyErr_SetString(PyExc_SystemError, "a_star: fault without a reason");
      break;
  }
  throw py::error_already_set();
}

py::tuple result_object(const network::RouteNetwork& net, const network::SearchResult& result) {
  if (result.fault != network::SearchFault::kNone) raise_fault(net, result);
  py::list path(result.path.size());
  py::list routes(result.route_ids.size());
  for (std::size_t i = 0; i < result.path.size(); ++i) {
    path[i] = node_key_object(net, result.path[i]);
    routes[i] = route_object(net, result.route_ids[i]);
  }
  return py::make_tuple(path, routes, py::float_(result.cost));
}

}  // namespace

void def_a_star(py::module_& m) {
  m.def(
      "a_star",
      [](py::handle start, py::handle end, py::handle target_lat, py::handle target_lon,
         py::handle initial_prev_coord, py::handle penalized_edges) {
        const SearchRequest request =
            read_request(start, end, target_lat, target_lon, initial_prev_coord, penalized_edges);
        return result_object(*request.net, run_search(request));
      },
      py::arg("start"), py::arg("end"), py::arg("target_lat") = py::none(),
      py::arg("target_lon") = py::none(), py::arg("initial_prev_coord") = py::none(),
      py::arg("penalized_edges") = py::none(), doc::kAStar);

  // The same search, also reporting how many heap entries it expanded; for benchmarks.
  m.def(
      "_a_star_stats",
      [](py::handle start, py::handle end, py::handle target_lat, py::handle target_lon,
         py::handle initial_prev_coord, py::handle penalized_edges) {
        const SearchRequest request =
            read_request(start, end, target_lat, target_lon, initial_prev_coord, penalized_edges);
        const network::SearchResult result = run_search(request);
        return py::make_tuple(result_object(*request.net, result), result.expanded);
      },
      py::arg("start"), py::arg("end"), py::arg("target_lat") = py::none(),
      py::arg("target_lon") = py::none(), py::arg("initial_prev_coord") = py::none(),
      py::arg("penalized_edges") = py::none(), doc::kAStarStats);
}

void def_connect_to_network(py::module_& m) {
  m.def(
      "connect_to_network",
      [](py::handle lat, py::handle lon, py::handle segment_length) -> py::tuple {
        py::object holder = attr("GLOBAL_NETWORK");
        if (!global_network()) return py::make_tuple(py::none(), py::list());
        const double leg = to_real(segment_length, "segment_length");
        const double scaled = leg * attr_real("DYNAMIC_CONNECTOR_FACTOR");
        const double base = attr_real("BASE_CONNECTOR_DIST");
        // The larger of the two, the first one when they are equal or unordered.
        const double max_conn_dist = base > scaled ? base : scaled;
        const double lat_deg = to_real(lat, "lat");
        const double lon_deg = to_real(lon, "lon");
        const py::tuple hit = GridHandle(holder).query_nearest(lat_deg, lon_deg, max_conn_dist,
                                                               geo::RadiusRule::kFloor);
        if (hit[0].is_none()) return py::make_tuple(py::none(), py::list());
        py::list connectors;
        connectors.append(py::make_tuple(kDirectLeg, hit[0], hit[1]));
        return py::make_tuple(hit[0], connectors);
      },
      py::arg("lat"), py::arg("lon"), py::arg("segment_length"), doc::kConnect);
}

}  // namespace core_calc::module
