// Grid queries: cells scanned in key order whatever the filing order, own cell only
// below one cell's width, huge radii visiting only cells that exist, and filing
// order kept across entries at a key, with positions of their own, and in bulk.
#include "geo/spatial_grid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "network/node_key.h"

namespace core_calc {
namespace {

TEST(SpatialGrid, ScansCellsInKeyOrderWhateverTheFilingOrder) {
  geo::SpatialGrid grid;
  grid.add(1, 1.25, 0.5, 1.0);  // cell (1, 0)
  grid.add(2, 0.75, 0.5, 1.0);  // cell (0, 0): scanned first, same distance
  const geo::GridView view = grid.view();
  const auto hit = view.nearest(1.0, 0.5, 50.0, 1.0, geo::RadiusRule::kCeil);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->id, 2u);
  const auto own_cell = view.nearest(1.0, 0.5, 50.0, 1.0, geo::RadiusRule::kFloor);
  ASSERT_TRUE(own_cell);
  EXPECT_EQ(own_cell->id, 1u);  // below 111 km only the own cell is scanned
  EXPECT_EQ(view.k_nearest(0.0, 0.0, 1e12, 10, 1.0).size(), 2u);  // huge radius, prompt
}

TEST(SpatialGrid, KeepsFilingOrderAcrossEntryKinds) {
  const std::vector<geo::GridPosition> keys = {{0.5, 0.5}, {0.5, 0.6}, {0.4, 0.5}, {9.0, 9.0}};
  geo::SpatialGrid grid;
  grid.add(3, 0.5, 0.5, 1.0);  // away from its key
  grid.add_at_key_bulk(0, 0.5, 0.5, 1.0);
  grid.add_at_key_bulk(1, 0.5, 0.6, 1.0);
  grid.add_at_key(2, 0.4, 0.5, 1.0);  // after the waiting bulk entries
  grid.add_at_key_bulk(0, 0.5, 0.5, 1.0);
  grid.add_at_key_bulk(1, 5.5, 5.5, 1.0);  // another cell
  grid.pack();
  grid.add(1, 0.5, 0.5, 1.0);

  const geo::GridView view = grid.view({keys.data(), sizeof(geo::GridPosition)});
  const auto cell = view.cell({0, 0});
  ASSERT_TRUE(cell);
  const std::vector<std::tuple<std::uint32_t, double, double>> expected = {
      {3, 0.5, 0.5}, {0, 0.5, 0.5}, {1, 0.5, 0.6}, {2, 0.4, 0.5}, {0, 0.5, 0.5}, {1, 0.5, 0.5}};
  ASSERT_EQ(cell->size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(std::make_tuple((*cell)[i].id, (*cell)[i].lat, (*cell)[i].lon), expected[i]) << i;
  EXPECT_FALSE(view.cell({1, 0}));
  EXPECT_EQ(view.entry_count(), 7u);

  // Ties go to the first entry filed, whatever its kind.
  EXPECT_EQ(view.nearest(0.5, 0.5, 10.0, 1.0, geo::RadiusRule::kFloor)->id, 3u);
  std::vector<std::uint32_t> ids;
  for (const geo::GridHit& hit : view.k_nearest(0.5, 0.5, 20.0, 10, 1.0)) ids.push_back(hit.id);
  EXPECT_EQ(ids, (std::vector<std::uint32_t>{3, 0, 1, 2}));
}

TEST(CoordinateRounding, IsDecimalHalfEvenOfTheFloat) {
  EXPECT_EQ(network::round_coordinate(45.12345f), 45.1235);
  EXPECT_EQ(network::round_coordinate(22.30865f), 22.3086);
  EXPECT_EQ(network::round_coordinate(0.03125f), 0.0312);  // an exact tie goes to even
  EXPECT_EQ(network::round_coordinate(0.09375f), 0.0938);
  EXPECT_TRUE(std::isnan(network::round_coordinate(std::nanf(""))));
}

}  // namespace
}  // namespace core_calc
