// Which nodes can reach which, coarsely: the strongly connected components of the
// airway graph, the largest of them, and the components that reach it or that it
// reaches. A search between nodes the structure already separates can only exhaust
// the whole reachable network and fail; planners use this to skip such searches.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "network/node_key.h"

namespace core_calc::network {

class RouteNetwork;

class Reachability {
 public:
  // Edges of node n are edges(n); every target is a node id below node_count.
  template <class EdgesOf>
  static Reachability compute(std::size_t node_count, EdgesOf&& edges_of);

  bool empty() const { return component_.empty(); }
  // True only when no route from `from` to `to` exists in the graph.
  bool certainly_unreachable(NodeId from, NodeId to) const;
  std::size_t memory_bytes() const;

 private:
  std::vector<std::uint32_t> component_;  // per node
  std::uint32_t main_ = 0;                // the largest component
  std::vector<std::uint8_t> from_main_;   // per component: reachable from the largest
  std::vector<std::uint8_t> to_main_;     // per component: reaches the largest
  friend class ReachabilityBuilder;
};

inline bool Reachability::certainly_unreachable(NodeId from, NodeId to) const {
  if (component_.empty() || from >= component_.size() || to >= component_.size()) return false;
  const std::uint32_t cf = component_[from], ct = component_[to];
  if (cf == ct) return false;
  // Every route into the largest component, or out of it, passes through it.
  if (cf == main_ && !from_main_[ct]) return true;
  if (ct == main_ && !to_main_[cf]) return true;
  return false;
}

inline std::size_t Reachability::memory_bytes() const {
  return component_.capacity() * sizeof(std::uint32_t) + from_main_.capacity() +
         to_main_.capacity();
}

}  // namespace core_calc::network
