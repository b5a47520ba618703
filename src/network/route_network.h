// The airway graph: interned node keys, a coordinate per node, directed edges in
// insertion order per node, and the grid index of airway points. One instance is
// immutable once published to searches; hosts that edit a network work on a copy
// (see the module's copy-on-write handle).
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/flat_index.h"
#include "geo/spatial_grid.h"
#include "network/name_table.h"
#include "network/node_key.h"
#include "network/reachability.h"

namespace core_calc::network {

struct Edge {
  NodeId to;
  NameId route;  // kNoName for a null route id
  double dist_km;
};

// An edge recorded by a bulk load before the adjacency is packed.
struct BulkEdge {
  NodeId from;
  Edge edge;
};

struct Node {
  NodeKey key;
  double lat = 0.0;  // coordinate map entry, valid when has_coord
  double lon = 0.0;
  bool has_coord = false;
  bool has_adjacency = false;  // the node is a key of the graph
};

class RouteNetwork {
 public:
  NameTable names;
  geo::SpatialGrid grid;

  NodeId intern_node(const NodeKey& key);
  void reserve_nodes(std::size_t count);  // sizes the key index ahead of a bulk load
  // Bulk loads announce keys a few rows ahead so the index lookup finds them cached.
  void prefetch_node(const NodeKey& key) const { index_.prefetch(node_key_hash(key)); }
  NodeId find_node(const NodeKey& key) const;  // kNoNode when absent
  NodeId find_node(std::string_view name, double lat, double lon) const;

  // Writes the coordinate map entry; the first write fixes the node's position in order.
  void set_coord(NodeId node, double lat, double lon);
  // Writes graph[from][to]; an existing pair keeps its position and takes the new entry.
  void set_edge(NodeId from, NodeId to, double dist_km, NameId route);
  // Loading path: starts a bulk load into an empty network; nodes are then interned
  // without per-node lists, and the edges arrive in one piece through adopt_edges.
  void begin_bulk_load();
  // Takes the edges of a bulk load in insertion order, and the nodes that have outgoing
  // edges in the order of their first one; freeze() then resolves repeated pairs
  // exactly as set_edge would have.
  void adopt_edges(std::vector<BulkEdge>&& edges, const std::vector<NodeId>& sources);
  // Creates graph[from] as an empty adjacency when absent.
  void ensure_adjacency(NodeId from);
  // Packs the adjacency lists into flat arrays once loading is done; a later edit
  // unpacks them again.
  void freeze();

  const Node& node(NodeId id) const { return nodes_[id]; }
  std::size_t node_count() const { return nodes_.size(); }
  std::span<const Edge> edges(NodeId id) const {
    if (frozen_) return {flat_.data() + offsets_[id], flat_.data() + offsets_[id + 1]};
    return lists_[id];
  }
  const Edge* find_edge(NodeId from, NodeId to) const;
  // True only when the frozen graph has no route from `from` to `to` at all: a search
  // between them would visit everything reachable and fail. False when unknown.
  bool certainly_unreachable(NodeId from, NodeId to) const {
    return reach_.certainly_unreachable(from, to);
  }
  // Initial bearing of each edge of edges(id), in the same order. Computed once when
  // the network is frozen, so searches need not; empty while the network is editable
  // or once a coordinate changed.
  std::span<const double> edge_bearings(NodeId id) const {
    if (bearings_.empty()) return {};
    return {bearings_.data() + offsets_[id], bearings_.data() + offsets_[id + 1]};
  }
  const std::vector<NodeId>& graph_order() const { return graph_order_; }
  const std::vector<NodeId>& coord_order() const { return coord_order_; }
  std::size_t edge_count() const { return edge_count_; }

  // Key order used to break ties: name by code point, then latitude, then longitude.
  bool key_less(NodeId a, NodeId b) const;

  std::size_t memory_bytes() const;

 private:
  void thaw();
  void compute_bearings();

  std::vector<Node> nodes_;
  FlatIndex index_;
  bool frozen_ = false;
  std::vector<std::vector<Edge>> lists_;  // adjacency while editable
  std::vector<std::uint32_t> offsets_;  // adjacency when frozen: flat_[offsets_[n]..offsets_[n+1])
  std::vector<Edge> flat_;
  std::vector<double> bearings_;  // parallel to flat_, see edge_bearings()
  Reachability reach_;            // of the frozen graph, dropped by any edit
  using PendingEdge = BulkEdge;
  std::vector<PendingEdge> pending_;  // adopted from a bulk load, packed by freeze()
  bool bulk_ = false;
  std::vector<NodeId> graph_order_;
  std::vector<NodeId> coord_order_;
  std::size_t edge_count_ = 0;
};

}  // namespace core_calc::network
