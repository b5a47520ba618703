#include "network/network_builder.h"

#include <limits>

#include "common/parallel.h"
#include "geo/geodesy.h"
#include "network/reachability_impl.h"

namespace core_calc::network {
namespace {

// Between packing and measuring, a bulk edge's `to` carries its direction of measure.
constexpr NodeId kMeasureBackward = 0x80000000u;

double measured_length(const GraphNodes& nodes, NodeId from, NodeId to, bool backward) {
  const geo::GridPosition a = nodes.key_position(backward ? to : from);
  const geo::GridPosition b = nodes.key_position(backward ? from : to);
  return geo::haversine_km(a.lat, a.lon, b.lat, b.lon);
}

// Per-node edge lists packed in node order.
void pack_lists(std::size_t node_count, const std::vector<std::vector<Edge>>& lists,
                std::vector<std::uint32_t>& offsets, RawArray<Edge>& flat) {
  std::size_t total = 0;
  for (const auto& list : lists) total += list.size();
  offsets.assign(node_count + 1, 0);
  flat.resize(total);
  std::uint32_t at = 0;
  for (std::size_t n = 0; n < node_count; ++n) {
    if (n < lists.size())
      for (const Edge& e : lists[n]) flat[at++] = e;
    offsets[n + 1] = at;
  }
}

// Bulk edges packed in place: a counting sort by source straight into the final
// array, then each node's repeated pairs folded onto their first position with the
// last entry. Lengths are left to measure_and_orient(), and `to` keeps the direction
// of measure until then.
void pack_bulk(std::size_t node_count, RawArray<BulkEdge>& bulk,
               std::vector<std::uint32_t>& offsets, RawArray<Edge>& flat) {
  offsets.assign(node_count + 1, 0);
  for (const BulkEdge& e : bulk) ++offsets[e.from() + 1];
  for (std::size_t n = 0; n < node_count; ++n) offsets[n + 1] += offsets[n];
  flat.resize(bulk.size());
  // offsets[n] is node n's fill position, which ends where node n + 1 starts.
  for (const BulkEdge& e : bulk)
    flat[offsets[e.from()]++] = {e.to() | (e.measured_backward() ? kMeasureBackward : 0), e.route(),
                                 0.0};
  bulk.release();
  std::uint32_t begin = 0, kept = 0;
  for (std::size_t n = 0; n < node_count; ++n) {
    const std::uint32_t end = offsets[n];
    const std::uint32_t first = kept;
    for (std::uint32_t i = begin; i < end; ++i) {
      const Edge e = flat[i];
      std::uint32_t j = first;
      while (j < kept && ((flat[j].to ^ e.to) & ~kMeasureBackward) != 0) ++j;
      if (j < kept) {
        flat[j].to = e.to;
        flat[j].route = e.route;
      } else {
        flat[kept++] = e;
      }
    }
    offsets[n] = first;
    begin = end;
  }
  offsets[node_count] = kept;
  flat.resize(kept);
  flat.shrink_to_fit();
}

// Lengths of freshly packed bulk edges (with `measure`) and the initial bearing of
// every edge, NaN where an end has no coordinates. Large networks split the
// trigonometry over a second thread.
void measure_and_orient(const GraphNodes& nodes, const std::vector<std::uint32_t>& offsets,
                        RawArray<Edge>& flat, RawArray<double>& bearings, bool measure) {
  bearings.resize(flat.size());
  auto fill = [&](std::size_t first, std::size_t last) {
    for (std::size_t n = first; n < last; ++n) {
      const auto from = static_cast<NodeId>(n);
      const bool from_coord = nodes.has_coord(from);
      const geo::GridPosition a = from_coord ? nodes.coord(from) : geo::GridPosition{};
      for (std::uint32_t i = offsets[n]; i < offsets[n + 1]; ++i) {
        Edge& e = flat[i];
        if (measure) {
          const bool backward = e.to & kMeasureBackward;
          e.to &= ~kMeasureBackward;
          e.dist_km = measured_length(nodes, from, e.to, backward);
        }
        if (from_coord && nodes.has_coord(e.to)) {
          const geo::GridPosition b = nodes.coord(e.to);
          bearings[i] = geo::bearing_deg(a.lat, a.lon, b.lat, b.lon);
        } else {
          bearings[i] = std::numeric_limits<double>::quiet_NaN();
        }
      }
    }
  };
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
  RawArray<BulkEdge> pending;
  pending.swap(pending_);
  for (const BulkEdge& e : pending)
    set_edge(e.from(), e.to(), measured_length(nodes_, e.from(), e.to(), e.measured_backward()),
             e.route());
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

void NetworkBuilder::adopt_edges(RawArray<BulkEdge>&& edges, const std::vector<NodeId>& sources) {
  apply_pending();
  for (NodeId from : sources) nodes_.mark_source(from);
  pending_ = std::move(edges);
}

std::shared_ptr<const RouteNetwork> NetworkBuilder::freeze() const& {
  return NetworkBuilder(*this).freeze();
}

std::shared_ptr<const RouteNetwork> NetworkBuilder::freeze() && {
  // Bulk edges after hand edits are rare: they take the edit path.
  for (const auto& list : lists_)
    if (!list.empty()) {
      apply_pending();
      break;
    }
  const bool bulk = !pending_.empty();
  // RouteNetwork's constructor is private to this class, hence no make_shared.
  std::shared_ptr<RouteNetwork> net(new RouteNetwork());
  run_side_by_side(
      [&] {
        if (bulk) {
          pack_bulk(nodes_.size(), pending_, net->offsets_, net->flat_);
        } else {
          pack_lists(nodes_.size(), lists_, net->offsets_, net->flat_);
        }
      },
      [&] { nodes_.grid.pack(); });
  decltype(lists_)().swap(lists_);
  net->nodes_ = std::move(nodes_);
  net->nodes_.shrink_to_fit();
  measure_and_orient(net->nodes_, net->offsets_, net->flat_, net->bearings_, bulk);
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
