#include "network/route_network.h"

#include <limits>
#include <stdexcept>
#include <thread>

#include "geo/geodesy.h"
#include "network/reachability_impl.h"

namespace core_calc::network {

NodeId RouteNetwork::intern_node(const NodeKey& key) {
  const std::uint64_t h = node_key_hash(key);
  const NodeId found = index_.find(h, [&](NodeId id) { return nodes_[id].key == key; });
  if (found != kNoNode) return found;
  if (nodes_.size() >= kNoNode - 1) throw std::length_error("too many network nodes");
  const auto id = static_cast<NodeId>(nodes_.size());
  nodes_.push_back(Node{key});
  if (frozen_) {
    offsets_.push_back(offsets_.back());
  } else if (!bulk_) {
    lists_.emplace_back();
  }
  index_.insert(h, id, [this](NodeId other) { return node_key_hash(nodes_[other].key); });
  return id;
}

void RouteNetwork::reserve_nodes(std::size_t count) {
  if (nodes_.empty()) index_.reserve_for(count);
}

NodeId RouteNetwork::find_node(const NodeKey& key) const {
  return index_.find(node_key_hash(key), [&](NodeId id) { return nodes_[id].key == key; });
}

NodeId RouteNetwork::find_node(std::string_view name, double lat, double lon) const {
  const NameId name_id = names.find(name);
  if (name_id == kNoName) return kNoNode;
  return find_node(NodeKey{name_id, lat, lon});
}

void RouteNetwork::set_coord(NodeId node, double lat, double lon) {
  decltype(bearings_)().swap(bearings_);
  reach_ = Reachability();
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

void RouteNetwork::begin_bulk_load() {
  if (nodes_.empty()) bulk_ = true;
}

void RouteNetwork::adopt_edges(std::vector<BulkEdge>&& edges, const std::vector<NodeId>& sources) {
  for (NodeId from : sources) ensure_adjacency(from);
  pending_ = std::move(edges);
  bulk_ = false;
}

void RouteNetwork::set_edge(NodeId from, NodeId to, double dist_km, NameId route) {
  if (frozen_ || bulk_ || !pending_.empty()) thaw();
  ensure_adjacency(from);
  for (Edge& e : lists_[from]) {
    if (e.to == to) {
      e.dist_km = dist_km;
      e.route = route;
      return;
    }
  }
  lists_[from].push_back({to, route, dist_km});
  ++edge_count_;
}

const Edge* RouteNetwork::find_edge(NodeId from, NodeId to) const {
  for (const Edge& e : edges(from))
    if (e.to == to) return &e;
  return nullptr;
}

void RouteNetwork::freeze() {
  bulk_ = false;
  if (frozen_ && pending_.empty()) return;
  if (frozen_) thaw();
  // Counting sort by source node; within a node, edges keep their insertion order.
  std::vector<std::uint32_t> counts(nodes_.size() + 1, 0);
  for (std::size_t n = 0; n < lists_.size(); ++n)
    counts[n + 1] += static_cast<std::uint32_t>(lists_[n].size());
  for (const PendingEdge& p : pending_) ++counts[p.from + 1];
  for (std::size_t n = 0; n < nodes_.size(); ++n) counts[n + 1] += counts[n];
  std::vector<Edge> packed(counts.back());
  std::vector<std::uint32_t> fill(counts.begin(), counts.end() - 1);
  for (std::size_t n = 0; n < lists_.size(); ++n)
    for (const Edge& e : lists_[n]) packed[fill[n]++] = e;
  for (const PendingEdge& p : pending_) packed[fill[p.from]++] = p.edge;
  decltype(lists_)().swap(lists_);
  decltype(pending_)().swap(pending_);
  // A repeated (from, to) pair keeps its first position and takes the last entry.
  offsets_.assign(nodes_.size() + 1, 0);
  flat_.clear();
  flat_.reserve(packed.size());
  for (std::size_t n = 0; n < nodes_.size(); ++n) {
    const std::size_t begin = flat_.size();
    for (std::uint32_t i = counts[n]; i < counts[n + 1]; ++i) {
      const Edge& e = packed[i];
      bool replaced = false;
      for (std::size_t j = begin; j < flat_.size(); ++j) {
        if (flat_[j].to == e.to) {
          flat_[j].dist_km = e.dist_km;
          flat_[j].route = e.route;
          replaced = true;
          break;
        }
      }
      if (!replaced) flat_.push_back(e);
    }
    offsets_[n + 1] = static_cast<std::uint32_t>(flat_.size());
  }
  flat_.shrink_to_fit();
  edge_count_ = flat_.size();
  compute_bearings();
  reach_ = Reachability::compute(nodes_.size(), [this](NodeId n) {
    return std::span<const Edge>(flat_.data() + offsets_[n], flat_.data() + offsets_[n + 1]);
  });
  names.shrink_to_fit();
  nodes_.shrink_to_fit();
  graph_order_.shrink_to_fit();
  coord_order_.shrink_to_fit();
  frozen_ = true;
}

void RouteNetwork::compute_bearings() {
  bearings_.assign(flat_.size(), std::numeric_limits<double>::quiet_NaN());
  auto fill = [this](std::size_t first, std::size_t last) {
    for (std::size_t n = first; n < last; ++n) {
      const Node& from = nodes_[n];
      if (!from.has_coord) continue;
      for (std::uint32_t i = offsets_[n]; i < offsets_[n + 1]; ++i) {
        const Node& to = nodes_[flat_[i].to];
        if (to.has_coord) bearings_[i] = geo::bearing_deg(from.lat, from.lon, to.lat, to.lon);
      }
    }
  };
  // Large networks split the trigonometry over a second thread.
  constexpr std::size_t kParallelFrom = 50000;
  if (nodes_.size() < kParallelFrom || std::thread::hardware_concurrency() < 2) {
    fill(0, nodes_.size());
    return;
  }
  const std::size_t half = nodes_.size() / 2;
  try {
    std::jthread helper(fill, half, nodes_.size());
    fill(0, half);
  } catch (const std::system_error&) {
    fill(half, nodes_.size());  // no second thread to be had
    fill(0, half);
  }
}

void RouteNetwork::thaw() {
  decltype(bearings_)().swap(bearings_);
  reach_ = Reachability();
  bulk_ = false;
  if (frozen_) {
    lists_.assign(nodes_.size(), {});
    for (std::size_t n = 0; n < nodes_.size(); ++n)
      lists_[n].assign(flat_.begin() + offsets_[n], flat_.begin() + offsets_[n + 1]);
    decltype(flat_)().swap(flat_);
    decltype(offsets_)().swap(offsets_);
    frozen_ = false;
  }
  lists_.resize(nodes_.size());
  if (!pending_.empty()) {
    std::vector<PendingEdge> pending;
    pending.swap(pending_);
    for (const PendingEdge& p : pending) set_edge(p.from, p.edge.to, p.edge.dist_km, p.edge.route);
  }
}

bool RouteNetwork::key_less(NodeId a, NodeId b) const {
  const NodeKey& ka = nodes_[a].key;
  const NodeKey& kb = nodes_[b].key;
  if (ka.name != kb.name) return names.text(ka.name) < names.text(kb.name);
  if (ka.lat != kb.lat) return ka.lat < kb.lat;
  return ka.lon < kb.lon;
}

std::size_t RouteNetwork::memory_bytes() const {
  std::size_t bytes = names.memory_bytes() + grid.memory_bytes() + index_.memory_bytes();
  bytes += nodes_.capacity() * sizeof(Node);
  bytes += lists_.capacity() * sizeof(std::vector<Edge>);
  for (const auto& list : lists_) bytes += list.capacity() * sizeof(Edge) + (list.empty() ? 0 : 16);
  bytes += offsets_.capacity() * sizeof(std::uint32_t) + flat_.capacity() * sizeof(Edge);
  bytes += bearings_.capacity() * sizeof(double) + reach_.memory_bytes();
  bytes += (graph_order_.capacity() + coord_order_.capacity()) * sizeof(NodeId);
  return bytes;
}

}  // namespace core_calc::network
