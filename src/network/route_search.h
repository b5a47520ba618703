// Route search over an immutable RouteNetwork: a modified A* with airway keeping,
// turn penalties and caller-supplied extra costs per directed edge.
//
// A RouteSearch is a small query object: it reads the network and keeps only its
// own working buffers, which later runs reuse. Any number of RouteSearch objects
// may run on one const network from different threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

#include "network/route_network.h"
#include "network/search_heap.h"
#include "network/search_state.h"

namespace core_calc::network {

struct LatLon {
  double lat;
  double lon;
};

// Extra cost per directed edge (from, to); absent pairs cost nothing.
class EdgePenalties {
 public:
  // Costs must be non-negative and finite (a negative cost could form a cycle the
  // search would follow forever); anything else raises std::invalid_argument.
  void set(NodeId from, NodeId to, double cost);
  double get(NodeId from, NodeId to) const;
  bool empty() const { return costs_.empty(); }
  std::size_t size() const { return costs_.size(); }

 private:
  static std::uint64_t pair_key(NodeId from, NodeId to) {
    return (static_cast<std::uint64_t>(from) << 32) | to;
  }
  std::unordered_map<std::uint64_t, double> costs_;
};

// Why a search stopped without a result; the result is then empty with cost +inf.
enum class SearchFault : std::uint8_t {
  kNone,
  kMissingCoordinate,    // a turn angle needs the coordinates of fault_node, which has none
  kNonFiniteCoordinate,  // fault_node's coordinates are not finite (kNoNode: an input point's)
  kNegativeDistance,     // the edge fault_node -> fault_to has a negative length
};

struct SearchResult {
  std::vector<NodeId> path;       // excludes start, ends with end
  std::vector<NameId> route_ids;  // route id of the edge entering each path element
  double cost = std::numeric_limits<double>::infinity();
  SearchFault fault = SearchFault::kNone;
  NodeId fault_node = kNoNode;
  NodeId fault_to = kNoNode;
  std::size_t expanded = 0;  // heap entries expanded (popped and not stale)
};

class RouteSearch {
 public:
  explicit RouteSearch(const RouteNetwork& net);

  // start/end may be kNoNode (then: empty path, +inf). A null target aims at the
  // coordinates of end. initial_prev is a point flown just before start; it prices
  // the turn at start. penalties may be null.
  SearchResult run(NodeId start, NodeId end, std::optional<LatLon> target,
                   std::optional<LatLon> initial_prev, const EdgePenalties* penalties);

 private:
  struct Query {
    NodeId start;
    NodeId end;
    LatLon target;
    std::optional<LatLon> initial_prev;
    const EdgePenalties* penalties;  // null when there are none
    NameId direct_route;             // id of the text "DCT", kNoName when the network has none
  };

  double heuristic(NodeId node, const LatLon& target) const;
  // Expands the entry's node; returns false when the search must stop with `result.fault`.
  bool expand(const Query& q, std::uint32_t slot, SearchResult& result);
  // Pushes `node` with cost g and predecessor; false when its estimate is not finite.
  bool relax(const Query& q, NodeId node, NodeId pred, NameId route, double g, double entry_bearing,
             SearchResult& result);
  void reconstruct(const Query& q, SearchResult& result) const;

  const RouteNetwork& net_;
  SearchStateTable states_;
  OpenHeap heap_;
};

}  // namespace core_calc::network
