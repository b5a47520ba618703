// Bucket grid of points in cells of GRID_SIZE degrees. Entries carry a 32-bit id
// chosen by the owner (a network node id, or an index into a table of host values).
// Cells are visited in ascending (x, y) order, which is the order of a scan with
// dx outer and dy inner, and entries in filing order: both decide ties.
//
// An entry is one 32-bit word. Nearly every point of a network grid lies exactly
// at its node's key position, so such an entry is the id alone and its position is
// read back from the owner (KeyPositions) when a query needs it; an entry filed
// with a position of its own points into a side table instead. Cells keep their
// entries packed one cell after the other; entries filed since the last pack()
// follow in a list per cell, and bulk entries wait in filing order until pack().
// Filing order within a cell is therefore packed, then later, then bulk entries,
// which is the order they were filed in.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "common/flat_index.h"
#include "common/raw_array.h"
#include "geo/cell_index.h"

namespace core_calc::geo {

struct GridPosition {
  double lat;
  double lon;
};

// Where the grid reads the position of an id filed at its owner's key position:
// the owner's table of records, `stride` bytes apart, whose first 16 bytes are the
// latitude and longitude (doubles) of id 0, 1, 2, ... An empty table serves grids
// that file positions of their own only.
class KeyPositions {
 public:
  KeyPositions() = default;
  KeyPositions(const void* first, std::size_t stride)
      : first_(static_cast<const unsigned char*>(first)), stride_(stride) {}

  GridPosition at(std::uint32_t id) const {
    GridPosition p;
    std::memcpy(&p, first_ + std::size_t{id} * stride_, sizeof p);
    return p;
  }
  void prefetch(std::uint32_t id) const { __builtin_prefetch(first_ + std::size_t{id} * stride_); }

 private:
  const unsigned char* first_ = nullptr;
  std::size_t stride_ = 0;
};

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

class GridView;

class SpatialGrid {
 public:
  static constexpr std::uint32_t kMaxId = 0x7fffffffu;

  // Files (id, lat, lon).
  void add(std::uint32_t id, double lat, double lon, double grid_size);
  // Files id at its key position (lat, lon), which the owner's KeyPositions returns.
  void add_at_key(std::uint32_t id, double lat, double lon, double grid_size);
  // As add_at_key, but the entry joins its cell only at the next pack(): the bulk
  // path of a load, which must pack before anyone queries.
  void add_at_key_bulk(std::uint32_t id, double lat, double lon, double grid_size);
  // Moves every entry into the packed storage; needed after bulk filing.
  void pack();

  // The grid as queries read it; `positions` serves the entries filed at a key.
  GridView view(KeyPositions positions = {}) const;
  std::size_t entry_count() const { return entries_; }
  std::size_t memory_bytes() const;

 private:
  friend class GridView;

  static constexpr std::uint32_t kOwnPosition = 0x80000000u;  // entry word: index into positioned_

  struct Cell {
    CellKey key;
    std::uint32_t begin = 0;  // packed entries: packed_[begin, begin + count)
    std::uint32_t count = 0;
  };
  struct PositionedEntry {
    double lat;
    double lon;
    std::uint32_t id;
  };
  struct BulkEntry {
    std::uint32_t cell;
    std::uint32_t word;
  };

  std::uint32_t cell_for(double lat, double lon, double grid_size, bool bulk);
  std::uint32_t find_cell(CellKey key) const;
  std::size_t first_at_or_after(CellKey key) const;  // position in sorted_
  void file(std::uint32_t word, double lat, double lon, double grid_size);
  static std::uint64_t cell_hash(CellKey key);
  static std::uint32_t checked_id(std::uint32_t id);

  std::vector<Cell> cells_;                        // in creation order
  std::vector<std::uint32_t> sorted_;              // cell indices in ascending key order
  RawArray<std::uint32_t> packed_;                 // entries of every cell, cell after cell
  std::vector<std::vector<std::uint32_t>> later_;  // per cell: entries filed since pack()
  std::vector<PositionedEntry> positioned_;        // entries with a position of their own
  RawArray<BulkEntry> bulk_;                       // bulk entries in filing order
  // While bulk filing is open, new cells are not yet in sorted_ and this finds them.
  FlatIndex bulk_index_;
  bool bulk_open_ = false;
  std::uint32_t last_cell_ = FlatIndex::kEmpty;
  std::size_t entries_ = 0;
};

// Queries over a grid whose bulk entries are packed.
class GridView {
 public:
  GridView(const SpatialGrid& grid, KeyPositions positions) : grid_(&grid), positions_(positions) {}

  // Nearest entry within max_dist_km; the first one met wins among equals.
  std::optional<GridHit> nearest(double lat, double lon, double max_dist_km, double grid_size,
                                 RadiusRule rule) const;

  // Up to k distinct ids within max_dist_km, nearest first, ties in scan order;
  // none for k <= 0.
  std::vector<GridHit> k_nearest(double lat, double lon, double max_dist_km, std::int64_t k,
                                 double grid_size) const;

  std::vector<CellKey> cell_order() const;  // in the order the cells were created
  std::size_t cell_count() const { return grid_->cells_.size(); }
  // The entries of a cell in filing order, or nothing when the cell does not exist.
  std::optional<std::vector<GridEntry>> cell(CellKey key) const;
  std::size_t entry_count() const { return grid_->entries_; }

 private:
  template <class Visit>
  void scan(CellKey base, std::int64_t radius, Visit&& visit) const;
  template <class Visit>
  void visit_cell(std::uint32_t cell, Visit&& visit) const;
  GridEntry resolve(std::uint32_t word) const;

  const SpatialGrid* grid_;
  KeyPositions positions_;
};

inline GridView SpatialGrid::view(KeyPositions positions) const {
  return GridView(*this, positions);
}

}  // namespace core_calc::geo
