#include "module/plan_convert.h"

#include <cmath>

#include "module/network_handle.h"
#include "planning/flight_plan.h"

namespace core_calc::module {

network::EdgePenalties penalties_input(const network::RouteNetwork& net, py::handle mapping) {
  network::EdgePenalties penalties;
  if (mapping.is_none()) return penalties;
  py::list items;
  if (PyDict_Check(mapping.ptr())) {
    items = py::reinterpret_steal<py::list>(PyDict_Items(mapping.ptr()));
  } else if (py::isinstance(mapping, py::module_::import("collections.abc").attr("Mapping"))) {
    items = py::list(mapping.attr("items")());
  } else {
    PyErr_Format(PyExc_TypeError,
                 "penalized_edges must be a mapping of (from node key, to node key) to a "
                 "cost, or None, not %s",
                 Py_TYPE(mapping.ptr())->tp_name);
    throw py::error_already_set();
  }
  for (py::handle item : items) {
    if (!PyTuple_Check(item.ptr()) || PyTuple_GET_SIZE(item.ptr()) != 2)
      throw py::type_error("penalized_edges.items() must yield (key, cost) pairs");
    py::handle key = PyTuple_GET_ITEM(item.ptr(), 0);
    py::handle value = PyTuple_GET_ITEM(item.ptr(), 1);
    const double cost = to_real(value, "penalized_edges cost");
    if (!(cost >= 0.0) || std::isinf(cost)) {
      PyErr_Format(PyExc_ValueError,
                   "penalized_edges cost for %R must be a non-negative finite number, not %R",
                   key.ptr(), value.ptr());
      throw py::error_already_set();
    }
    if (!PyTuple_Check(key.ptr()) || PyTuple_GET_SIZE(key.ptr()) != 2) continue;
    const network::NodeId from = find_node(net, parse_node_key(PyTuple_GET_ITEM(key.ptr(), 0)));
    const network::NodeId to = find_node(net, parse_node_key(PyTuple_GET_ITEM(key.ptr(), 1)));
    if (from != network::kNoNode && to != network::kNoNode) penalties.set(from, to, cost);
  }
  return penalties;
}

py::dict plan_object(const network::RouteNetwork& net, const planning::CombinationPlan& plan,
                     py::handle dep, py::handle arr, py::handle sid, py::handle star,
                     py::handle approach) {
  py::dict out;
  out["departure"] = dep;
  out["sid"] = sid.attr("name");
  out["star"] =
      star.is_none() ? py::object(py::str(planning::kNoStar)) : py::object(star.attr("name"));
  out["approach"] = approach.is_none() ? py::object(py::str(planning::kNotAvailable))
                                       : py::object(approach.attr("name"));
  py::object runway =
      approach.is_none() ? py::object(py::none()) : py::object(approach.attr("runway"));
  out["approach_runway"] =
      !runway.is_none() && truthy(runway) ? runway : py::object(py::str(planning::kNotAvailable));
  out["arrival"] = arr;
  py::list enroute, route_ids;
  for (network::NodeId n : plan.enroute) enroute.append(node_key_object(net, n));
  for (network::NameId r : plan.route_ids) route_ids.append(route_object(net, r));
  out["enroute"] = enroute;
  out["route_ids"] = route_ids;
  out["distance"] = plan.distance_km;
  out["dep_connectors"] = py::list();
  py::list connectors;
  if (plan.has_connector) {
    // The join leads to the first fix of the arrival, or of the approach without one.
    py::handle joined = star.is_none() ? py::handle(approach) : star;
    py::object first_fix = py::reinterpret_borrow<py::sequence>(joined.attr("points"))[0];
    connectors.append(py::make_tuple(planning::kDirectLeg,
                                     py::reinterpret_borrow<py::sequence>(first_fix)[0],
                                     plan.connector_km));
  }
  out["arr_connectors"] = connectors;
  py::dict points;
  points["sid"] = sid.attr("points");
  points["star"] = star.is_none() ? py::object(py::list()) : py::object(star.attr("points"));
  points["iap"] = approach.is_none() ? py::object(py::list()) : py::object(approach.attr("points"));
  out["points"] = points;
  return out;
}

void raise_search_fault(const network::RouteNetwork& net, const planning::SearchFaultError& fault) {
  if (fault.node == network::kNoNode || fault.node >= net.node_count()) {
    PyErr_SetString(PyExc_ValueError, fault.what());
  } else {
    PyErr_SetObject(PyExc_KeyError, node_key_object(net, fault.node).ptr());
  }
  throw py::error_already_set();
}

planning::RoutingLimits routing_limits(py::handle skip_bearing_check, py::handle join_radius,
                                       py::handle bearing_limit) {
  planning::RoutingLimits limits;
  limits.skip_bearing_check = truthy(skip_bearing_check);
  if (join_radius.is_none()) {
    limits.sid_join_radius_km = attr_real("SID_JOIN_RADIUS");
  } else {
    limits.join_radius_km = to_real(join_radius, "join_radius");
  }
  if (!limits.skip_bearing_check)
    limits.bearing_limit_deg = bearing_limit.is_none() ? attr_real("SID_BEARING_LIMIT")
                                                       : to_real(bearing_limit, "bearing_limit");
  limits.grid_size = attr_real("GRID_SIZE");
  return limits;
}

}  // namespace core_calc::module
