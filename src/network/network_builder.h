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

#include "network/graph_nodes.h"
#include "network/route_network.h"

namespace core_calc::network {

// An edge recorded by a bulk load.
struct BulkEdge {
  NodeId from;
  Edge edge;
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
  void adopt_edges(std::vector<BulkEdge>&& edges, const std::vector<NodeId>& sources);

  std::shared_ptr<const RouteNetwork> freeze() const&;
  std::shared_ptr<const RouteNetwork> freeze() &&;

 private:
  void apply_pending();

  GraphNodes nodes_;
  std::vector<std::vector<Edge>> lists_;  // per node; shorter than nodes_ while nodes are new
  std::vector<BulkEdge> pending_;         // adopted from a bulk load, not yet in lists_
};

}  // namespace core_calc::network
