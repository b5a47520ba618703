// The node table shared by a network under construction and a frozen one: the
// interned texts, the nodes with their keys and coordinate map entries, the key
// index, the grid of airway points, and the orders in which nodes entered the
// graph and the coordinate map. Node ids are dense, below 2^31, and never change
// once given.
//
// A loaded network gives every node its key position as coordinate map entry, in
// id order, and files its grid points at key positions, so a node stores its key
// and flags only. Coordinate entries that differ from the key (hand-built
// networks) are kept aside, and the coordinate map's order is stored only where
// it departs from id order.
#pragma once

#include <cstddef>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/flat_index.h"
#include "common/raw_array.h"
#include "geo/spatial_grid.h"
#include "network/name_table.h"
#include "network/node_key.h"

namespace core_calc::network {

struct Node {
  static constexpr std::uint32_t kHasCoord = 1;    // the node is a key of the coordinate map
  static constexpr std::uint32_t kCoordAside = 2;  // ... with an entry other than its key position
  static constexpr std::uint32_t kHasAdjacency = 4;  // the node is a key of the graph

  double lat;  // key position
  double lon;
  NameId name;
  std::uint32_t flags;

  NodeKey key() const { return {name, lat, lon}; }
  bool has_coord() const { return flags & kHasCoord; }
  bool has_adjacency() const { return flags & kHasAdjacency; }
};

// The grid reads key positions straight from the node table.
static_assert(offsetof(Node, lat) == 0 && offsetof(Node, lon) == sizeof(double));

class GraphNodes {
 public:
  static constexpr std::size_t kMaxNodes = geo::SpatialGrid::kMaxId;

  NameTable names;
  geo::SpatialGrid grid;

  NodeId intern(const NodeKey& key);
  // Bulk loads announce keys a few rows ahead so the index lookup finds them cached.
  void prefetch(const NodeKey& key) const { index_.prefetch(node_key_hash(key)); }
  NodeId find(const NodeKey& key) const;  // kNoNode when absent
  NodeId find(std::string_view name, double lat, double lon) const;

  // Writes the coordinate map entry; the first write fixes the node's position in order.
  void set_coord(NodeId node, double lat, double lon);
  // Makes the node a key of the graph (with an empty adjacency when it has no edge).
  void mark_source(NodeId node);
  // Files (node, lat, lon) in the grid.
  void file_in_grid(NodeId node, double lat, double lon, double grid_size);

  const Node& node(NodeId id) const { return nodes_[id]; }
  bool has_coord(NodeId id) const { return nodes_[id].has_coord(); }
  // The coordinate map entry of a node that has one.
  geo::GridPosition coord(NodeId id) const {
    const Node& n = nodes_[id];
    if (n.flags & Node::kCoordAside) [[unlikely]]
      return coord_aside_.at(id);
    return {n.lat, n.lon};
  }
  geo::GridPosition key_position(NodeId id) const { return {nodes_[id].lat, nodes_[id].lon}; }
  geo::GridView grid_view() const { return grid.view({nodes_.data(), sizeof(Node)}); }

  std::size_t size() const { return nodes_.size(); }
  const std::vector<NodeId>& graph_order() const { return graph_order_; }
  std::size_t coord_count() const { return coord_in_id_order_ + coord_later_.size(); }
  std::vector<NodeId> coord_order() const;

  // Key order used to break ties: name by code point, then latitude, then longitude.
  bool key_less(NodeId a, NodeId b) const;

  // Trims the table once it is done growing; later additions still work, more slowly.
  void shrink_to_fit();
  std::size_t memory_bytes() const;

 private:
  RawArray<Node> nodes_;
  FlatIndex index_;
  std::vector<NodeId> graph_order_;
  // Coordinate map order: nodes 0 .. coord_in_id_order_ - 1, then coord_later_.
  std::size_t coord_in_id_order_ = 0;
  std::vector<NodeId> coord_later_;
  std::unordered_map<NodeId, geo::GridPosition> coord_aside_;
};

}  // namespace core_calc::network
