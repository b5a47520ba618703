// format_for_api: a plan mapping as the record the host returns to its clients.
// Plans are host values (possibly built, stored or edited by the host), so this
// works on them directly rather than on native data, and a malformed plan is
// reported with an error that names the part at fault.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>

#include "common/number_text.h"
#include "module/bindings.h"

namespace core_calc::module {
namespace {

// Two consecutive entries with the same name closer than this (degrees, in both
// latitude and longitude) are one fix: the join of two legs listed twice.
constexpr double kRepeatTolerance = 0.001;
constexpr const char* kDirectLeg = "DCT";
constexpr const char* kNoStar = "DIRECT";
constexpr const char* kNoApproach = "N/A";
constexpr const char* kMainSegment = "MAIN";

bool equal(py::handle a, py::handle b) {
  const int eq = PyObject_RichCompareBool(a.ptr(), b.ptr(), Py_EQ);
  if (eq < 0) throw py::error_already_set();
  return eq == 1;
}

bool equal(py::handle a, const char* text) {
  return equal(a, py::str(text));
}

// A field every plan carries; its absence is the host's KeyError naming it.
py::object required(py::handle mapping, const char* key) {
  return mapping[key];
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

// `value` as a sequence of at least `count` elements (text never counts as one).
void require_elements(py::handle value, Py_ssize_t count, const char* what) {
  const bool sequence = !PyUnicode_Check(value.ptr()) && PySequence_Check(value.ptr());
  const Py_ssize_t size = sequence ? PySequence_Size(value.ptr()) : -1;
  if (size < 0) PyErr_Clear();
  if (size >= count) return;
  throw py::value_error(std::string(what) + ", got " + std::string(py::repr(value)));
}

py::object element(py::handle sequence, Py_ssize_t index) {
  PyObject* value = PySequence_GetItem(sequence.ptr(), index);
  if (!value) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(value);
}

py::object last_element(py::handle sequence) {
  return element(sequence, PySequence_Size(sequence.ptr()) - 1);
}

// Nearest double to the value rounded to 8 decimals (exact decimal rounding).
double round8(double value) {
  if (!std::isfinite(value)) return value;
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.8f", value);
  return std::strtod(buf, nullptr);
}

// Sequence numbers come as integers (airways, procedures), reals (some approach
// tables) or text already (airway metadata); clients always get text or None.
py::object seqno_text(py::handle seq) {
  if (seq.is_none() || PyUnicode_Check(seq.ptr())) return py::reinterpret_borrow<py::object>(seq);
  if (PyFloat_Check(seq.ptr())) return to_text(float_text(PyFloat_AsDouble(seq.ptr())));
  return py::str(seq);
}

// The ordered waypoint list of one call. A point is dropped when it repeats the
// last entry: a procedure that starts on the fix where the previous leg ended.
class WaypointList {
 public:
  void add(py::handle name, py::handle lat, py::handle lon, py::handle airway,
           py::handle seq = py::none(), py::handle restr = py::none()) {
    const double la = to_real(lat, "waypoint latitude");
    const double lo = to_real(lon, "waypoint longitude");
    if (repeats_last(name, la, lo)) return;
    py::dict entry;
    entry["name"] = name;
    entry["lat"] = round8(la);
    entry["lon"] = round8(lo);
    entry["airway"] = airway;
    entry["seqno"] = seqno_text(seq);
    entry["direction_restriction"] = restr;
    entries_.append(entry);
    last_name_ = py::reinterpret_borrow<py::object>(name);
    last_lat_ = round8(la);
    last_lon_ = round8(lo);
  }

  // Procedure points (name, latitude, longitude, sequence number), flown by `airway`.
  void add_points(py::handle points, py::handle airway) {
    for (py::handle p : points) {
      require_elements(p, 4,
                       "a procedure point needs name, latitude, longitude and sequence number");
      add(element(p, 0), element(p, 1), element(p, 2), airway, element(p, 3));
    }
  }

  const py::list& entries() const { return entries_; }

 private:
  // The stored entry holds rounded coordinates; the new point is compared unrounded.
  bool repeats_last(py::handle name, double lat, double lon) const {
    if (!last_name_) return false;
    return equal(last_name_, name) && std::fabs(last_lat_ - lat) < kRepeatTolerance &&
           std::fabs(last_lon_ - lon) < kRepeatTolerance;
  }

  py::list entries_;
  py::object last_name_;
  double last_lat_ = 0.0;
  double last_lon_ = 0.0;
};

// The fix of a connector (airway, fix, distance).
py::object connector_fix(py::handle connector) {
  require_elements(connector, 2, "a connector needs airway, fix and distance");
  return element(connector, 1);
}

// A node key as the hashable triple the network and AIRWAY_META are keyed by;
// a plan stored by the host as JSON brings its keys back as lists.
py::object hashable_key(py::handle node_key) {
  if (PyTuple_Check(node_key.ptr())) return py::reinterpret_borrow<py::object>(node_key);
  return py::tuple(py::reinterpret_borrow<py::object>(node_key));
}

bool is_node_key(py::handle value) {
  return (PyTuple_Check(value.ptr()) || PyList_Check(value.ptr())) && py::len(value) == 3;
}

void add_departure_connectors(WaypointList& list, const py::sequence& connectors) {
  const py::str dct(kDirectLeg);
  for (py::handle connector : connectors) {
    py::object target = connector_fix(connector);
    if (is_node_key(target)) {
      list.add(element(target, 0), element(target, 1), element(target, 2), dct);
      continue;
    }
    // A fix given some other way is placed by the network's own coordinates.
    py::object network = attr("GLOBAL_NETWORK");
    if (network.is_none())
      throw std::runtime_error(
          "format_for_api needs a loaded network to place departure connector fix " +
          std::string(py::repr(target)) + ": GLOBAL_NETWORK is None");
    py::object coords = network.attr("coord_map");
    if (!coords.contains(target)) continue;
    py::object position = coords[target];
    require_elements(position, 2, "a coord_map value needs latitude and longitude");
    list.add(element(target, 0), element(position, 0), element(position, 1), dct);
  }
}

// The airway of the leg that enters en-route node i; the last node may have no
// entry of its own, then the leg before it names the airway.
py::object waypoint_route_id(const py::sequence& route_ids, std::size_t i) {
  const std::size_t n = py::len(route_ids);
  if (i < n) return route_ids[i];
  if (i >= 1 && i - 1 < n) return route_ids[i - 1];
  return py::str(kDirectLeg);
}

// Reads AIRWAY_META on first use only, so plans without airway legs never need it.
class AirwayMetaLookup {
 public:
  // (seqno, direction restriction) of `node_key` on `route_id`, None for both if unknown.
  std::pair<py::object, py::object> at(py::handle route_id, py::handle node_key) {
    if (!table_) table_ = attr("AIRWAY_META");
    py::object meta = table_.attr("get")(py::make_tuple(route_id, hashable_key(node_key)));
    if (meta.is_none() || !truthy(meta)) return {py::none(), py::none()};
    return {meta.attr("get")("seqno"), meta.attr("get")("direction_restriction")};
  }

 private:
  py::object table_;
};

void add_enroute(WaypointList& list, const py::sequence& enroute, const py::sequence& route_ids) {
  AirwayMetaLookup meta;
  for (std::size_t i = 0; i < py::len(enroute); ++i) {
    py::object node_key = enroute[i];
    require_elements(node_key, 3, "an en-route node key needs name, latitude and longitude");
    py::object route_id = waypoint_route_id(route_ids, i);
    py::object seq = py::none(), restr = py::none();
    if (!equal(route_id, kDirectLeg)) std::tie(seq, restr) = meta.at(route_id, node_key);
    list.add(element(node_key, 0), element(node_key, 1), element(node_key, 2), route_id, seq,
             restr);
  }
}

// The first point of `points` when its name is `name`, else a null object.
py::object first_point_named(py::handle points, py::handle name) {
  if (!truthy(points)) return {};
  py::object first = element(points, 0);
  require_elements(first, 4,
                   "a procedure point needs name, latitude, longitude and sequence number");
  return equal(element(first, 0), name) ? first : py::object();
}

// An arrival connector ends on the first point of the STAR (or approach) it joins.
void add_arrival_connectors(WaypointList& list, const py::sequence& connectors,
                            py::handle star_points, py::handle iap_points) {
  for (py::handle connector : connectors) {
    py::object name = connector_fix(connector);
    py::object point = first_point_named(star_points, name);
    if (!point) point = first_point_named(iap_points, name);
    if (point) list.add(name, element(point, 1), element(point, 2), py::str(kDirectLeg));
  }
}

// Route tokens in flight-plan notation; every token is text, checked where it
// enters so an error names the field that is not.
class RouteTokens {
 public:
  void push(py::handle token, const char* what) {
    if (!PyUnicode_Check(token.ptr())) {
      PyErr_Format(PyExc_TypeError, "route token %s must be text, not %s", what,
                   Py_TYPE(token.ptr())->tp_name);
      throw py::error_already_set();
    }
    parts_.append(token);
  }

  // Consecutive repeats (an airway entered where the procedure ended, a fix that
  // closes one part and opens the next) are written once.
  py::str route_string() const {
    py::list kept;
    for (std::size_t i = 0; i < py::len(parts_); ++i)
      if (i == 0 || !equal(parts_[i], parts_[i - 1])) kept.append(parts_[i]);
    return py::str(" ").attr("join")(kept);
  }

 private:
  py::list parts_;
};

// Airway where it changes, the exit fix where the next leg leaves the airway,
// every fix reached direct, and the last en-route fix.
void push_enroute_tokens(RouteTokens& tokens, const py::sequence& enroute,
                         const py::sequence& route_ids) {
  const std::size_t nodes = py::len(enroute), ids = py::len(route_ids);
  py::object last_airway = py::none();
  for (std::size_t i = 0; i < nodes; ++i) {
    py::object current = i < ids ? py::object(route_ids[i]) : py::object(py::str(kDirectLeg));
    if (!equal(current, last_airway)) {
      tokens.push(current, "route id");
      last_airway = current;
    }
    py::object next = i + 1 < ids ? py::object(route_ids[i + 1]) : py::object(py::none());
    if (equal(current, kDirectLeg) || !equal(current, next) || i + 1 == nodes)
      tokens.push(element(enroute[i], 0), "en-route fix name");
  }
}

struct ApproachNames {
  py::object procedure;                // the part before the first "."
  py::object token;                    // as written in the route, or null for none
  py::object transition = py::none();  // None for the main segment and no approach
};

// "I35.MAIN" flies the main segment, written as "I35"; any other transition
// ("I35.ABC", "I35.MAIN1") keeps the whole name and is reported on its own.
ApproachNames approach_names(py::handle approach) {
  ApproachNames names;
  if (!PyUnicode_Check(approach.ptr())) {
    PyErr_Format(PyExc_TypeError, "plan 'approach' must be text, not %s",
                 Py_TYPE(approach.ptr())->tp_name);
    throw py::error_already_set();
  }
  py::tuple parts = py::reinterpret_borrow<py::object>(approach).attr("partition")(".");
  names.procedure = parts[0];
  if (equal(approach, kNoApproach)) return names;
  names.token = py::reinterpret_borrow<py::object>(approach);
  if (!truthy(parts[1])) return names;
  if (equal(parts[2], kMainSegment)) {
    names.token = parts[0];
  } else {
    names.transition = parts[2];
  }
  return names;
}

py::str route_string(py::handle plan, py::handle sid_points, const ApproachNames& approach,
                     const py::sequence& enroute, const py::sequence& route_ids) {
  RouteTokens tokens;
  tokens.push(required(plan, "departure"), "departure");
  tokens.push(required(plan, "sid"), "sid");
  if (truthy(sid_points)) tokens.push(element(last_element(sid_points), 0), "SID exit fix name");
  push_enroute_tokens(tokens, enroute, route_ids);
  py::object star = required(plan, "star");
  if (!equal(star, kNoStar)) tokens.push(star, "star");
  if (approach.token) tokens.push(approach.token, "approach");
  tokens.push(required(plan, "arrival"), "arrival");
  return tokens.route_string();
}

// The approach's runway when the plan has one, else the recommended arrival runway.
py::object arrival_runway(py::handle plan) {
  py::object runway = plan.attr("get")("approach_runway", py::str(""));
  if (truthy(runway) && !equal(runway, kNoApproach)) return runway;
  return attr("recommendedarr");
}

py::int_ whole_kilometres(py::handle distance) {
  PyObject* km = PyLong_FromDouble(std::trunc(to_real(distance, "plan 'distance'")));
  if (!km) throw py::error_already_set();
  return py::reinterpret_steal<py::int_>(km);
}

py::object format_for_api(py::object plan) {
  if (plan.is_none() || !truthy(plan)) return py::none();
  if (!py::hasattr(plan, "get") || PyUnicode_Check(plan.ptr())) {
    PyErr_Format(PyExc_TypeError, "plan must be a mapping, not %s", Py_TYPE(plan.ptr())->tp_name);
    throw py::error_already_set();
  }
  py::object points = required(plan, "points");
  py::object sid_points = required(points, "sid");
  py::object star_points = required(points, "star");
  py::object iap_points = required(points, "iap");
  const py::sequence route_ids = optional_list(plan, "route_ids");
  const py::sequence enroute = optional_list(plan, "enroute");

  WaypointList waypoints;
  waypoints.add_points(sid_points, required(plan, "sid"));
  add_departure_connectors(waypoints, optional_list(plan, "dep_connectors"));
  add_enroute(waypoints, enroute, route_ids);
  add_arrival_connectors(waypoints, optional_list(plan, "arr_connectors"), star_points, iap_points);
  if (truthy(star_points)) waypoints.add_points(star_points, required(plan, "star"));
  if (truthy(iap_points)) waypoints.add_points(iap_points, required(plan, "approach"));

  const ApproachNames approach = approach_names(required(plan, "approach"));
  py::str route = route_string(plan, sid_points, approach, enroute, route_ids);
  py::int_ distance_km = whole_kilometres(required(plan, "distance"));

  py::dict out;
  out["success"] = true;
  out["message"] = "Plan generated successfully";
  out["origin"] = required(plan, "departure");
  out["destination"] = required(plan, "arrival");
  out["dep_runway"] = attr("recommendeddep");
  out["arr_runway"] = arrival_runway(plan);
  out["distance_km"] = distance_km;
  out["route_string"] = route;
  out["detailed_waypoints"] = waypoints.entries();
  py::dict procedures;
  procedures["sid"] = required(plan, "sid");
  procedures["star"] = required(plan, "star");
  procedures["iap"] = approach.procedure;
  procedures["iap_trans"] = approach.transition;
  out["procedures"] = procedures;
  return out;
}

}  // namespace

void def_api_format(py::module_& m) {
  m.def("format_for_api", &format_for_api, py::arg("plan"));
}

}  // namespace core_calc::module
