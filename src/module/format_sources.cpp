#include "module/format_sources.h"

#include "common/number_text.h"
#include "module/airway_meta_handle.h"
#include "planning/api_format_sources.h"

namespace core_calc::module {
namespace {

// Sequence numbers in a host mapping may be integers, reals or text already.
std::optional<std::string> seqno_text(py::handle seq) {
  if (seq.is_none()) return std::nullopt;
  if (PyUnicode_Check(seq.ptr())) return from_text(seq, "seqno");
  if (PyFloat_Check(seq.ptr())) return float_text(PyFloat_AsDouble(seq.ptr()));
  return str_text(seq);
}

std::optional<std::string> restriction_text(py::handle restriction) {
  if (restriction.is_none()) return std::nullopt;
  return from_text(restriction, "AIRWAY_META direction_restriction");
}

// Host runway values go to the record unchanged (see departure_value()); the text
// is only for native readers, and no host code runs to make it.
std::string runway_text(py::handle value) {
  return PyUnicode_Check(value.ptr()) ? from_text(value, "runway") : std::string();
}

}  // namespace

planning::AirwayPointMeta HostFormatSources::airway_point(
    const std::optional<std::string>& route_id, const planning::PlanNode& node) {
  if (!meta_read_) {
    meta_table_ = attr("AIRWAY_META");
    native_meta_ = native_airway_meta(meta_table_);
    meta_read_ = true;
  }
  if (native_meta_) return planning::find_airway_point(*native_meta_, route_id, node);
  py::object route = route_id ? py::object(to_text(*route_id)) : py::object(py::none());
  py::object key = py::make_tuple(route, py::make_tuple(to_text(node.name), node.lat, node.lon));
  py::object meta = meta_table_.attr("get")(key);
  if (meta.is_none() || !truthy(meta)) return {};
  return {seqno_text(meta.attr("get")("seqno")),
          restriction_text(meta.attr("get")("direction_restriction"))};
}

// The coordinate map is asked for the fix as given; a host network may key its
// map by name, the module's own never does.
std::optional<planning::GeoPoint> HostFormatSources::network_position(const std::string& fix) {
  py::object network = attr("GLOBAL_NETWORK");
  if (network.is_none()) throw planning::no_network_error(fix);
  py::object coords = network.attr("coord_map");
  py::str key = to_text(fix);
  if (!coords.contains(key)) return std::nullopt;
  py::object position = coords[key];
  const bool pair = !PyUnicode_Check(position.ptr()) && PySequence_Check(position.ptr()) &&
                    PySequence_Size(position.ptr()) >= 2;
  if (!pair) {
    PyErr_Clear();
    throw py::value_error("a coord_map value needs latitude and longitude, got " +
                          str_text(py::repr(position)));
  }
  py::sequence p = py::reinterpret_borrow<py::sequence>(position);
  return planning::GeoPoint{to_real(p[0], "waypoint latitude"),
                            to_real(p[1], "waypoint longitude")};
}

std::string HostFormatSources::departure_runway() {
  departure_ = attr("recommendeddep");
  return runway_text(departure_);
}

std::string HostFormatSources::arrival_runway() {
  arrival_ = attr("recommendedarr");
  return runway_text(arrival_);
}

}  // namespace core_calc::module
