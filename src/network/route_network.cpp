#include "network/route_network.h"

#include <stdexcept>

namespace core_calc::network {

NodeId RouteNetwork::intern_node(const NodeKey& key) {
  if (auto it = index_.find(key); it != index_.end()) return it->second;
  if (nodes_.size() >= kNoNode) throw std::length_error("too many network nodes");
  const auto id = static_cast<NodeId>(nodes_.size());
  nodes_.push_back(Node{key});
  out_.emplace_back();
  index_.emplace(key, id);
  return id;
}

NodeId RouteNetwork::find_node(const NodeKey& key) const {
  auto it = index_.find(key);
  return it == index_.end() ? kNoNode : it->second;
}

NodeId RouteNetwork::find_node(std::string_view name, double lat, double lon) const {
  const NameId name_id = names.find(name);
  if (name_id == kNoName) return kNoNode;
  return find_node(NodeKey{name_id, lat, lon});
}

void RouteNetwork::set_coord(NodeId node, double lat, double lon) {
  Node& n = nodes_[node];
  if (!n.has_coord) coord_order_.push_back(node);
  n.has_coord = true;
  n.lat = lat;
  n.lon = lon;
}

void RouteNetwork::ensure_adjacency(NodeId from) {
  Node& n = nodes_[from];
  if (!n.has_adjacency) {
    n.has_adjacency = true;
    graph_order_.push_back(from);
  }
}

void RouteNetwork::set_edge(NodeId from, NodeId to, double dist_km, NameId route) {
  ensure_adjacency(from);
  for (Edge& e : out_[from]) {
    if (e.to == to) {
      e.dist_km = dist_km;
      e.route = route;
      return;
    }
  }
  out_[from].push_back({to, route, dist_km});
  ++edge_count_;
}

const Edge* RouteNetwork::find_edge(NodeId from, NodeId to) const {
  for (const Edge& e : out_[from])
    if (e.to == to) return &e;
  return nullptr;
}

void RouteNetwork::shrink_to_fit() {
  for (auto& list : out_) list.shrink_to_fit();
  nodes_.shrink_to_fit();
  out_.shrink_to_fit();
  graph_order_.shrink_to_fit();
  coord_order_.shrink_to_fit();
}

bool RouteNetwork::key_less(NodeId a, NodeId b) const {
  const NodeKey& ka = nodes_[a].key;
  const NodeKey& kb = nodes_[b].key;
  if (ka.name != kb.name) return names.text(ka.name) < names.text(kb.name);
  if (ka.lat != kb.lat) return ka.lat < kb.lat;
  return ka.lon < kb.lon;
}

std::size_t RouteNetwork::memory_bytes() const {
  std::size_t bytes = names.memory_bytes() + grid.memory_bytes();
  bytes += nodes_.capacity() * sizeof(Node) + out_.capacity() * sizeof(std::vector<Edge>);
  for (const auto& list : out_) bytes += list.capacity() * sizeof(Edge) + (list.empty() ? 0 : 16);
  bytes += index_.size() * (sizeof(NodeKey) + sizeof(NodeId) + 24) + index_.bucket_count() * 8;
  bytes += (graph_order_.capacity() + coord_order_.capacity()) * sizeof(NodeId);
  return bytes;
}

}  // namespace core_calc::network
