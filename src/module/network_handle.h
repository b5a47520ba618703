// Host-side handle of a native RouteNetwork and the conversions between host node
// keys and native node ids. The handle shares its network copy-on-write: searches
// take a snapshot and run on it without the GIL, and a host edit made while a
// snapshot is out goes to a fresh copy, so a running search never sees it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "module/module_state.h"
#include "network/route_network.h"

namespace core_calc::module {

class NetworkHandle {
 public:
  NetworkHandle() : data_(std::make_shared<network::RouteNetwork>()) {}
  explicit NetworkHandle(std::shared_ptr<network::RouteNetwork> data) : data_(std::move(data)) {}

  std::shared_ptr<const network::RouteNetwork> snapshot() const { return data_; }
  const network::RouteNetwork& view() const { return *data_; }
  network::RouteNetwork& mutate();

 private:
  std::shared_ptr<network::RouteNetwork> data_;
};

struct ParsedKey {
  std::string name;
  double lat;
  double lon;
};

// A node key is a tuple (text, real, real); anything else is not one.
std::optional<ParsedKey> parse_node_key(py::handle key);
network::NodeId find_node(const network::RouteNetwork& net, py::handle key);
network::NodeId intern_node(network::RouteNetwork& net, py::handle key, const char* what);
py::tuple node_key_object(const network::RouteNetwork& net, network::NodeId node);

network::NameId intern_route(network::RouteNetwork& net, py::handle route_id);
py::object route_object(const network::RouteNetwork& net, network::NameId route);

// The network in GLOBAL_NETWORK: null when it holds None, a TypeError when it holds
// anything but a RouteNetwork. The returned handle stays valid while `holder` lives.
NetworkHandle* global_network(py::object& holder);

}  // namespace core_calc::module
