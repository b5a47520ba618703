// Working state of one route search, kept only for the nodes the search touches:
// a search visits a small part of a large network, so clearing or allocating
// per-node arrays for every search would cost more than the search itself.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "network/node_key.h"

namespace core_calc::network {

struct SearchNodeState {
  NodeId node;
  NodeId pred;        // predecessor on the best known route, kNoNode for none
  NameId route;       // route id of the edge from pred
  double g;           // best known cost from the start
  double h;           // estimate towards the target, computed once per search
  double in_bearing;  // initial bearing of the edge from pred
};

// Open-addressing map NodeId -> state slot. Slots are stable indices into the
// state vector (references are not: inserting may move the states).
class SearchStateTable {
 public:
  static constexpr std::uint32_t kAbsent = std::numeric_limits<std::uint32_t>::max();

  void clear();
  std::uint32_t find(NodeId node) const;
  // Adds a node that is not present yet; its g reads as +inf and it has no predecessor.
  std::uint32_t insert(NodeId node, double h);

  SearchNodeState& operator[](std::uint32_t slot) { return states_[slot]; }
  const SearchNodeState& operator[](std::uint32_t slot) const { return states_[slot]; }
  std::size_t size() const { return states_.size(); }

 private:
  std::size_t bucket_of(NodeId node) const {
    return static_cast<std::size_t>((node * 0x9E3779B97F4A7C15ull) >> shift_);
  }
  void grow();

  std::vector<std::uint32_t> buckets_;  // slot per bucket, kAbsent when empty
  std::vector<SearchNodeState> states_;
  unsigned shift_ = 64;
};

inline std::uint32_t SearchStateTable::find(NodeId node) const {
  if (buckets_.empty()) return kAbsent;
  const std::size_t mask = buckets_.size() - 1;
  for (std::size_t b = bucket_of(node);; b = (b + 1) & mask) {
    const std::uint32_t slot = buckets_[b];
    if (slot == kAbsent || states_[slot].node == node) return slot;
  }
}

}  // namespace core_calc::network
