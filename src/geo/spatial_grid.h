// Bucket grid of points in cells of GRID_SIZE degrees. Entries carry a 32-bit id
// chosen by the owner (a network node id, or an index into a table of host values).
// Cells are visited in ascending (x, y) order, which is the order of a scan with
// dx outer and dy inner, and entries in filing order: both decide ties.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "geo/cell_index.h"

namespace core_calc::geo {

struct GridEntry {
  std::uint32_t id;
  double lat;
  double lon;
};

struct GridHit {
  std::uint32_t id;
  double dist_km;
};

enum class RadiusRule { kFloor, kCeil };

class SpatialGrid {
 public:
  void add(std::uint32_t id, double lat, double lon, double grid_size);

  // Nearest entry within max_dist_km; the first one met wins among equals.
  std::optional<GridHit> nearest(double lat, double lon, double max_dist_km, double grid_size,
                                 RadiusRule rule) const;

  // Up to k distinct ids within max_dist_km, nearest first, ties in scan order.
  // A negative k drops that many from the end, like a slice.
  std::vector<GridHit> k_nearest(double lat, double lon, double max_dist_km, std::int64_t k,
                                 double grid_size) const;

  const std::vector<CellKey>& cell_order() const { return order_; }
  const std::vector<GridEntry>* cell(CellKey key) const;
  std::size_t entry_count() const { return entries_; }
  std::size_t memory_bytes() const;

 private:
  template <class Visit>
  void scan(CellKey base, std::int64_t radius, Visit&& visit) const;

  std::map<CellKey, std::vector<GridEntry>> cells_;
  std::vector<CellKey> order_;  // cells in the order they were created
  std::size_t entries_ = 0;
};

}  // namespace core_calc::geo
