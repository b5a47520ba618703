#include "network/graph_nodes.h"

#include <cstring>
#include <numeric>
#include <stdexcept>

namespace core_calc::network {
namespace {

bool same_bits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

NodeId GraphNodes::intern(const NodeKey& key) {
  const std::uint64_t h = node_key_hash(key);
  const NodeId found = index_.find(h, [&](NodeId id) { return nodes_[id].key() == key; });
  if (found != kNoNode) return found;
  if (nodes_.size() >= kMaxNodes) throw std::length_error("too many network nodes");
  const auto id = static_cast<NodeId>(nodes_.size());
  nodes_.push_back(Node{key.lat, key.lon, key.name, 0});
  index_.insert(h, id, [this](NodeId other) { return node_key_hash(nodes_[other].key()); });
  return id;
}

NodeId GraphNodes::find(const NodeKey& key) const {
  return index_.find(node_key_hash(key), [&](NodeId id) { return nodes_[id].key() == key; });
}

NodeId GraphNodes::find(std::string_view name, double lat, double lon) const {
  const NameId name_id = names.find(name);
  if (name_id == kNoName) return kNoNode;
  return find(NodeKey{name_id, lat, lon});
}

void GraphNodes::set_coord(NodeId node, double lat, double lon) {
  Node& n = nodes_[node];
  if (!n.has_coord()) {
    if (coord_later_.empty() && node == coord_in_id_order_) {
      ++coord_in_id_order_;
    } else {
      coord_later_.push_back(node);
    }
    n.flags |= Node::kHasCoord;
  }
  // Bit for bit: an entry of -0.0 at a key of 0.0 is an entry of its own.
  if (same_bits(lat, n.lat) && same_bits(lon, n.lon)) {
    if (n.flags & Node::kCoordAside) coord_aside_.erase(node);
    n.flags &= ~Node::kCoordAside;
  } else {
    coord_aside_[node] = {lat, lon};
    n.flags |= Node::kCoordAside;
  }
}

void GraphNodes::mark_source(NodeId node) {
  Node& n = nodes_[node];
  if (!n.has_adjacency()) {
    n.flags |= Node::kHasAdjacency;
    graph_order_.push_back(node);
  }
}

void GraphNodes::file_in_grid(NodeId node, double lat, double lon, double grid_size) {
  const Node& n = nodes_[node];
  if (same_bits(lat, n.lat) && same_bits(lon, n.lon)) {
    grid.add_at_key(node, lat, lon, grid_size);
  } else {
    grid.add(node, lat, lon, grid_size);
  }
}

std::vector<NodeId> GraphNodes::coord_order() const {
  std::vector<NodeId> order(coord_in_id_order_);
  std::iota(order.begin(), order.end(), NodeId{0});
  order.insert(order.end(), coord_later_.begin(), coord_later_.end());
  return order;
}

bool GraphNodes::key_less(NodeId a, NodeId b) const {
  const Node& ka = nodes_[a];
  const Node& kb = nodes_[b];
  if (ka.name != kb.name) return names.text(ka.name) < names.text(kb.name);
  if (ka.lat != kb.lat) return ka.lat < kb.lat;
  return ka.lon < kb.lon;
}

void GraphNodes::shrink_to_fit() {
  names.shrink_to_fit();
  nodes_.shrink_to_fit();
  index_.compact();
  graph_order_.shrink_to_fit();
  coord_later_.shrink_to_fit();
}

std::size_t GraphNodes::memory_bytes() const {
  return names.memory_bytes() + grid.memory_bytes() + index_.memory_bytes() +
         nodes_.capacity() * sizeof(Node) +
         (graph_order_.capacity() + coord_later_.capacity()) * sizeof(NodeId) +
         coord_aside_.size() * (sizeof(NodeId) + sizeof(geo::GridPosition) + 2 * sizeof(void*));
}

}  // namespace core_calc::network
