// Several RouteSearch objects on one frozen network from several threads at once,
// as the planner's worker pool runs them, and the two-thread bearing pass of a large
// network. Under ThreadSanitizer (make tsan) these also show that the network is
// only read once frozen.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "geo/geodesy.h"
#include "network/network_builder.h"
#include "network/route_search.h"

namespace core_calc::network {
namespace {

// A lattice of side x side waypoints 0.2 degrees apart, linked to their right and
// upper neighbours both ways, with every seventh link missing so that routes bend.
std::shared_ptr<const RouteNetwork> lattice(int side) {
  NetworkBuilder net;
  NameTable& names = net.nodes().names;
  const NameId east = names.intern("E1");
  const NameId north = names.intern("N1");
  std::vector<NodeId> ids;
  for (int r = 0; r < side; ++r)
    for (int c = 0; c < side; ++c) {
      const double lat = 40.0 + 0.2 * r, lon = 5.0 + 0.2 * c;
      std::string name = "W";
      name += std::to_string(r * side + c);
      const NodeId id = net.intern_node({names.intern(name), lat, lon});
      net.nodes().set_coord(id, lat, lon);
      ids.push_back(id);
    }
  auto link = [&](int a, int b, NameId route) {
    const Node& na = net.nodes().node(ids[a]);
    const Node& nb = net.nodes().node(ids[b]);
    const double d = geo::haversine_km(na.lat, na.lon, nb.lat, nb.lon);
    net.set_edge(ids[a], ids[b], d, route);
    net.set_edge(ids[b], ids[a], d, route);
  };
  for (int r = 0; r < side; ++r)
    for (int c = 0; c < side; ++c) {
      const int i = r * side + c;
      if (c + 1 < side && i % 7 != 3) link(i, i + 1, east);
      if (r + 1 < side && i % 7 != 5) link(i, i + side, north);
    }
  return std::move(net).freeze();
}

struct Outcome {
  std::vector<NodeId> path;
  double cost;
  bool operator==(const Outcome&) const = default;
};

Outcome search(RouteSearch& s, std::pair<NodeId, NodeId> pair, const EdgePenalties* penalties) {
  SearchResult r = s.run(pair.first, pair.second, std::nullopt, std::nullopt, penalties);
  return {std::move(r.path), r.cost};
}

TEST(RouteSearchThreads, SearchesOnOneNetworkAgreeWithOneThread) {
  const auto shared = lattice(30);
  const RouteNetwork& net = *shared;
  std::mt19937 rng(7);
  std::uniform_int_distribution<NodeId> any(0, static_cast<NodeId>(net.node_count() - 1));
  std::vector<std::pair<NodeId, NodeId>> pairs;
  for (int i = 0; i < 24; ++i) pairs.emplace_back(any(rng), any(rng));
  // Shared, read-only penalties on the first legs out of a few starts.
  EdgePenalties penalties;
  for (const auto& [from, to] : pairs)
    for (const Edge& e : net.edges(from)) penalties.set(from, e.to, 50.0);

  std::vector<Outcome> expected;
  {
    RouteSearch single(net);
    for (const auto& pair : pairs) expected.push_back(search(single, pair, &penalties));
  }
  int found = 0;
  for (const Outcome& o : expected) found += !o.path.empty();
  ASSERT_GT(found, 20);

  constexpr int kThreads = 4;
  std::vector<std::vector<Outcome>> got(kThreads, std::vector<Outcome>(pairs.size()));
  {
    std::vector<std::jthread> pool;
    for (int t = 0; t < kThreads; ++t)
      pool.emplace_back([&, t] {
        std::vector<std::size_t> order(pairs.size());
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), std::mt19937(t));
        RouteSearch own(net);  // its buffers are reused between runs
        for (int round = 0; round < 2; ++round)
          for (std::size_t i : order) got[t][i] = search(own, pairs[i], &penalties);
      });
  }
  for (int t = 0; t < kThreads; ++t)
    for (std::size_t i = 0; i < pairs.size(); ++i) {
      EXPECT_EQ(got[t][i].path, expected[i].path) << "thread " << t << ", pair " << i;
      EXPECT_EQ(got[t][i].cost, expected[i].cost) << "thread " << t << ", pair " << i;
    }
}

TEST(RouteSearchThreads, LargeNetworkBearingsSplitOverTwoThreadsMatchTheFormula) {
  const auto shared = lattice(230);  // above the size that takes a second thread
  const RouteNetwork& net = *shared;
  ASSERT_GT(net.node_count(), 50000u);
  std::size_t checked = 0;
  for (NodeId n = 0; n < net.node_count(); n += 97) {
    const auto edges = net.edges(n);
    const auto bearings = net.edge_bearings(n);
    ASSERT_EQ(bearings.size(), edges.size());
    for (std::size_t i = 0; i < edges.size(); ++i, ++checked) {
      const Node& a = net.node(n);
      const Node& b = net.node(edges[i].to);
      EXPECT_EQ(bearings[i], geo::bearing_deg(a.lat, a.lon, b.lat, b.lon));
    }
  }
  EXPECT_GT(checked, 1000u);
}

}  // namespace
}  // namespace core_calc::network
