#include "geo/spatial_grid.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>
#include <unordered_set>

#include "geo/geodesy.h"

namespace core_calc::geo {

std::uint64_t SpatialGrid::cell_hash(CellKey key) {
  return mix_hash(mix_hash(static_cast<std::uint64_t>(key.x)) ^ static_cast<std::uint64_t>(key.y));
}

std::uint32_t SpatialGrid::checked_id(std::uint32_t id) {
  if (id > kMaxId) throw std::length_error("grid entry id out of range");
  return id;
}

std::size_t SpatialGrid::first_at_or_after(CellKey key) const {
  auto it = std::lower_bound(sorted_.begin(), sorted_.end(), key,
                             [this](std::uint32_t i, CellKey k) { return cells_[i].key < k; });
  return static_cast<std::size_t>(it - sorted_.begin());
}

std::uint32_t SpatialGrid::find_cell(CellKey key) const {
  if (bulk_open_)
    return bulk_index_.find(cell_hash(key), [&](std::uint32_t i) { return cells_[i].key == key; });
  const std::size_t pos = first_at_or_after(key);
  if (pos < sorted_.size() && cells_[sorted_[pos]].key == key) return sorted_[pos];
  return FlatIndex::kEmpty;
}

// The cell of a position, created when new. Bulk filing leaves new cells out of
// sorted_ until pack(); the index finds them meanwhile.
std::uint32_t SpatialGrid::cell_for(double lat, double lon, double grid_size, bool bulk) {
  const CellKey key = cell_of(lat, lon, grid_size);
  if (bulk && !bulk_open_) {
    for (std::uint32_t i = 0; i < cells_.size(); ++i)
      bulk_index_.insert(cell_hash(cells_[i].key), i,
                         [this](std::uint32_t c) { return cell_hash(cells_[c].key); });
    bulk_open_ = true;
  } else if (!bulk && bulk_open_) {
    pack();  // entries filed one by one follow the bulk ones
  }
  if (last_cell_ != FlatIndex::kEmpty && cells_[last_cell_].key == key) return last_cell_;
  std::uint32_t cell = find_cell(key);
  if (cell == FlatIndex::kEmpty) {
    cell = static_cast<std::uint32_t>(cells_.size());
    cells_.push_back({key});
    if (bulk) {
      bulk_index_.insert(cell_hash(key), cell,
                         [this](std::uint32_t c) { return cell_hash(cells_[c].key); });
    } else {
      sorted_.insert(sorted_.begin() + static_cast<std::ptrdiff_t>(first_at_or_after(key)), cell);
    }
  }
  last_cell_ = cell;
  return cell;
}

void SpatialGrid::file(std::uint32_t word, double lat, double lon, double grid_size) {
  const std::uint32_t cell = cell_for(lat, lon, grid_size, false);
  if (later_.size() <= cell) later_.resize(cells_.size());
  later_[cell].push_back(word);
  ++entries_;
}

void SpatialGrid::add(std::uint32_t id, double lat, double lon, double grid_size) {
  cell_of(lat, lon, grid_size);  // fails before anything is filed
  if (positioned_.size() > kMaxId) throw std::length_error("too many grid entries");
  const auto index = static_cast<std::uint32_t>(positioned_.size());
  positioned_.push_back({lat, lon, id});
  try {
    file(kOwnPosition | index, lat, lon, grid_size);
  } catch (...) {
    positioned_.pop_back();
    throw;
  }
}

void SpatialGrid::add_at_key(std::uint32_t id, double lat, double lon, double grid_size) {
  file(checked_id(id), lat, lon, grid_size);
}

void SpatialGrid::add_at_key_bulk(std::uint32_t id, double lat, double lon, double grid_size) {
  const std::uint32_t word = checked_id(id);
  const std::uint32_t cell = cell_for(lat, lon, grid_size, true);
  bulk_.push_back({cell, word});
  ++entries_;
}

void SpatialGrid::pack() {
  if (!bulk_open_ && later_.empty()) return;
  if (entries_ > UINT32_MAX) throw std::length_error("too many grid entries");
  // Each cell's bulk entries go after its packed and later ones, in filing order.
  std::vector<std::uint32_t> bulk_at(cells_.size(), 0);
  for (const BulkEntry& b : bulk_) ++bulk_at[b.cell];
  RawArray<std::uint32_t> packed(entries_);
  std::uint32_t at = 0;
  for (std::size_t c = 0; c < cells_.size(); ++c) {
    Cell& cell = cells_[c];
    const std::uint32_t begin = at;
    for (std::uint32_t i = 0; i < cell.count; ++i) packed[at++] = packed_[cell.begin + i];
    if (c < later_.size())
      for (std::uint32_t word : later_[c]) packed[at++] = word;
    const std::uint32_t bulk_count = bulk_at[c];
    bulk_at[c] = at;
    at += bulk_count;
    cell.begin = begin;
    cell.count = at - begin;
  }
  for (const BulkEntry& b : bulk_) packed[bulk_at[b.cell]++] = b.word;
  packed_ = std::move(packed);
  bulk_.release();
  bulk_index_ = FlatIndex();
  bulk_open_ = false;
  decltype(later_)().swap(later_);
  sorted_.resize(cells_.size());
  std::iota(sorted_.begin(), sorted_.end(), 0u);
  std::sort(sorted_.begin(), sorted_.end(),
            [this](std::uint32_t a, std::uint32_t b) { return cells_[a].key < cells_[b].key; });
  cells_.shrink_to_fit();
  sorted_.shrink_to_fit();
}

std::size_t SpatialGrid::memory_bytes() const {
  std::size_t bytes =
      cells_.capacity() * sizeof(Cell) + sorted_.capacity() * sizeof(std::uint32_t) +
      packed_.capacity() * sizeof(std::uint32_t) + later_.capacity() * sizeof(later_[0]) +
      positioned_.capacity() * sizeof(PositionedEntry) + bulk_.capacity() * sizeof(BulkEntry) +
      bulk_index_.memory_bytes();
  for (const auto& list : later_) bytes += list.capacity() * sizeof(std::uint32_t);
  return bytes;
}

GridEntry GridView::resolve(std::uint32_t word) const {
  if (word & SpatialGrid::kOwnPosition) {
    const auto& e = grid_->positioned_[word & ~SpatialGrid::kOwnPosition];
    return {e.id, e.lat, e.lon};
  }
  const GridPosition at = positions_.at(word);
  return {word, at.lat, at.lon};
}

template <class Visit>
void GridView::visit_cell(std::uint32_t cell, Visit&& visit) const {
  const SpatialGrid::Cell& c = grid_->cells_[cell];
  const std::uint32_t* words = grid_->packed_.data() + c.begin;
  // Entries at a key send each read to the owner's table: ask for them early.
  constexpr std::uint32_t kAhead = 8;
  for (std::uint32_t i = 0; i < c.count && i < kAhead; ++i)
    if (!(words[i] & SpatialGrid::kOwnPosition)) positions_.prefetch(words[i]);
  for (std::uint32_t i = 0; i < c.count; ++i) {
    if (i + kAhead < c.count && !(words[i + kAhead] & SpatialGrid::kOwnPosition))
      positions_.prefetch(words[i + kAhead]);
    visit(resolve(words[i]));
  }
  if (cell < grid_->later_.size())
    for (std::uint32_t word : grid_->later_[cell]) visit(resolve(word));
}

// Visits only cells that exist, so a huge radius costs no more than the grid holds.
template <class Visit>
void GridView::scan(CellKey base, std::int64_t radius, Visit&& visit) const {
  if (radius < 0) return;
  const auto& sorted = grid_->sorted_;
  const std::int64_t x_lo = base.x - radius, x_hi = base.x + radius;
  const std::int64_t y_lo = base.y - radius, y_hi = base.y + radius;
  std::size_t pos = grid_->first_at_or_after({x_lo, y_lo});
  while (pos < sorted.size()) {
    const CellKey key = grid_->cells_[sorted[pos]].key;
    if (key.x > x_hi) break;
    if (key.y < y_lo) {
      pos = grid_->first_at_or_after({key.x, y_lo});
    } else if (key.y > y_hi) {
      pos = grid_->first_at_or_after({key.x + 1, y_lo});
    } else {
      visit_cell(sorted[pos], visit);
      ++pos;
    }
  }
}

std::optional<GridHit> GridView::nearest(double lat, double lon, double max_dist_km,
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

std::vector<GridHit> GridView::k_nearest(double lat, double lon, double max_dist_km, std::int64_t k,
                                         double grid_size) const {
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

std::vector<CellKey> GridView::cell_order() const {
  std::vector<CellKey> keys;
  keys.reserve(grid_->cells_.size());
  for (const auto& c : grid_->cells_) keys.push_back(c.key);
  return keys;
}

std::optional<std::vector<GridEntry>> GridView::cell(CellKey key) const {
  const std::uint32_t i = grid_->find_cell(key);
  if (i == FlatIndex::kEmpty) return std::nullopt;
  std::vector<GridEntry> entries;
  visit_cell(i, [&](const GridEntry& e) { entries.push_back(e); });
  return entries;
}

}  // namespace core_calc::geo
