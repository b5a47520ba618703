// Host-side handle of a RouteNetwork and the conversions between host node keys
// and native node ids.
//
// A handle holds a frozen network, shared by every search and view that reads it,
// and, once the host edits it, a builder that takes the edits; the next reader
// freezes the builder into a new network. Readers take a snapshot (a shared
// owner) and keep it for the whole call, so host code that runs while they
// convert an argument can edit the network without pulling it from under them.
// Node ids never change for the life of a handle.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "module/module_state.h"
#include "network/network_builder.h"

namespace core_calc::module {

class NetworkHandle {
 public:
  NetworkHandle();
  explicit NetworkHandle(std::shared_ptr<const network::RouteNetwork> frozen)
      : frozen_(std::move(frozen)) {}

  // The network as it is now; call with the GIL held.
  std::shared_ptr<const network::RouteNetwork> snapshot() const;
  // The builder taking the host's edits; call with the GIL held.
  network::NetworkBuilder& edit();

 private:
  mutable std::shared_ptr<const network::RouteNetwork> frozen_;  // null while edits are pending
  std::unique_ptr<network::NetworkBuilder> builder_;             // present once edited
};

struct ParsedKey {
  std::string name;
  double lat;
  double lon;
};

// A node key is a tuple (text, real, real); anything else is not one. Converting
// the coordinates may run host code, so parse before taking a snapshot.
std::optional<ParsedKey> parse_node_key(py::handle key);
network::NodeId find_node(const network::RouteNetwork& net, const std::optional<ParsedKey>& key);
// A node key or a TypeError naming `what`.
ParsedKey require_node_key(py::handle key, const char* what);
network::NodeId intern_node(network::NetworkBuilder& net, const ParsedKey& key);
py::tuple node_key_object(const network::RouteNetwork& net, network::NodeId node);

py::object route_object(const network::RouteNetwork& net, network::NameId route);

// The coordinate map lookup's KeyError for a node without an entry.
[[noreturn]] void raise_missing_coordinate(const network::RouteNetwork& net, network::NodeId node);

// The network in GLOBAL_NETWORK: null when it holds None, a TypeError when it holds
// anything but a RouteNetwork.
std::shared_ptr<const network::RouteNetwork> global_network();

}  // namespace core_calc::module
