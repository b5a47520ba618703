#include "module/network_handle.h"

namespace core_calc::module {

using network::kNoName;
using network::kNoNode;

NetworkHandle::NetworkHandle() : frozen_(network::NetworkBuilder().freeze()) {}

std::shared_ptr<const network::RouteNetwork> NetworkHandle::snapshot() const {
  if (!frozen_) frozen_ = builder_->freeze();
  return frozen_;
}

network::NetworkBuilder& NetworkHandle::edit() {
  if (!builder_) builder_ = std::make_unique<network::NetworkBuilder>(*frozen_);
  frozen_.reset();
  return *builder_;
}

std::optional<ParsedKey> parse_node_key(py::handle key) {
  if (!PyTuple_Check(key.ptr()) || PyTuple_GET_SIZE(key.ptr()) != 3) return std::nullopt;
  // The tuple is immutable, but its elements' __float__ may run host code: hold them.
  py::object name = py::reinterpret_borrow<py::object>(PyTuple_GET_ITEM(key.ptr(), 0));
  py::object lat = py::reinterpret_borrow<py::object>(PyTuple_GET_ITEM(key.ptr(), 1));
  py::object lon = py::reinterpret_borrow<py::object>(PyTuple_GET_ITEM(key.ptr(), 2));
  if (!PyUnicode_Check(name.ptr()) || !is_real(lat) || !is_real(lon)) return std::nullopt;
  ParsedKey parsed{from_text(name, "node name"), PyFloat_AsDouble(lat.ptr()), 0.0};
  if (!PyErr_Occurred()) parsed.lon = PyFloat_AsDouble(lon.ptr());
  if (PyErr_Occurred()) {
    PyErr_Clear();
    return std::nullopt;
  }
  return parsed;
}

network::NodeId find_node(const network::RouteNetwork& net, const std::optional<ParsedKey>& key) {
  if (!key) return kNoNode;
  return net.find_node(key->name, key->lat, key->lon);
}

ParsedKey require_node_key(py::handle key, const char* what) {
  auto parsed = parse_node_key(key);
  if (!parsed) {
    PyErr_Format(PyExc_TypeError, "%s must be a node key (name, latitude, longitude), not %R", what,
                 key.ptr());
    throw py::error_already_set();
  }
  return std::move(*parsed);
}

network::NodeId intern_node(network::NetworkBuilder& net, const ParsedKey& key) {
  const network::NameId name = net.nodes().names.intern(key.name);
  return net.intern_node({name, key.lat, key.lon});
}

py::tuple node_key_object(const network::RouteNetwork& net, network::NodeId node) {
  const network::Node& key = net.node(node);
  return py::make_tuple(to_text(net.names().text(key.name)), key.lat, key.lon);
}

py::object route_object(const network::RouteNetwork& net, network::NameId route) {
  if (route == kNoName) return py::none();
  return to_text(net.names().text(route));
}

void raise_missing_coordinate(const network::RouteNetwork& net, network::NodeId node) {
  // The key is wrapped: a bare tuple would become the exception's argument list.
  PyErr_SetObject(PyExc_KeyError, py::make_tuple(node_key_object(net, node)).ptr());
  throw py::error_already_set();
}

std::shared_ptr<const network::RouteNetwork> global_network() {
  py::object holder = attr("GLOBAL_NETWORK");
  if (holder.is_none()) return nullptr;
  if (!py::isinstance<NetworkHandle>(holder)) {
    PyErr_Format(PyExc_TypeError, "GLOBAL_NETWORK must be a RouteNetwork or None, not %s",
                 Py_TYPE(holder.ptr())->tp_name);
    throw py::error_already_set();
  }
  return holder.cast<const NetworkHandle&>().snapshot();
}

}  // namespace core_calc::module
