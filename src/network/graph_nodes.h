// The node table shared by a network under construction and a frozen one: the
// interned texts, the nodes with their keys and coordinate map entries, the key
// index, the grid of airway points, and the orders in which nodes entered the
// graph and the coordinate map. Node ids are dense and never change once given.
#pragma once

#include <string_view>
#include <vector>

#include "common/flat_index.h"
#include "geo/spatial_grid.h"
#include "network/name_table.h"
#include "network/node_key.h"

namespace core_calc::network {

struct Node {
  NodeKey key;
  double lat = 0.0;  // coordinate map entry, valid when has_coord
  double lon = 0.0;
  bool has_coord = false;
  bool has_adjacency = false;  // the node is a key of the graph
};

class GraphNodes {
 public:
  NameTable names;
  geo::SpatialGrid grid;

  NodeId intern(const NodeKey& key);
  void reserve(std::size_t count);  // sizes the key index ahead of a bulk load
  // Bulk loads announce keys a few rows ahead so the index lookup finds them cached.
  void prefetch(const NodeKey& key) const { index_.prefetch(node_key_hash(key)); }
  NodeId find(const NodeKey& key) const;  // kNoNode when absent
  NodeId find(std::string_view name, double lat, double lon) const;

  // Writes the coordinate map entry; the first write fixes the node's position in order.
  void set_coord(NodeId node, double lat, double lon);
  // Makes the node a key of the graph (with an empty adjacency when it has no edge).
  void mark_source(NodeId node);

  const Node& node(NodeId id) const { return nodes_[id]; }
  std::size_t size() const { return nodes_.size(); }
  const std::vector<NodeId>& graph_order() const { return graph_order_; }
  const std::vector<NodeId>& coord_order() const { return coord_order_; }

  // Key order used to break ties: name by code point, then latitude, then longitude.
  bool key_less(NodeId a, NodeId b) const;

  void shrink_to_fit();
  std::size_t memory_bytes() const;

 private:
  std::vector<Node> nodes_;
  FlatIndex index_;
  std::vector<NodeId> graph_order_;
  std::vector<NodeId> coord_order_;
};

}  // namespace core_calc::network
