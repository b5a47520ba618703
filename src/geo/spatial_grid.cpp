#include "geo/spatial_grid.h"

#include <algorithm>
#include <unordered_set>

#include "geo/geodesy.h"

namespace core_calc::geo {

std::uint64_t SpatialGrid::cell_hash(CellKey key) {
  return mix_hash(mix_hash(static_cast<std::uint64_t>(key.x)) ^ static_cast<std::uint64_t>(key.y));
}

std::uint32_t SpatialGrid::find_cell(CellKey key) const {
  return index_.find(cell_hash(key), [&](std::uint32_t i) { return cells_[i].key == key; });
}

void SpatialGrid::add(std::uint32_t id, double lat, double lon, double grid_size,
                      bool keep_sorted) {
  const CellKey key = cell_of(lat, lon, grid_size);
  std::uint32_t cell = last_cell_;
  if (cell == FlatIndex::kEmpty || cells_[cell].key != key) cell = find_cell(key);
  if (cell == FlatIndex::kEmpty) {
    cell = static_cast<std::uint32_t>(cells_.size());
    cells_.push_back({key, {}});
    index_.insert(cell_hash(key), cell,
                  [this](std::uint32_t i) { return cell_hash(cells_[i].key); });
    if (keep_sorted) {
      sorted_.insert(sorted_.begin() + static_cast<std::ptrdiff_t>(first_at_or_after(key)), cell);
    }
  }
  last_cell_ = cell;
  if (keep_sorted && pending_.empty()) {
    cells_[cell].entries.push_back({id, lat, lon});
  } else {
    pending_.push_back({cell, {id, lat, lon}});
  }
  ++entries_;
}

void SpatialGrid::sort_cells() {
  // Each cell grows once to its final size, so bulk loading leaves no freed holes.
  std::vector<std::size_t> counts(cells_.size(), 0);
  for (const PendingEntry& p : pending_) ++counts[p.cell];
  for (std::size_t i = 0; i < cells_.size(); ++i)
    cells_[i].entries.reserve(cells_[i].entries.size() + counts[i]);
  for (const PendingEntry& p : pending_) cells_[p.cell].entries.push_back(p.entry);
  decltype(pending_)().swap(pending_);
  sorted_.resize(cells_.size());
  for (std::uint32_t i = 0; i < sorted_.size(); ++i) sorted_[i] = i;
  std::sort(sorted_.begin(), sorted_.end(),
            [this](std::uint32_t a, std::uint32_t b) { return cells_[a].key < cells_[b].key; });
}

std::vector<CellKey> SpatialGrid::cell_order() const {
  std::vector<CellKey> keys;
  keys.reserve(cells_.size());
  for (const Cell& c : cells_) keys.push_back(c.key);
  return keys;
}

const std::vector<GridEntry>* SpatialGrid::cell(CellKey key) const {
  const std::uint32_t i = find_cell(key);
  return i == FlatIndex::kEmpty ? nullptr : &cells_[i].entries;
}

std::size_t SpatialGrid::first_at_or_after(CellKey key) const {
  auto it = std::lower_bound(sorted_.begin(), sorted_.end(), key,
                             [this](std::uint32_t i, CellKey k) { return cells_[i].key < k; });
  return static_cast<std::size_t>(it - sorted_.begin());
}

// Visits only cells that exist, so a huge radius costs no more than the grid holds.
template <class Visit>
void SpatialGrid::scan(CellKey base, std::int64_t radius, Visit&& visit) const {
  if (radius < 0) return;
  const std::int64_t x_lo = base.x - radius, x_hi = base.x + radius;
  const std::int64_t y_lo = base.y - radius, y_hi = base.y + radius;
  std::size_t pos = first_at_or_after({x_lo, y_lo});
  while (pos < sorted_.size()) {
    const Cell& c = cells_[sorted_[pos]];
    if (c.key.x > x_hi) break;
    if (c.key.y < y_lo) {
      pos = first_at_or_after({c.key.x, y_lo});
    } else if (c.key.y > y_hi) {
      pos = first_at_or_after({c.key.x + 1, y_lo});
    } else {
      for (const GridEntry& entry : c.entries) visit(entry);
      ++pos;
    }
  }
}

std::optional<GridHit> SpatialGrid::nearest(double lat, double lon, double max_dist_km,
                                            double grid_size, RadiusRule rule) const {
  const CellKey base = cell_of(lat, lon, grid_size);
  const std::int64_t radius = search_radius(max_dist_km, grid_size, rule == RadiusRule::kCeil);
  double min_dist = max_dist_km + 1;
  std::optional<std::uint32_t> nearest_id;
  scan(base, radius, [&](const GridEntry& e) {
    const double dist = haversine_km(lat, lon, e.lat, e.lon);
    if (dist < min_dist) {
      min_dist = dist;
      nearest_id = e.id;
    }
  });
  if (nearest_id && min_dist <= max_dist_km) return GridHit{*nearest_id, min_dist};
  return std::nullopt;
}

std::vector<GridHit> SpatialGrid::k_nearest(double lat, double lon, double max_dist_km,
                                            std::int64_t k, double grid_size) const {
  const CellKey base = cell_of(lat, lon, grid_size);
  const std::int64_t radius = search_radius(max_dist_km, grid_size, true);
  std::vector<GridHit> found;
  std::unordered_set<std::uint32_t> seen;
  scan(base, radius, [&](const GridEntry& e) {
    if (seen.contains(e.id)) return;
    const double dist = haversine_km(lat, lon, e.lat, e.lon);
    if (dist <= max_dist_km) {
      seen.insert(e.id);
      found.push_back({e.id, dist});
    }
  });
  std::stable_sort(found.begin(), found.end(),
                   [](const GridHit& a, const GridHit& b) { return a.dist_km < b.dist_km; });
  // "Up to k": a negative k asks for nothing, it does not count from the end.
  const auto size = static_cast<std::int64_t>(found.size());
  found.resize(static_cast<std::size_t>(std::clamp<std::int64_t>(k, 0, size)));
  return found;
}

std::size_t SpatialGrid::memory_bytes() const {
  std::size_t bytes = cells_.capacity() * sizeof(Cell) + sorted_.capacity() * sizeof(std::uint32_t);
  for (const Cell& c : cells_) bytes += 16 + c.entries.capacity() * sizeof(GridEntry);
  return bytes + index_.memory_bytes();
}

}  // namespace core_calc::geo
