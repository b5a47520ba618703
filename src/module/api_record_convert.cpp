#include "module/api_record_convert.h"

#include <string>

namespace core_calc::module {
namespace {

py::object optional_text(const std::optional<std::string>& text) {
  return text ? py::object(to_text(*text)) : py::object(py::none());
}

py::list text_list(const std::vector<std::string>& texts) {
  py::list out;
  for (const std::string& t : texts) out.append(to_text(t));
  return out;
}

py::dict waypoint_object(const planning::ApiWaypoint& w) {
  py::dict out;
  out["name"] = to_text(w.name);
  out["lat"] = w.lat;
  out["lon"] = w.lon;
  out["airway"] = optional_text(w.airway);
  out["seqno"] = optional_text(w.seqno);
  out["direction_restriction"] = optional_text(w.direction_restriction);
  return out;
}

py::dict leg_object(const planning::ApiLeg& leg) {
  py::dict out;
  out["from"] = to_text(leg.from);
  out["to"] = to_text(leg.to);
  out["airway"] = optional_text(leg.airway);
  out["course"] = leg.course_deg;
  out["distance_nm"] = leg.distance_nm;
  return out;
}

py::object runways_object(const std::optional<planning::PlanRunways>& runways) {
  if (!runways) return py::none();
  py::dict out;
  out["departure"] = to_text(runways->departure);
  out["arrival"] = to_text(runways->arrival);
  out["departure_ranked"] = text_list(runways->departure_ranked);
  out["arrival_ranked"] = text_list(runways->arrival_ranked);
  out["departure_wind"] = to_text(runways->departure_wind);
  out["arrival_wind"] = to_text(runways->arrival_wind);
  return out;
}

void add_extension(py::dict& out, const planning::RecordExtension& extension) {
  out["flown_distance_km"] = extension.flown_distance_km;
  out["flown_distance_nm"] = extension.flown_distance_nm;
  py::list legs;
  for (const planning::ApiLeg& leg : extension.legs) legs.append(leg_object(leg));
  out["legs"] = legs;
  out["runways"] = runways_object(extension.runways);
}

// --- host record to native ---------------------------------------------------

[[noreturn]] void wrong_kind(const std::string& field, const char* expected, py::handle value) {
  PyErr_Format(PyExc_TypeError, "record %s must be %s, not %s", field.c_str(), expected,
               Py_TYPE(value.ptr())->tp_name);
  throw py::error_already_set();
}

bool is_mapping(py::handle value) {
  return PyMapping_Check(value.ptr()) && py::hasattr(value, "get") &&
         !PyUnicode_Check(value.ptr()) && !PySequence_Check(value.ptr());
}

py::object required(py::handle mapping, const char* key, const std::string& where) {
  py::object value = mapping.attr("get")(key);
  if (value.is_none() && !mapping.contains(key))
    throw py::value_error("record " + (where.empty() ? "" : where + " ") + "has no '" + key + "'");
  return value;
}

std::string text_of(py::handle value, const std::string& field) {
  if (!PyUnicode_Check(value.ptr())) wrong_kind(field, "text", value);
  return from_text(value, field.c_str());
}

std::optional<std::string> optional_text_of(py::handle value, const std::string& field) {
  if (value.is_none()) return std::nullopt;
  return text_of(value, field);
}

// Runways pass through from host attributes with any kind; None reads as "N/A".
std::string runway_of(py::handle mapping, const char* key) {
  py::object value = mapping.attr("get")(key);
  if (value.is_none()) return planning::kNotAvailable;
  return str_text(value);
}

double coordinate_of(py::handle value, const std::string& field) {
  return to_real(value, ("record " + field).c_str());
}

planning::ApiWaypoint waypoint_input(py::handle entry, const std::string& field) {
  if (!is_mapping(entry)) wrong_kind(field, "a mapping", entry);
  planning::ApiWaypoint w;
  w.name = text_of(required(entry, "name", field), field + "['name']");
  w.lat = coordinate_of(required(entry, "lat", field), field + "['lat']");
  w.lon = coordinate_of(required(entry, "lon", field), field + "['lon']");
  w.airway = optional_text_of(entry.attr("get")("airway"), field + "['airway']");
  return w;
}

std::vector<planning::ApiWaypoint> waypoints_input(py::handle record) {
  py::object list = required(record, "detailed_waypoints", "");
  if (PyUnicode_Check(list.ptr()) || !PySequence_Check(list.ptr()))
    wrong_kind("'detailed_waypoints'", "a list", list);
  std::vector<planning::ApiWaypoint> out;
  std::size_t i = 0;
  for (py::handle entry : list)
    out.push_back(waypoint_input(entry, "detailed_waypoints[" + std::to_string(i++) + "]"));
  return out;
}

planning::ApiProcedures procedures_input(py::handle record) {
  py::object p = required(record, "procedures", "");
  if (!is_mapping(p)) wrong_kind("'procedures'", "a mapping", p);
  planning::ApiProcedures out;
  out.sid = text_of(required(p, "sid", "'procedures'"), "procedures['sid']");
  out.star = text_of(required(p, "star", "'procedures'"), "procedures['star']");
  out.iap = text_of(required(p, "iap", "'procedures'"), "procedures['iap']");
  out.iap_trans = optional_text_of(p.attr("get")("iap_trans"), "procedures['iap_trans']");
  return out;
}

// The runways flown, as records from plan generation carry them.
std::optional<planning::PlanRunways> runways_input(py::handle record) {
  py::object runways = record.attr("get")("runways");
  if (runways.is_none()) return std::nullopt;
  if (!is_mapping(runways)) wrong_kind("'runways'", "a mapping or None", runways);
  planning::PlanRunways out;
  out.departure = runway_of(runways, "departure");
  out.arrival = runway_of(runways, "arrival");
  return out;
}

}  // namespace

py::dict record_object(const planning::ApiRecord& record, const RunwayValues& runways) {
  py::dict out;
  out["success"] = record.success;
  out["message"] = to_text(record.message);
  out["origin"] = to_text(record.origin);
  out["destination"] = to_text(record.destination);
  out["dep_runway"] = runways.departure ? runways.departure : to_text(record.dep_runway);
  out["arr_runway"] = runways.arrival ? runways.arrival : to_text(record.arr_runway);
  out["distance_km"] = record.distance_km;
  out["route_string"] = to_text(record.route_string);
  py::list waypoints;
  for (const planning::ApiWaypoint& w : record.detailed_waypoints)
    waypoints.append(waypoint_object(w));
  out["detailed_waypoints"] = waypoints;
  py::dict procedures;
  procedures["sid"] = to_text(record.procedures.sid);
  procedures["star"] = to_text(record.procedures.star);
  procedures["iap"] = to_text(record.procedures.iap);
  procedures["iap_trans"] = optional_text(record.procedures.iap_trans);
  out["procedures"] = procedures;
  if (record.extension) add_extension(out, *record.extension);
  return out;
}

planning::ApiRecord record_input(py::handle record) {
  if (!is_mapping(record)) {
    PyErr_Format(PyExc_TypeError, "record must be a mapping, not %s",
                 Py_TYPE(record.ptr())->tp_name);
    throw py::error_already_set();
  }
  planning::ApiRecord out;
  out.origin = text_of(required(record, "origin", ""), "'origin'");
  out.destination = text_of(required(record, "destination", ""), "'destination'");
  out.dep_runway = runway_of(record, "dep_runway");
  out.arr_runway = runway_of(record, "arr_runway");
  py::object route = record.attr("get")("route_string", py::str(""));
  out.route_string = text_of(route, "'route_string'");
  out.detailed_waypoints = waypoints_input(record);
  out.procedures = procedures_input(record);
  if (auto runways = runways_input(record)) {
    out.extension.emplace();
    out.extension->runways = std::move(runways);
  }
  return out;
}

void raise_format_error(const planning::FormatError& error) {
  using Kind = planning::FormatError::Kind;
  PyObject* type = PyExc_RuntimeError;
  switch (error.kind()) {
    case Kind::kType:
      type = PyExc_TypeError;
      break;
    case Kind::kValue:
      type = PyExc_ValueError;
      break;
    case Kind::kOverflow:
      type = PyExc_OverflowError;
      break;
    case Kind::kRuntime:
      break;
  }
  PyErr_SetString(type, error.what());
  throw py::error_already_set();
}

}  // namespace core_calc::module
