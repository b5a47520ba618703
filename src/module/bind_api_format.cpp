// format_for_api: a plan mapping as the record the host returns to its clients.
// Plans are host values (possibly built or edited by the host), so this works on
// them directly rather than on native data.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "common/number_text.h"
#include "module/bindings.h"

namespace core_calc::module {
namespace {

constexpr double kRepeatTolerance = 0.001;

py::object get_or(const py::handle& mapping, const char* key, py::object fallback) {
  return mapping.attr("get")(key, fallback);
}

bool equal(py::handle a, py::handle b) {
  const int eq = PyObject_RichCompareBool(a.ptr(), b.ptr(), Py_EQ);
  if (eq < 0) throw py::error_already_set();
  return eq == 1;
}

bool truthy(py::handle value) {
  const int truth = PyObject_IsTrue(value.ptr());
  if (truth < 0) throw py::error_already_set();
  return truth == 1;
}

// Nearest double to the value rounded to 8 decimals (exact decimal rounding).
double round8(double value) {
  if (!std::isfinite(value)) return value;
  char buf[512];
  std::snprintf(buf, sizeof buf, "%.8f", value);
  return std::strtod(buf, nullptr);
}

py::object seqno_text(py::handle seq) {
  if (seq.is_none() || PyUnicode_Check(seq.ptr())) return py::reinterpret_borrow<py::object>(seq);
  if (PyFloat_Check(seq.ptr())) return py::str(float_text(PyFloat_AsDouble(seq.ptr())));
  return py::str(seq);
}

py::object item(py::handle sequence, Py_ssize_t index, const char* what) {
  PyObject* value = PySequence_GetItem(sequence.ptr(), index);
  if (!value) {
    PyErr_Clear();
    PyErr_Format(PyExc_IndexError, "%s has no element %zd", what, index);
    throw py::error_already_set();
  }
  return py::reinterpret_steal<py::object>(value);
}

class WaypointList {
 public:
  void add(py::handle name, py::handle lat, py::handle lon, py::handle airway,
           py::handle seq = py::none(), py::handle restr = py::none()) {
    const double la = to_real(lat, "latitude"), lo = to_real(lon, "longitude");
    if (!entries_.empty()) {
      py::dict last = entries_[entries_.size() - 1];
      if (equal(last["name"], name) &&
          std::fabs(to_real(last["lat"], "latitude") - la) < kRepeatTolerance &&
          std::fabs(to_real(last["lon"], "longitude") - lo) < kRepeatTolerance)
        return;
    }
    py::dict entry;
    entry["name"] = name;
    entry["lat"] = round8(la);
    entry["lon"] = round8(lo);
    entry["airway"] = airway;
    entry["seqno"] = seqno_text(seq);
    entry["direction_restriction"] = restr;
    entries_.append(entry);
  }
  void add_points(py::handle points, py::handle airway) {
    for (py::handle p : points)
      add(item(p, 0, "point"), item(p, 1, "point"), item(p, 2, "point"), airway, item(p, 3, "point"));
  }
  py::list& entries() { return entries_; }

