// Builds RouteNetworks: the loader's bulk path and the host's hand edits.
//
// An editable builder keeps one edge list per node; a bulk load instead hands over
// all its edges at once in insertion order, which freezing resolves exactly as the
// same edits one by one would (a repeated pair keeps its first position and takes
// the last entry). Freezing packs the edges, caches their bearings and computes
// reachability; the builder stays usable for further edits unless it is frozen
// as a temporary.
#pragma once

#include <memory>
#include <vector>

#include "common/raw_array.h"
#include "network/graph_nodes.h"
#include "network/route_network.h"

namespace core_calc::network {

// An edge recorded by a bulk load: an airway leg whose length is the great-circle
// distance between the key positions of its two nodes, measured from the earlier
// row's point to the later row's as the loader walks them. Freezing computes it
// in that order, so it is bit for bit the length an edit would have been given.
class BulkEdge {
 public:
  BulkEdge(NodeId from, NodeId to, NameId route, bool measured_backward)
      : from_(from), to_(to | (measured_backward ? kBackward : 0)), route_(route) {}

  NodeId from() const { return from_; }
  NodeId to() const { return to_ & ~kBackward; }
  NameId route() const { return route_; }
  bool measured_backward() const { return to_ & kBackward; }  // measured from `to` to `from`

 private:
  static constexpr NodeId kBackward = 0x80000000u;  // node ids stay below 2^31

  NodeId from_;
  NodeId to_;
  NameId route_;
};

class NetworkBuilder {
 public:
  NetworkBuilder() = default;
  // Starts from the contents of a frozen network, to edit a copy of it.
  explicit NetworkBuilder(const RouteNetwork& network);

  GraphNodes& nodes() { return nodes_; }
  const GraphNodes& nodes() const { return nodes_; }

  NodeId intern_node(const NodeKey& key);
  // Writes graph[from][to]; an existing pair keeps its position and takes the new entry.
  void set_edge(NodeId from, NodeId to, double dist_km, NameId route);
  // Bulk path: the edges of a load in insertion order, and the nodes that have
  // outgoing edges in the order of their first one.
  void adopt_edges(RawArray<BulkEdge>&& edges, const std::vector<NodeId>& sources);

  std::shared_ptr<const RouteNetwork> freeze() const&;
  std::shared_ptr<const RouteNetwork> freeze() &&;

 private:
  void apply_pending();

  GraphNodes nodes_;
  std::vector<std::vector<Edge>> lists_;  // per node; shorter than nodes_ while nodes are new
  RawArray<BulkEdge> pending_;            // adopted from a bulk load, not yet in lists_
};

}  // namespace core_calc::network
