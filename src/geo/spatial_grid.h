// Bucket grid of points in cells of GRID_SIZE degrees. Entries carry a 32-bit id
// chosen by the owner (a network node id, or an index into a table of host values).
// Cells are visited in ascending (x, y) order, which is the order of a scan with
// dx outer and dy inner, and entries in filing order: both decide ties.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/flat_index.h"
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
  // Files an entry. With keep_sorted false, a bulk load may defer ordering the cells
  // until sort_cells(); queries need the cells ordered.
  void add(std::uint32_t id, double lat, double lon, double grid_size, bool keep_sorted = true);
  void sort_cells();
  void reserve(std::size_t bulk_entries) { pending_.reserve(bulk_entries); }

  // Nearest entry within max_dist_km; the first one met wins among equals.
  std::optional<GridHit> nearest(double lat, double lon, double max_dist_km, double grid_size,
                                 RadiusRule rule) const;

  // Up to k distinct ids within max_dist_km, nearest first, ties in scan order;
  // none for k <= 0.
  std::vector<GridHit> k_nearest(double lat, double lon, double max_dist_km, std::int64_t k,
                                 double grid_size) const;

  std::vector<CellKey> cell_order() const;  // in the order the cells were created
  std::size_t cell_count() const { return cells_.size(); }
  const std::vector<GridEntry>* cell(CellKey key) const;
  std::size_t entry_count() const { return entries_; }
  std::size_t memory_bytes() const;

 private:
  struct Cell {
    CellKey key;
    std::vector<GridEntry> entries;
  };

  template <class Visit>
  void scan(CellKey base, std::int64_t radius, Visit&& visit) const;
  std::size_t first_at_or_after(CellKey key) const;  // position in sorted_
  std::uint32_t find_cell(CellKey key) const;
  static std::uint64_t cell_hash(CellKey key);

  struct PendingEntry {
    std::uint32_t cell;
    GridEntry entry;
  };
  std::vector<PendingEntry> pending_;  // bulk-filed entries, moved into cells by sort_cells()
  std::vector<Cell> cells_;            // in creation order
  std::vector<std::uint32_t> sorted_;  // cell indices in ascending key order
  FlatIndex index_;                    // key -> cell index
  std::uint32_t last_cell_ = FlatIndex::kEmpty;
  std::size_t entries_ = 0;
};

}  // namespace core_calc::geo