 private:
  py::list entries_;
};

py::object route_id_at(const py::sequence& route_ids, std::size_t i, bool fall_back) {
  const std::size_t n = py::len(route_ids);
  if (i < n) return route_ids[i];
  if (fall_back && i >= 1 && i - 1 < n) return route_ids[i - 1];
  return py::str("DCT");
}

void add_departure_connectors(WaypointList& list, py::handle connectors) {
  for (py::handle conn : connectors) {
    py::object target = item(conn, 1, "connector");
    const py::str dct("DCT");
    if (PyTuple_Check(target.ptr()) && PyTuple_GET_SIZE(target.ptr()) == 3) {
      list.add(item(target, 0, "fix"), item(target, 1, "fix"), item(target, 2, "fix"), dct);
      continue;
    }
    py::object network = attr("GLOBAL_NETWORK");
    if (network.is_none()) throw py::value_error("GLOBAL_NETWORK is not loaded");
    py::object coords = network.attr("coord_map");
    if (coords.contains(target)) {
      py::object pos = coords[target];
      list.add(item(target, 0, "fix"), item(pos, 0, "position"), item(pos, 1, "position"), dct);
    }
  }
}

void add_enroute(WaypointList& list, const py::sequence& enroute, const py::sequence& route_ids) {
  py::object meta_table = attr("AIRWAY_META");
  for (std::size_t i = 0; i < py::len(enroute); ++i) {
    py::object key = enroute[i];
    if (py::len(key) < 3) throw py::value_error("an en-route node key needs name, latitude, longitude");
    py::object rid = route_id_at(route_ids, i, true);
    py::object seq = py::none(), restr = py::none();
    if (!equal(rid, py::str("DCT"))) {
      py::object meta = meta_table.attr("get")(py::make_tuple(rid, key));
      if (!meta.is_none() && truthy(meta)) {
        seq = meta["seqno"];
        restr = meta["direction_restriction"];
      }
    }
    list.add(item(key, 0, "node key"), item(key, 1, "node key"), item(key, 2, "node key"), rid, seq, restr);
  }
}

// The first point of `points` when its name is `name`.
py::object first_point_named(py::handle points, py::handle name) {
  if (!truthy(points)) return {};
  py::object first = item(points, 0, "points");
  return equal(item(first, 0, "point"), name) ? first : py::object();
}

void add_arrival_connectors(WaypointList& list, py::handle connectors, py::handle star, py::handle iap) {
  for (py::handle conn : connectors) {
    py::object name = item(conn, 1, "connector");
    py::object point = first_point_named(star, name);
    if (!point) point = first_point_named(iap, name);
    if (point) list.add(name, item(point, 1, "point"), item(point, 2, "point"), py::str("DCT"));
  }
}

std::string token_text(py::handle token) { return from_text(py::str(token), "token"); }

struct RouteTokens {
  std::vector<py::object> parts;
  py::object iap_trans = py::none();
};

RouteTokens route_tokens(py::handle plan, py::handle sid_points, const py::sequence& enroute,
                         const py::sequence& route_ids) {
  RouteTokens t;
  t.parts.push_back(plan["departure"]);
  t.parts.push_back(plan["sid"]);
  if (truthy(sid_points)) t.parts.push_back(item(item(sid_points, py::len(sid_points) - 1, "points"), 0, "point"));
  py::object last_airway = py::none();
  const std::size_t n = py::len(enroute), ids = py::len(route_ids);
  for (std::size_t i = 0; i < n; ++i) {
    py::object current = route_id_at(route_ids, i, false);
    if (!equal(current, last_airway)) {
      t.parts.push_back(current);
      last_airway = current;
    }
    py::object next = i + 1 < ids ? py::object(route_ids[i + 1]) : py::object(py::none());
    if (equal(current, py::str("DCT")) || !equal(current, next) || i + 1 == n)
      t.parts.push_back(item(enroute[i], 0, "node key"));
  }
  py::object star = plan["star"];
  if (!equal(star, py::str("DIRECT"))) t.parts.push_back(star);
  py::object iap_raw = plan["approach"];
  if (!equal(iap_raw, py::str("N/A"))) {
    const std::string raw = token_text(iap_raw);
    const std::size_t dot = raw.find('.');
    if (dot == std::string::npos) {
      t.parts.push_back(iap_raw);
    } else if (raw.substr(dot + 1) == "MAIN") {
      t.parts.push_back(to_text(raw.substr(0, dot)));
    } else {
      t.parts.push_back(iap_raw);
      t.iap_trans = to_text(raw.substr(dot + 1));
    }
  }
  t.parts.push_back(plan["arrival"]);
  return t;
}

std::string clean_route(const std::vector<py::object>& parts) {
  std::string route;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0 && equal(parts[i], parts[i - 1])) continue;
    if (!route.empty()) route += ' ';
    route += token_text(parts[i]);
  }
  return route;
}

py::object procedure_part(py::handle approach) {
  const std::string name = token_text(approach);
  const std::size_t dot = name.find('.');
  return dot == std::string::npos ? py::reinterpret_borrow<py::object>(approach)
                                  : py::object(to_text(name.substr(0, dot)));
}

py::object format_for_api(py::object plan) {
  if (plan.is_none() || !truthy(plan)) return py::none();
  py::object points = plan["points"];
  py::object sid_points = points["sid"], star_points = points["star"], iap_points = points["iap"];
  py::sequence route_ids = get_or(plan, "route_ids", py::list());
  py::sequence enroute = get_or(plan, "enroute", py::list());

  WaypointList list;
  list.add_points(sid_points, plan["sid"]);
  add_departure_connectors(list, get_or(plan, "dep_connectors", py::list()));
  add_enroute(list, enroute, route_ids);
  add_arrival_connectors(list, get_or(plan, "arr_connectors", py::list()), star_points, iap_points);
  if (truthy(star_points)) list.add_points(star_points, plan["star"]);
  if (truthy(iap_points)) list.add_points(iap_points, plan["approach"]);

  RouteTokens tokens = route_tokens(plan, sid_points, enroute, route_ids);
  py::object app_rwy = get_or(plan, "approach_runway", py::str(""));
  py::object distance = plan["distance"];

  py::dict out;
  out["success"] = true;
  out["message"] = "Plan generated successfully";
  out["origin"] = plan["departure"];
  out["destination"] = plan["arrival"];
  out["dep_runway"] = attr("recommendeddep");
  out["arr_runway"] = truthy(app_rwy) && !equal(app_rwy, py::str("N/A")) ? app_rwy : attr("recommendedarr");
  out["distance_km"] = py::int_(distance);
  out["route_string"] = clean_route(tokens.parts);
  out["detailed_waypoints"] = list.entries();
  py::dict procedures;
  procedures["sid"] = plan["sid"];
  procedures["star"] = plan["star"];
  procedures["iap"] = procedure_part(plan["approach"]);
  procedures["iap_trans"] = tokens.iap_trans;
  out["procedures"] = procedures;
  return out;
}

}  // namespace

void def_api_format(py::module_& m) { m.def("format_for_api", &format_for_api, py::arg("plan")); }

}  // namespace core_calc::module
