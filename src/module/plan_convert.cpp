#include "module/plan_convert.h"

#include <cmath>

#include "module/network_handle.h"

namespace core_calc::module {
namespace {

// A coordinate that is not finite cannot be joined, measured or flown through.
double coordinate(py::handle value, const char* what, const char* which) {
  const double degrees = to_real(value, which);
  if (!std::isfinite(degrees)) {
    PyErr_Format(PyExc_ValueError, "%s has a point whose %s is not finite", what, which);
    throw py::error_already_set();
  }
  return degrees;
}

std::vector<planning::Fix> fixes_input(py::handle points, const char* what) {
  std::vector<planning::Fix> fixes;
  for (py::handle point : py::reinterpret_borrow<py::iterable>(points)) {
    py::sequence p = py::reinterpret_borrow<py::sequence>(point);
    fixes.push_back({str_text(p[0]), coordinate(p[1], what, "point latitude"),
                     coordinate(p[2], what, "point longitude")});
  }
  if (fixes.empty()) {
    PyErr_Format(PyExc_ValueError, "%s has no points", what);
    throw py::error_already_set();
  }
  return fixes;
}

}  // namespace

planning::RouteProcedure procedure_input(py::handle record, const char* what) {
  return {str_text(record.attr("name")), fixes_input(record.attr("points"), what)};
}

planning::RouteApproach approach_input(py::handle record) {
  planning::RouteApproach approach;
  approach.name = str_text(record.attr("name"));
  approach.initial_fix = str_text(record.attr("initial_fix"));
  approach.points = fixes_input(record.attr("points"), "approach");
  approach.length_km = planning::path_length_km(approach.points);
  return approach;
}

std::vector<planning::RouteApproach> approach_inputs(py::handle records) {
  std::vector<planning::RouteApproach> out;
  for (py::handle record : py::reinterpret_borrow<py::iterable>(records))
    out.push_back(approach_input(record));
  return out;
}

network::EdgePenalties penalties_input(const network::RouteNetwork& net, py::handle mapping) {
  network::EdgePenalties penalties;
  if (mapping.is_none()) return penalties;
  if (!PyMapping_Check(mapping.ptr()) || PySequence_Check(mapping.ptr()))
    throw py::type_error("penalized_edges must be a mapping of (from, to) node keys to costs");
  py::object items = mapping.attr("items")();
  for (py::handle item : items) {
    py::tuple kv = py::reinterpret_borrow<py::tuple>(item);
    const double cost = to_real(kv[1], "penalized edge cost");
    py::handle key = kv[0];
    if (!PyTuple_Check(key.ptr()) || PyTuple_GET_SIZE(key.ptr()) != 2)
      throw py::type_error("penalized_edges keys must be (from, to) pairs of node keys");
    const network::NodeId from = find_node(net, PyTuple_GET_ITEM(key.ptr(), 0));
    const network::NodeId to = find_node(net, PyTuple_GET_ITEM(key.ptr(), 1));
    if (from == network::kNoNode || to == network::kNoNode) {
      if (!(cost >= 0.0) || cost == std::numeric_limits<double>::infinity())
        throw py::value_error("penalized edge costs must be finite and not negative");
      continue;
    }
    penalties.set(from, to, cost);
  }
  return penalties;
}

py::dict plan_object(const network::RouteNetwork& net, const planning::CombinationPlan& plan,
                     py::handle dep, py::handle arr, py::handle sid, py::handle star,
                     py::handle approaches) {
  py::object approach = py::none();
  if (plan.approach != planning::kNoApproach)
    approach =
        py::reinterpret_borrow<py::sequence>(approaches)[static_cast<std::size_t>(plan.approach)];
  py::dict out;
  out["departure"] = dep;
  out["sid"] = sid.attr("name");
  out["star"] = star.is_none() ? py::object(py::str("DIRECT")) : py::object(star.attr("name"));
  out["approach"] =
      approach.is_none() ? py::object(py::str("N/A")) : py::object(approach.attr("name"));
  py::object runway =
      approach.is_none() ? py::object(py::none()) : py::object(approach.attr("runway"));
  out["approach_runway"] =
      !runway.is_none() && PyObject_IsTrue(runway.ptr()) == 1 ? runway : py::object(py::str("N/A"));
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
    connectors.append(py::make_tuple("DCT", py::reinterpret_borrow<py::sequence>(first_fix)[0],
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
  const int skip = PyObject_IsTrue(skip_bearing_check.ptr());
  if (skip < 0) throw py::error_already_set();
  limits.skip_bearing_check = skip == 1;
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
