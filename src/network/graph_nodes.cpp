#include "network/graph_nodes.h"

#include <stdexcept>

namespace core_calc::network {

NodeId GraphNodes::intern(const NodeKey& key) {
  const std::uint64_t h = node_key_hash(key);
  const NodeId found = index_.find(h, [&](NodeId id) { return nodes_[id].key == key; });
  if (found != kNoNode) return found;
  if (nodes_.size() >= kNoNode - 1) throw std::length_error("too many network nodes");
  const auto id = static_cast<NodeId>(nodes_.size());
  nodes_.push_back(Node{key});
  index_.insert(h, id, [this](NodeId other) { return node_key_hash(nodes_[other].key); });
  return id;
}

void GraphNodes::reserve(std::size_t count) {
  if (nodes_.empty()) index_.reserve_for(count);
}

NodeId GraphNodes::find(const NodeKey& key) const {
  return index_.find(node_key_hash(key), [&](NodeId id) { return nodes_[id].key == key; });
}

NodeId GraphNodes::find(std::string_view name, double lat, double lon) const {
  const NameId name_id = names.find(name);
  if (name_id == kNoName) return kNoNode;
  return find(NodeKey{name_id, lat, lon});
}

void GraphNodes::set_coord(NodeId node, double lat, double lon) {
  Node& n = nodes_[node];
  if (!n.has_coord) coord_order_.push_back(node);
  n.has_coord = true;
  n.lat = lat;
  n.lon = lon;
}

void GraphNodes::mark_source(NodeId node) {
  Node& n = nodes_[node];
  if (!n.has_adjacency) {
    n.has_adjacency = true;
    graph_order_.push_back(node);
  }
}

bool GraphNodes::key_less(NodeId a, NodeId b) const {
  const NodeKey& ka = nodes_[a].key;
  const NodeKey& kb = nodes_[b].key;
  if (ka.name != kb.name) return names.text(ka.name) < names.text(kb.name);
  if (ka.lat != kb.lat) return ka.lat < kb.lat;
  return ka.lon < kb.lon;
}

void GraphNodes::shrink_to_fit() {
  names.shrink_to_fit();
  nodes_.shrink_to_fit();
  graph_order_.shrink_to_fit();
  coord_order_.shrink_to_fit();
}

std::size_t GraphNodes::memory_bytes() const {
  return names.memory_bytes() + grid.memory_bytes() + index_.memory_bytes() +
         nodes_.capacity() * sizeof(Node) +
         (graph_order_.capacity() + coord_order_.capacity()) * sizeof(NodeId);
}

}  // namespace core_calc::network
