// Strongly connected components (iterative Tarjan) and the reach of the largest one.
#pragma once

#include <algorithm>
#include <limits>

#include "network/reachability.h"

namespace core_calc::network {

class ReachabilityBuilder {
 public:
  template <class EdgesOf>
  static Reachability build(std::size_t node_count, EdgesOf&& edges_of) {
    Reachability r;
    r.component_.assign(node_count, kUnset);
    std::vector<std::uint32_t> index(node_count, kUnset), low(node_count, 0);
    std::vector<std::uint8_t> on_stack(node_count, 0);
    std::vector<std::uint32_t> stack;
    struct Frame {
      std::uint32_t node;
      std::uint32_t next_edge;
    };
    std::vector<Frame> frames;
    std::vector<std::uint32_t> sizes;
    std::uint32_t counter = 0;
    for (std::uint32_t root = 0; root < node_count; ++root) {
      if (index[root] != kUnset) continue;
      frames.push_back({root, 0});
      index[root] = low[root] = counter++;
      stack.push_back(root);
      on_stack[root] = 1;
      while (!frames.empty()) {
        Frame& f = frames.back();
        const auto edges = edges_of(f.node);
        if (f.next_edge < edges.size()) {
          const std::uint32_t to = edges[f.next_edge++].to;
          if (index[to] == kUnset) {
            index[to] = low[to] = counter++;
            stack.push_back(to);
            on_stack[to] = 1;
            frames.push_back({to, 0});
          } else if (on_stack[to]) {
            low[f.node] = std::min(low[f.node], index[to]);
          }
          continue;
        }
        const std::uint32_t node = f.node;
        frames.pop_back();
        if (!frames.empty()) low[frames.back().node] = std::min(low[frames.back().node], low[node]);
        if (low[node] != index[node]) continue;
        const auto id = static_cast<std::uint32_t>(sizes.size());
        std::uint32_t size = 0;
        std::uint32_t member;
        do {
          member = stack.back();
          stack.pop_back();
          on_stack[member] = 0;
          r.component_[member] = id;
          ++size;
        } while (member != node);
        sizes.push_back(size);
      }
    }
    if (sizes.empty()) return r;
    r.main_ =
        static_cast<std::uint32_t>(std::max_element(sizes.begin(), sizes.end()) - sizes.begin());
    mark_reach(r, node_count, edges_of, sizes.size());
    return r;
  }

 private:
  static constexpr std::uint32_t kUnset = std::numeric_limits<std::uint32_t>::max();

  // Components reachable from the largest (forward) and reaching it (over the edges
  // reversed), by walking the component graph.
  template <class EdgesOf>
  static void mark_reach(Reachability& r, std::size_t node_count, EdgesOf&& edges_of,
                         std::size_t components) {
    std::vector<std::vector<std::uint32_t>> forward(components), backward(components);
    for (std::uint32_t n = 0; n < node_count; ++n) {
      const std::uint32_t cn = r.component_[n];
      for (const auto& e : edges_of(n)) {
        const std::uint32_t ct = r.component_[e.to];
        if (ct == cn) continue;
        forward[cn].push_back(ct);
        backward[ct].push_back(cn);
      }
    }
    r.from_main_ = walk(forward, r.main_);
    r.to_main_ = walk(backward, r.main_);
  }

  static std::vector<std::uint8_t> walk(const std::vector<std::vector<std::uint32_t>>& next,
                                        std::uint32_t start) {
    std::vector<std::uint8_t> seen(next.size(), 0);
    std::vector<std::uint32_t> todo{start};
    seen[start] = 1;
    while (!todo.empty()) {
      const std::uint32_t c = todo.back();
      todo.pop_back();
      for (std::uint32_t d : next[c])
        if (!seen[d]) {
          seen[d] = 1;
          todo.push_back(d);
        }
    }
    return seen;
  }
};

template <class EdgesOf>
Reachability Reachability::compute(std::size_t node_count, EdgesOf&& edges_of) {
  return ReachabilityBuilder::build(node_count, edges_of);
}

}  // namespace core_calc::network
