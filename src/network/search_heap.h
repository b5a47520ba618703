// The open list of the route search: a binary min-heap of (f, node) pairs with lazy
// deletion. Pairs order by f, equal f by the node keys (RouteNetwork::key_less), so
// the order is total and the sequence of pops does not depend on the heap layout.
#pragma once

#include <cstdint>
#include <vector>

#include "network/route_network.h"

namespace core_calc::network {

struct OpenEntry {
  double f;
  NodeId node;
  std::uint32_t slot;  // the node's slot in the search state table
};

class OpenHeap {
 public:
  explicit OpenHeap(const RouteNetwork& net) : net_(net) {}

  bool empty() const { return entries_.empty(); }
  void clear() { entries_.clear(); }
  void push(OpenEntry entry);
  OpenEntry pop();

 private:
  bool less(const OpenEntry& a, const OpenEntry& b) const {
    if (a.f != b.f) return a.f < b.f;
    return a.node != b.node && net_.key_less(a.node, b.node);
  }

  const RouteNetwork& net_;
  std::vector<OpenEntry> entries_;
};

inline void OpenHeap::push(OpenEntry entry) {
  std::size_t i = entries_.size();
  entries_.push_back(entry);
  while (i > 0) {
    const std::size_t parent = (i - 1) / 2;
    if (!less(entry, entries_[parent])) break;
    entries_[i] = entries_[parent];
    i = parent;
  }
  entries_[i] = entry;
}

inline OpenEntry OpenHeap::pop() {
  const OpenEntry top = entries_.front();
  const OpenEntry last = entries_.back();
  entries_.pop_back();
  const std::size_t n = entries_.size();
  if (n == 0) return top;
  std::size_t i = 0;
  for (;;) {
    std::size_t child = 2 * i + 1;
    if (child >= n) break;
    if (child + 1 < n && less(entries_[child + 1], entries_[child])) ++child;
    if (!less(entries_[child], last)) break;
    entries_[i] = entries_[child];
    i = child;
  }
  entries_[i] = last;
  return top;
}

}  // namespace core_calc::network
