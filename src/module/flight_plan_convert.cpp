#include "module/flight_plan_convert.h"

#include <string>

namespace core_calc::module {
namespace {

using navdata::ProcedurePoint;
using navdata::SqlValue;

constexpr const char* kPointShape =
    "a procedure point needs name, latitude, longitude and sequence number";

// `value` as a sequence of at least `count` elements (text never counts as one).
void require_elements(py::handle value, Py_ssize_t count, const char* what) {
  const bool sequence = !PyUnicode_Check(value.ptr()) && PySequence_Check(value.ptr());
  const Py_ssize_t size = sequence ? PySequence_Size(value.ptr()) : -1;
  if (size < 0) PyErr_Clear();
  if (size >= count) return;
  throw py::value_error(std::string(what) + ", got " + str_text(py::repr(value)));
}

py::object element(py::handle sequence, Py_ssize_t index) {
  PyObject* value = PySequence_GetItem(sequence.ptr(), index);
  if (!value) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(value);
}

// Names written into the route string must be text; the error names the token.
std::string token_text(py::handle value, const char* what) {
  if (!PyUnicode_Check(value.ptr())) {
    PyErr_Format(PyExc_TypeError, "route token %s must be text, not %s", what,
                 Py_TYPE(value.ptr())->tp_name);
    throw py::error_already_set();
  }
  return from_text(value, what);
}

// A list field that may be left out; a missing or None value counts as empty.
py::sequence optional_list(py::handle plan, const char* key) {
  py::object value = plan.attr("get")(key);
  if (value.is_none()) return py::list();
  if (PyUnicode_Check(value.ptr()) || !PySequence_Check(value.ptr())) {
    PyErr_Format(PyExc_TypeError, "plan '%s' must be a list, not %s", key,
                 Py_TYPE(value.ptr())->tp_name);
    throw py::error_already_set();
  }
  return py::reinterpret_borrow<py::sequence>(value);
}

// Clients see a sequence number as its text form: a real as the shortest text
// that reads back, anything else as its str(), which text is already.
SqlValue seq_input(py::handle seq) {
  SqlValue value;
  if (seq.is_none()) return value;
  if (PyFloat_Check(seq.ptr())) {
    value.kind = SqlValue::Kind::kReal;
    value.real = PyFloat_AsDouble(seq.ptr());
  } else {
    value.kind = SqlValue::Kind::kText;
    value.text = str_text(seq);
  }
  return value;
}

ProcedurePoint point_input(py::handle point) {
  require_elements(point, 4, kPointShape);
  ProcedurePoint p;
  p.name = token_text(element(point, 0), "procedure point name");
  p.lat = to_real(element(point, 1), "waypoint latitude");
  p.lon = to_real(element(point, 2), "waypoint longitude");
  p.seq = seq_input(element(point, 3));
  return p;
}

std::vector<ProcedurePoint> points_input(py::handle points) {
  std::vector<ProcedurePoint> out;
  for (py::handle point : py::reinterpret_borrow<py::iterable>(points))
    out.push_back(point_input(point));
  return out;
}

// The STAR and approach lists may be left empty by any false value.
std::vector<ProcedurePoint> optional_points(py::handle points) {
  return truthy(points) ? points_input(points) : std::vector<ProcedurePoint>{};
}

planning::PlanNode node_input(py::handle key, const char* what) {
  require_elements(key, 3, what);
  return {token_text(element(key, 0), "en-route fix name"),
          to_real(element(key, 1), "waypoint latitude"),
          to_real(element(key, 2), "waypoint longitude")};
}

std::vector<planning::PlanNode> enroute_input(const py::sequence& nodes) {
  std::vector<planning::PlanNode> out;
  for (py::handle key : nodes)
    out.push_back(node_input(key, "an en-route node key needs name, latitude and longitude"));
  return out;
}

std::vector<std::optional<std::string>> route_ids_input(const py::sequence& ids) {
  std::vector<std::optional<std::string>> out;
  for (py::handle id : ids) {
    if (id.is_none()) {
      out.emplace_back();
    } else {
      out.emplace_back(token_text(id, "route id"));
    }
  }
  return out;
}

// The fix of a connector (airway, fix, distance).
py::object connector_fix(py::handle connector) {
  require_elements(connector, 2, "a connector needs airway, fix and distance");
  return element(connector, 1);
}

bool is_node_key(py::handle value) {
  return (PyTuple_Check(value.ptr()) || PyList_Check(value.ptr())) && py::len(value) == 3;
}

// A departure connector names its fix by node key, or by name for the network to place.
std::vector<planning::PlanConnector> departure_connectors(const py::sequence& connectors) {
  std::vector<planning::PlanConnector> out;
  for (py::handle connector : connectors) {
    py::object fix = connector_fix(connector);
    planning::PlanConnector c;
    if (is_node_key(fix)) {
      c.fix_key = node_input(fix, "a departure connector fix needs name, latitude and longitude");
      c.fix = c.fix_key->name;
    } else if (PyUnicode_Check(fix.ptr())) {
      c.fix = from_text(fix, "departure connector fix");
    } else {
      PyErr_Format(PyExc_TypeError,
                   "a departure connector fix must be a node key or a fix name, not %s",
                   Py_TYPE(fix.ptr())->tp_name);
      throw py::error_already_set();
    }
    out.push_back(std::move(c));
  }
  return out;
}

// An arrival connector only places the first point of the STAR or approach it
// names; a fix that is not text names no point, so it adds nothing.
std::vector<planning::PlanConnector> arrival_connectors(const py::sequence& connectors) {
  std::vector<planning::PlanConnector> out;
  for (py::handle connector : connectors) {
    py::object fix = connector_fix(connector);
    if (!PyUnicode_Check(fix.ptr())) continue;
    planning::PlanConnector c;
    c.fix = from_text(fix, "arrival connector fix");
    out.push_back(std::move(c));
  }
  return out;
}

std::string approach_input(py::handle approach) {
  if (!PyUnicode_Check(approach.ptr())) {
    PyErr_Format(PyExc_TypeError, "plan 'approach' must be text, not %s",
                 Py_TYPE(approach.ptr())->tp_name);
    throw py::error_already_set();
  }
  return from_text(approach, "plan 'approach'");
}

// Any false value (missing, None, "") means the approach gives no runway.
std::string approach_runway_input(py::handle plan) {
  py::object runway = plan.attr("get")("approach_runway", py::str(""));
  if (!truthy(runway)) return "";
  if (!PyUnicode_Check(runway.ptr())) {
    PyErr_Format(PyExc_TypeError, "plan 'approach_runway' must be text, not %s",
                 Py_TYPE(runway.ptr())->tp_name);
    throw py::error_already_set();
  }
  return from_text(runway, "plan 'approach_runway'");
}

}  // namespace

planning::FlightPlan plan_input(py::handle plan) {
  py::object points = plan["points"];
  py::object sid_points = points["sid"];
  py::object star_points = points["star"];
  py::object iap_points = points["iap"];
  const py::sequence route_ids = optional_list(plan, "route_ids");
  const py::sequence enroute = optional_list(plan, "enroute");

  planning::FlightPlan out;
  out.points.sid = points_input(sid_points);
  out.sid = token_text(plan["sid"], "sid");
  out.dep_connectors = departure_connectors(optional_list(plan, "dep_connectors"));
  out.enroute = enroute_input(enroute);
  out.route_ids = route_ids_input(route_ids);
  out.arr_connectors = arrival_connectors(optional_list(plan, "arr_connectors"));
  out.points.star = optional_points(star_points);
  out.star = token_text(plan["star"], "star");
  out.points.iap = optional_points(iap_points);
  out.approach = approach_input(plan["approach"]);
  out.departure = token_text(plan["departure"], "departure");
  out.arrival = token_text(plan["arrival"], "arrival");
  out.distance_km = to_real(plan["distance"], "plan 'distance'");
  out.approach_runway = approach_runway_input(plan);
  return out;
}

}  // namespace core_calc::module
