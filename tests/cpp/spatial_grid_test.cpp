// Grid queries: cells scanned in key order whatever the filing order, own cell only
// below one cell's width, and huge radii visiting only cells that exist.
#include "geo/spatial_grid.h"

#include <gtest/gtest.h>

#include <cmath>

#include "network/node_key.h"

namespace core_calc {
namespace {

TEST(SpatialGrid, ScansCellsInKeyOrderWhateverTheFilingOrder) {
  geo::SpatialGrid grid;
  grid.add(1, 1.25, 0.5, 1.0);  // cell (1, 0)
  grid.add(2, 0.75, 0.5, 1.0);  // cell (0, 0): scanned first, same distance
  const auto hit = grid.nearest(1.0, 0.5, 50.0, 1.0, geo::RadiusRule::kCeil);
  ASSERT_TRUE(hit);
  EXPECT_EQ(hit->id, 2u);
  const auto own_cell = grid.nearest(1.0, 0.5, 50.0, 1.0, geo::RadiusRule::kFloor);
  ASSERT_TRUE(own_cell);
  EXPECT_EQ(own_cell->id, 1u);  // below 111 km only the own cell is scanned
  EXPECT_EQ(grid.k_nearest(0.0, 0.0, 1e12, 10, 1.0).size(), 2u);  // huge radius, prompt
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
