// Building networks: hand edits and bulk loads freeze to the same graph, frozen
// networks carry bearings and reachability, and a builder started from a frozen
// network edits a copy.
#include "network/network_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geo/geodesy.h"
#include "network/reachability_impl.h"

namespace core_calc::network {
namespace {

struct Abc {
  NetworkBuilder builder;
  NodeId a, b, c;
  Abc() {
    auto& names = builder.nodes().names;
    a = builder.intern_node({names.intern("A"), 0.0, 0.0});
    b = builder.intern_node({names.intern("B"), 0.0, 1.0});
    c = builder.intern_node({names.intern("C"), 1.0, 1.0});
    for (NodeId n : {a, b, c}) {
      const Node& node = builder.nodes().node(n);
      builder.nodes().set_coord(n, node.lat, node.lon);
    }
  }
};

TEST(NetworkBuilder, RepeatedPairKeepsFirstPositionAndLastEntry) {
  Abc g;
  g.builder.set_edge(g.a, g.b, 1.0, 0);
  g.builder.set_edge(g.a, g.c, 2.0, 0);
  g.builder.set_edge(g.a, g.b, 3.0, 1);
  const auto net = g.builder.freeze();
  const auto out = net->edges(g.a);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].to, g.b);
  EXPECT_EQ(out[0].dist_km, 3.0);
  EXPECT_EQ(out[0].route, 1u);
  EXPECT_EQ(out[1].to, g.c);
  EXPECT_EQ(net->graph_order(), std::vector<NodeId>{g.a});
}

TEST(NetworkBuilder, BulkEdgesResolveLikeEditsOneByOne) {
  Abc edited, bulk;
  // Bulk edges are measured between key positions in the direction they were walked.
  const std::vector<BulkEdge> edges = {
      BulkEdge(edited.b, edited.a, 0, true), BulkEdge(edited.a, edited.b, 0, false),
      BulkEdge(edited.a, edited.c, 0, false), BulkEdge(edited.a, edited.b, 1, false)};
  auto length = [&](NodeId x, NodeId y) {
    const Node& p = edited.builder.nodes().node(x);
    const Node& q = edited.builder.nodes().node(y);
    return geo::haversine_km(p.lat, p.lon, q.lat, q.lon);
  };
  RawArray<BulkEdge> bulk_edges;
  for (const BulkEdge& e : edges) {
    const double km = e.measured_backward() ? length(e.to(), e.from()) : length(e.from(), e.to());
    edited.builder.set_edge(e.from(), e.to(), km, e.route());
    bulk_edges.push_back(e);
  }
  bulk.builder.adopt_edges(std::move(bulk_edges), {edited.b, edited.a});
  const auto one = std::move(edited.builder).freeze();
  const auto two = std::move(bulk.builder).freeze();
  ASSERT_EQ(one->edge_count(), two->edge_count());
  for (NodeId n : {edited.a, edited.b, edited.c}) {
    const auto x = one->edges(n), y = two->edges(n);
    ASSERT_EQ(x.size(), y.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
      EXPECT_EQ(x[i].to, y[i].to);
      EXPECT_EQ(x[i].dist_km, y[i].dist_km);
      EXPECT_EQ(x[i].route, y[i].route);
      EXPECT_EQ(one->edge_bearings(n)[i], two->edge_bearings(n)[i]);
    }
  }
  EXPECT_EQ(one->graph_order(), two->graph_order());
}

TEST(NetworkBuilder, FrozenNetworkCachesBearingsAndEditsGoToACopy) {
  Abc g;
  g.builder.set_edge(g.a, g.b, 111.0, 0);
  const auto net = g.builder.freeze();
  EXPECT_NEAR(net->edge_bearings(g.a)[0], 90.0, 1e-9);
  NetworkBuilder copy(*net);
  copy.set_edge(g.b, g.c, 5.0, 0);
  copy.nodes().set_coord(g.a, 0.0, 2.0);
  const auto edited = std::move(copy).freeze();
  EXPECT_EQ(net->edge_count(), 1u);
  EXPECT_EQ(edited->edge_count(), 2u);
  EXPECT_NEAR(edited->edge_bearings(g.a)[0], 270.0, 1e-9);
  EXPECT_EQ(net->coord(g.a).lon, 0.0);
  EXPECT_EQ(edited->coord(g.a).lon, 2.0);
  EXPECT_EQ(edited->node(g.a).lon, 0.0);  // the key stays
}

TEST(NetworkBuilder, EdgesToNodesWithoutCoordinatesHaveNoBearing) {
  NetworkBuilder builder;
  auto& names = builder.nodes().names;
  const NodeId a = builder.intern_node({names.intern("A"), 0.0, 0.0});
  const NodeId m = builder.intern_node({names.intern("M"), 0.0, 1.0});
  builder.nodes().set_coord(a, 0.0, 0.0);
  builder.set_edge(a, m, 1.0, kNoName);
  EXPECT_TRUE(std::isnan(builder.freeze()->edge_bearings(a)[0]));
}

TEST(Reachability, SeparatesOneWayParts) {
  // 0 <-> 1 <-> 2 form the largest component; 2 -> 3 leads out; 4 -> 0 leads in.
  std::vector<std::vector<Edge>> edges(5);
  auto link = [&](std::uint32_t a, std::uint32_t b) { edges[a].push_back({b, 0, 1.0}); };
  link(0, 1), link(1, 0), link(1, 2), link(2, 1), link(2, 3), link(4, 0);
  const auto r = Reachability::compute(edges.size(),
                                       [&](NodeId n) { return std::span<const Edge>(edges[n]); });
  EXPECT_FALSE(r.certainly_unreachable(0, 3));
  EXPECT_TRUE(r.certainly_unreachable(3, 0));
  EXPECT_FALSE(r.certainly_unreachable(4, 2));
  EXPECT_TRUE(r.certainly_unreachable(0, 4));
  EXPECT_FALSE(r.certainly_unreachable(1, 1));
}

}  // namespace
}  // namespace core_calc::network
