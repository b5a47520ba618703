#include "module/network_handle.h"

namespace core_calc::module {

using network::kNoName;
using network::kNoNode;

network::RouteNetwork& NetworkHandle::mutate() {
  if (data_.use_count() > 1) data_ = std::make_shared<network::RouteNetwork>(*data_);
  return *data_;
}

std::optional<ParsedKey> parse_node_key(py::handle key) {
  if (!PyTuple_Check(key.ptr()) || PyTuple_GET_SIZE(key.ptr()) != 3) return std::nullopt;
  PyObject* name = PyTuple_GET_ITEM(key.ptr(), 0);
  PyObject* lat = PyTuple_GET_ITEM(key.ptr(), 1);
  PyObject* lon = PyTuple_GET_ITEM(key.ptr(), 2);
  if (!PyUnicode_Check(name) || !is_real(lat) || !is_real(lon)) return std::nullopt;
  ParsedKey parsed{from_text(name, "node name"), PyFloat_AsDouble(lat), PyFloat_AsDouble(lon)};
  if (PyErr_Occurred()) {
    PyErr_Clear();
    return std::nullopt;
  }
  return parsed;
}

network::NodeId find_node(const network::RouteNetwork& net, py::handle key) {
  auto parsed = parse_node_key(key);
  if (!parsed) return kNoNode;
  return net.find_node(parsed->name, parsed->lat, parsed->lon);
}

network::NodeId intern_node(network::RouteNetwork& net, py::handle key, const char* what) {
  auto parsed = parse_node_key(key);
  if (!parsed) {
    PyErr_Format(PyExc_TypeError, "%s must be a node key (name, latitude, longitude), not %R", what,
                 key.ptr());
    throw py::error_already_set();
  }
  const network::NameId name = net.names.intern(parsed->name);
  return net.intern_node({name, parsed->lat, parsed->lon});
}

py::tuple node_key_object(const network::RouteNetwork& net, network::NodeId node) {
  const network::NodeKey& key = net.node(node).key;
  return py::make_tuple(to_text(net.names.text(key.name)), key.lat, key.lon);
}

network::NameId intern_route(network::RouteNetwork& net, py::handle route_id) {
  if (route_id.is_none()) return kNoName;
  return net.names.intern(from_text(route_id, "route_id"));
}

py::object route_object(const network::RouteNetwork& net, network::NameId route) {
  if (route == kNoName) return py::none();
  return to_text(net.names.text(route));
}

NetworkHandle* global_network(py::object& holder) {
  holder = attr("GLOBAL_NETWORK");
  if (holder.is_none()) return nullptr;
  if (!py::isinstance<NetworkHandle>(holder)) {
    PyErr_Format(PyExc_TypeError, "GLOBAL_NETWORK must be a RouteNetwork or None, not %s",
                 Py_TYPE(holder.ptr())->tp_name);
    throw py::error_already_set();
  }
  return &holder.cast<NetworkHandle&>();
}

}  // namespace core_calc::module
