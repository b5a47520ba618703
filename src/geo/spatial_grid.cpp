#include "geo/spatial_grid.h"

#include <algorithm>
#include <unordered_set>

#include "geo/geodesy.h"

namespace core_calc::geo {

void SpatialGrid::add(std::uint32_t id, double lat, double lon, double grid_size) {
  const CellKey key = cell_of(lat, lon, grid_size);
  auto [it, inserted] = cells_.try_emplace(key);
  if (inserted) order_.push_back(key);
  it->second.push_back({id, lat, lon});
  ++entries_;
}

const std::vector<GridEntry>* SpatialGrid::cell(CellKey key) const {
  auto it = cells_.find(key);
  return it == cells_.end() ? nullptr : &it->second;
}

// Visits only cells that exist, so a huge radius costs no more than the grid holds.
template <class Visit>
void SpatialGrid::scan(CellKey base, std::int64_t radius, Visit&& visit) const {
  if (radius < 0) return;
  const std::int64_t x_lo = base.x - radius, x_hi = base.x + radius;
  const std::int64_t y_lo = base.y - radius, y_hi = base.y + radius;
  auto it = cells_.lower_bound({x_lo, y_lo});
  while (it != cells_.end() && it->first.x <= x_hi) {
    const CellKey key = it->first;
    if (key.y < y_lo) {
      it = cells_.lower_bound({key.x, y_lo});
    } else if (key.y > y_hi) {
      it = cells_.lower_bound({key.x + 1, y_lo});
    } else {
      for (const GridEntry& entry : it->second) visit(entry);
      ++it;
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
  const auto size = static_cast<std::int64_t>(found.size());
  const std::int64_t keep = k >= 0 ? std::min(k, size) : std::max<std::int64_t>(0, size + k);
  found.resize(static_cast<std::size_t>(keep));
  return found;
}

std::size_t SpatialGrid::memory_bytes() const {
  std::size_t bytes = order_.capacity() * sizeof(CellKey);
  for (const auto& [key, entries] : cells_) bytes += 64 + entries.capacity() * sizeof(GridEntry);
  return bytes;
}

}  // namespace core_calc::geo
