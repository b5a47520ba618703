#include "network/network_builder.h"

#include <limits>

#include "common/parallel.h"
#include "geo/geodesy.h"
#include "network/reachability_impl.h"

namespace core_calc::network {
namespace {

// Edges packed per source node: counting sort by source, insertion order within a
// node, and a repeated (from, to) pair resolved to its first position and last entry.
void pack_edges(std::size_t node_count, const std::vector<std::vector<Edge>>& lists,
                const std::vector<BulkEdge>& pending, std::vector<std::uint32_t>& offsets,
                std::vector<Edge>& flat) {
  std::vector<std::uint32_t> counts(node_count + 1, 0);
  for (std::size_t n = 0; n < lists.size(); ++n)
    counts[n + 1] += static_cast<std::uint32_t>(lists[n].size());
  for (const BulkEdge& p : pending) ++counts[p.from + 1];
  for (std::size_t n = 0; n < node_count; ++n) counts[n + 1] += counts[n];
  std::vector<Edge> sorted(counts.back());
  std::vector<std::uint32_t> fill(counts.begin(), counts.end() - 1);
  for (std::size_t n = 0; n < lists.size(); ++n)
    for (const Edge& e : lists[n]) sorted[fill[n]++] = e;
  for (const BulkEdge& p : pending) sorted[fill[p.from]++] = p.edge;

  offsets.assign(node_count + 1, 0);
  flat.clear();
  flat.reserve(sorted.size());
  for (std::size_t n = 0; n < node_count; ++n) {
    const std::size_t begin = flat.size();
    for (std::uint32_t i = counts[n]; i < counts[n + 1]; ++i) {
      const Edge& e = sorted[i];
      bool replaced = false;
      for (std::size_t j = begin; j < flat.size() && !replaced; ++j) {
        if (flat[j].to != e.to) continue;
        flat[j].dist_km = e.dist_km;
        flat[j].route = e.route;
        replaced = true;
      }
      if (!replaced) flat.push_back(e);
    }
    offsets[n + 1] = static_cast<std::uint32_t>(flat.size());
  }
  flat.shrink_to_fit();
}

void compute_bearings(const GraphNodes& nodes, const std::vector<std::uint32_t>& offsets,
                      const std::vector<Edge>& flat, std::vector<double>& bearings) {
  bearings.assign(flat.size(), std::numeric_limits<double>::quiet_NaN());
  auto fill = [&](std::size_t first, std::size_t last) {
    for (std::size_t n = first; n < last; ++n) {
      const Node& from = nodes.node(static_cast<NodeId>(n));
      if (!from.has_coord) continue;
      for (std::uint32_t i = offsets[n]; i < offsets[n + 1]; ++i) {
        const Node& to = nodes.node(flat[i].to);
        if (to.has_coord) bearings[i] = geo::bearing_deg(from.lat, from.lon, to.lat, to.lon);
      }
    }
  };
  // Large networks split the trigonometry over a second thread.
  constexpr std::size_t kParallelFrom = 50000;
  if (nodes.size() < kParallelFrom) {
    fill(0, nodes.size());
    return;
  }
  const std::size_t half = nodes.size() / 2;
  run_side_by_side([&] { fill(0, half); }, [&] { fill(half, nodes.size()); });
}

}  // namespace

NetworkBuilder::NetworkBuilder(const RouteNetwork& network) : nodes_(network.nodes_) {
  lists_.resize(network.node_count());
  for (NodeId n = 0; n < network.node_count(); ++n) {
    const auto edges = network.edges(n);
    lists_[n].assign(edges.begin(), edges.end());
  }
}

NodeId NetworkBuilder::intern_node(const NodeKey& key) {
  return nodes_.intern(key);
}

void NetworkBuilder::apply_pending() {
  if (pending_.empty()) return;
  std::vector<BulkEdge> pending;
  pending.swap(pending_);
  for (const BulkEdge& p : pending) set_edge(p.from, p.edge.to, p.edge.dist_km, p.edge.route);
}

void NetworkBuilder::set_edge(NodeId from, NodeId to, double dist_km, NameId route) {
  apply_pending();
  nodes_.mark_source(from);
  if (lists_.size() <= from) lists_.resize(nodes_.size());
  for (Edge& e : lists_[from]) {
    if (e.to != to) continue;
    e.dist_km = dist_km;
    e.route = route;
    return;
  }
  lists_[from].push_back({to, route, dist_km});
}

void NetworkBuilder::adopt_edges(std::vector<BulkEdge>&& edges,
                                 const std::vector<NodeId>& sources) {
  apply_pending();
  for (NodeId from : sources) nodes_.mark_source(from);
  pending_ = std::move(edges);
}

std::shared_ptr<const RouteNetwork> NetworkBuilder::freeze() const& {
  return NetworkBuilder(*this).freeze();
}

std::shared_ptr<const RouteNetwork> NetworkBuilder::freeze() && {
  // RouteNetwork's constructor is private to this class, hence no make_shared.
  std::shared_ptr<RouteNetwork> net(new RouteNetwork());
  // A bulk load leaves the grid cells unordered; ordering them is independent of
  // packing the edges.
  run_side_by_side([&] { pack_edges(nodes_.size(), lists_, pending_, net->offsets_, net->flat_); },
                   [&] { nodes_.grid.sort_cells(); });
  decltype(lists_)().swap(lists_);
  decltype(pending_)().swap(pending_);
  net->nodes_ = std::move(nodes_);
  net->nodes_.shrink_to_fit();
  compute_bearings(net->nodes_, net->offsets_, net->flat_, net->bearings_);
  const RouteNetwork& frozen = *net;
  net->reach_ =
      Reachability::compute(frozen.node_count(), [&frozen](NodeId n) { return frozen.edges(n); });
  return net;
}

const Edge* RouteNetwork::find_edge(NodeId from, NodeId to) const {
  for (const Edge& e : edges(from))
    if (e.to == to) return &e;
  return nullptr;
}

std::size_t RouteNetwork::memory_bytes() const {
  return nodes_.memory_bytes() + offsets_.capacity() * sizeof(std::uint32_t) +
         flat_.capacity() * sizeof(Edge) + bearings_.capacity() * sizeof(double) +
         reach_.memory_bytes();
}

}  // namespace core_calc::network
