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
    for (auto* v : {&index, &low, &stack}) std::vector<std::uint32_t>().swap(*v);
    std::vector<std::uint8_t>().swap(on_stack);
    std::vector<Frame>().swap(frames);
    r.main_ =
        static_cast<std::uint32_t>(std::max_element(sizes.begin(), sizes.end()) - sizes.begin());
    mark_reach(r, node_count, edges_of, sizes.size());
    return r;
  }

 private:
  static constexpr std::uint32_t kUnset = std::numeric_limits<std::uint32_t>::max();

  // Tarjan numbers the components so that every edge between two of them leads to
  // a lower number. Walking the components upwards settles which of them reach the
  // largest; walking downwards from the largest, which of them it reaches. Each
  // node's edges are read at most once per walk, and nothing is built per component
  // beyond its member range.
  template <class EdgesOf>
  static void mark_reach(Reachability& r, std::size_t node_count, EdgesOf&& edges_of,
                         std::size_t components) {
    const std::vector<std::uint32_t>& component = r.component_;
    // members[start[c] .. start[c + 1]) are the nodes of component c.
    std::vector<std::uint32_t> start(components + 1, 0), members(node_count);
    for (std::uint32_t n = 0; n < node_count; ++n) ++start[component[n] + 1];
    for (std::size_t c = 0; c < components; ++c) start[c + 1] += start[c];
    for (std::uint32_t n = 0; n < node_count; ++n) members[start[component[n]]++] = n;
    for (std::size_t c = components; c > 0; --c) start[c] = start[c - 1];
    start[0] = 0;
    auto any_edge = [&](std::size_t c, auto&& test) {
      for (std::uint32_t i = start[c]; i < start[c + 1]; ++i)
        for (const auto& e : edges_of(members[i]))
          if (test(component[e.to])) return true;
      return false;
    };
    r.to_main_.assign(components, 0);
    r.to_main_[r.main_] = 1;
    for (std::size_t c = r.main_ + 1; c < components; ++c)
      r.to_main_[c] = any_edge(c, [&](std::uint32_t d) { return d != c && r.to_main_[d]; });
    r.from_main_.assign(components, 0);
    r.from_main_[r.main_] = 1;
    for (std::size_t c = r.main_ + 1; c-- > 0;) {
      if (!r.from_main_[c]) continue;
      any_edge(c, [&](std::uint32_t d) {
        r.from_main_[d] = 1;
        return false;
      });
    }
  }
};

template <class EdgesOf>
Reachability Reachability::compute(std::size_t node_count, EdgesOf&& edges_of) {
  return ReachabilityBuilder::build(node_count, edges_of);
}

}  // namespace core_calc::network
