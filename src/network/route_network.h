// The airway graph as searches read it: interned node keys, a coordinate per node,
// directed edges packed per node in insertion order with their initial bearings,
// the grid of airway points, and which nodes can reach which.
//
// Immutable: a NetworkBuilder produces it, and every search and view shares it
// read-only from any number of threads. Hosts that edit a network edit a builder
// and freeze a new one; a search keeps the network it started on.
#pragma once

#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "common/raw_array.h"
#include "network/graph_nodes.h"
#include "network/reachability.h"

namespace core_calc::network {

struct Edge {
  NodeId to;
  NameId route;  // kNoName for a null route id
  double dist_km;
};

class RouteNetwork {
 public:
  const NameTable& names() const { return nodes_.names; }
  geo::GridView grid() const { return nodes_.grid_view(); }

  NodeId find_node(const NodeKey& key) const { return nodes_.find(key); }
  NodeId find_node(std::string_view name, double lat, double lon) const {
    return nodes_.find(name, lat, lon);
  }
  const Node& node(NodeId id) const { return nodes_.node(id); }
  bool has_coord(NodeId id) const { return nodes_.has_coord(id); }
  geo::GridPosition coord(NodeId id) const { return nodes_.coord(id); }  // when has_coord
  std::size_t node_count() const { return nodes_.size(); }
  const GraphNodes& nodes() const { return nodes_; }

  std::span<const Edge> edges(NodeId id) const {
    return {flat_.data() + offsets_[id], flat_.data() + offsets_[id + 1]};
  }
  const Edge* find_edge(NodeId from, NodeId to) const;
  std::size_t edge_count() const { return flat_.size(); }

  // Initial bearing of each edge of edges(id), in the same order; NaN where an end
  // has no coordinates.
  std::span<const double> edge_bearings(NodeId id) const {
    return {bearings_.data() + offsets_[id], bearings_.data() + offsets_[id + 1]};
  }
  // True only when the graph has no route from `from` to `to` at all: a search
  // between them would visit everything reachable and fail.
  bool certainly_unreachable(NodeId from, NodeId to) const {
    return reach_.certainly_unreachable(from, to);
  }

  const std::vector<NodeId>& graph_order() const { return nodes_.graph_order(); }
  std::size_t coord_count() const { return nodes_.coord_count(); }
  std::vector<NodeId> coord_order() const { return nodes_.coord_order(); }
  bool key_less(NodeId a, NodeId b) const { return nodes_.key_less(a, b); }

  std::size_t memory_bytes() const;

 private:
  friend class NetworkBuilder;
  RouteNetwork() = default;

  GraphNodes nodes_;
  std::vector<std::uint32_t> offsets_{0};  // edges of n: flat_[offsets_[n]..offsets_[n + 1])
  RawArray<Edge> flat_;
  RawArray<double> bearings_;  // parallel to flat_
  Reachability reach_;
};

}  // namespace core_calc::network
