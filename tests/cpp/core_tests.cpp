// Tests of core pieces whose rules are easiest to pin down below the module: number
// text forms, coordinate rounding, the flat index, grid scan order and reachability.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "common/flat_index.h"
#include "common/number_text.h"
#include "geo/spatial_grid.h"
#include "network/node_key.h"
#include "network/reachability_impl.h"
#include "network/route_network.h"

namespace {

int failures = 0;
int checks = 0;

void check(bool ok, const char* what, int line) {
  ++checks;
  if (!ok) {
    ++failures;
    std::printf("FAILED line %d: %s\n", line, what);
  }
}
#define CHECK(cond) check((cond), #cond, __LINE__)

using namespace core_calc;

void float_text_matches_the_hosts_str() {
  const std::pair<double, const char*> cases[] = {{100.0, "100.0"},
                                                  {5.0, "5.0"},
                                                  {0.1, "0.1"},
                                                  {1e16, "1e+16"},
                                                  {1.5e-05, "1.5e-05"},
                                                  {-0.0, "-0.0"},
                                                  {123456.789, "123456.789"},
                                                  {0.0001, "0.0001"},
                                                  {1e15, "1000000000000000.0"}};
  for (const auto& [value, text] : cases) CHECK(float_text(value) == text);
}

void rounding_is_decimal_half_even_of_the_float() {
  CHECK(network::round_coordinate(45.12345f) == 45.1235);
  CHECK(network::round_coordinate(22.30865f) == 22.3086);
  CHECK(network::round_coordinate(0.03125f) == 0.0312);  // an exact tie goes to even
  CHECK(network::round_coordinate(0.09375f) == 0.0938);
  CHECK(std::isnan(network::round_coordinate(std::nanf(""))));
}

void flat_index_finds_every_id_through_growth() {
  std::vector<std::uint64_t> keys;
  FlatIndex index;
  for (std::uint32_t i = 0; i < 10000; ++i) {
    keys.push_back(mix_hash(i * 7919ull));
    index.insert(keys.back(), i, [&](std::uint32_t id) { return keys[id]; });
  }
  bool all_found = true;
  for (std::uint32_t i = 0; i < keys.size(); ++i)
    all_found &= index.find(keys[i], [&](std::uint32_t id) { return id == i; }) == i;
  CHECK(all_found);
  CHECK(index.find(mix_hash(3), [](std::uint32_t) { return false; }) == FlatIndex::kEmpty);
}

void grid_scans_cells_in_key_order_whatever_the_filing_order() {
  geo::SpatialGrid grid;
  grid.add(1, 1.25, 0.5, 1.0);  // cell (1, 0)
  grid.add(2, 0.75, 0.5, 1.0);  // cell (0, 0): scanned first, same distance
  const auto hit = grid.nearest(1.0, 0.5, 50.0, 1.0, geo::RadiusRule::kCeil);
  CHECK(hit && hit->id == 2);
  const auto own_cell = grid.nearest(1.0, 0.5, 50.0, 1.0, geo::RadiusRule::kFloor);
  CHECK(own_cell && own_cell->id == 1);  // below 111 km only the own cell is scanned
  const auto all = grid.k_nearest(0.0, 0.0, 1e12, 10, 1.0);  // huge radius
  CHECK(all.size() == 2);
}

void reachability_separates_one_way_parts() {
  // 0 <-> 1 <-> 2 form the largest component; 2 -> 3 leads out; 4 -> 0 leads in.
  std::vector<std::vector<network::Edge>> edges(5);
  auto link = [&](std::uint32_t a, std::uint32_t b) { edges[a].push_back({b, 0, 1.0}); };
  link(0, 1), link(1, 0), link(1, 2), link(2, 1), link(2, 3), link(4, 0);
  const auto r = network::Reachability::compute(
      edges.size(), [&](network::NodeId n) { return std::span<const network::Edge>(edges[n]); });
  CHECK(!r.certainly_unreachable(0, 3));
  CHECK(r.certainly_unreachable(3, 0));
  CHECK(!r.certainly_unreachable(4, 2));
  CHECK(r.certainly_unreachable(0, 4));
  CHECK(!r.certainly_unreachable(1, 1));
}

void frozen_network_keeps_first_positions_and_last_entries() {
  network::RouteNetwork net;
  const auto a = net.intern_node({net.names.intern("A"), 0.0, 0.0});
  const auto b = net.intern_node({net.names.intern("B"), 0.0, 1.0});
  const auto c = net.intern_node({net.names.intern("C"), 1.0, 1.0});
  net.set_edge(a, b, 1.0, 0);
  net.set_edge(a, c, 2.0, 0);
  net.set_edge(a, b, 3.0, 1);  // replaces in place
  net.freeze();
  const auto out = net.edges(a);
  CHECK(out.size() == 2 && out[0].to == b && out[0].dist_km == 3.0 && out[1].to == c);
  CHECK(net.edge_bearings(a).size() == 2);
  net.set_coord(a, 0.0, 0.0);  // an edit drops what was derived from coordinates
  CHECK(net.edge_bearings(a).empty());
}

}  // namespace

int main() {
  float_text_matches_the_hosts_str();
  rounding_is_decimal_half_even_of_the_float();
  flat_index_finds_every_id_through_growth();
  grid_scans_cells_in_key_order_whatever_the_filing_order();
  reachability_separates_one_way_parts();
  frozen_network_keeps_first_positions_and_last_entries();
  std::printf("%d passed, %d failed\n", checks - failures, failures);
  return failures == 0 ? 0 : 1;
}
