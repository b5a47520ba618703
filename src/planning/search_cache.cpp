#include "planning/search_cache.h"

#include "common/flat_index.h"

namespace core_calc::planning {
namespace {

std::uint64_t bits(double value) {
  std::uint64_t b;
  std::memcpy(&b, &value, sizeof b);
  return b;
}

// Points compare by their exact values: a search's result depends on nothing else.
bool same(const network::LatLon& a, const network::LatLon& b) {
  return bits(a.lat) == bits(b.lat) && bits(a.lon) == bits(b.lon);
}

}  // namespace

bool SearchKey::operator==(const SearchKey& o) const {
  if (start != o.start || end != o.end || !same(target, o.target)) return false;
  if (prev.has_value() != o.prev.has_value()) return false;
  return !prev || same(*prev, *o.prev);
}

std::size_t SearchKeyHash::operator()(const SearchKey& key) const {
  std::uint64_t h = mix_hash((static_cast<std::uint64_t>(key.start) << 32) | key.end);
  h = mix_hash(h ^ bits(key.target.lat));
  h = mix_hash(h ^ bits(key.target.lon));
  if (key.prev) h = mix_hash(h ^ bits(key.prev->lat) ^ (bits(key.prev->lon) << 1));
  return static_cast<std::size_t>(h);
}

std::shared_ptr<const network::SearchResult> CachedSearch::run(
    network::NodeId start, network::NodeId end, network::LatLon target,
    std::optional<network::LatLon> prev, const network::EdgePenalties* penalties) {
  auto search = [&] { return search_.run(start, end, target, prev, penalties); };
  if (!cache_ || (penalties && !penalties->empty()))
    return std::make_shared<const network::SearchResult>(search());
  return cache_->get({start, end, target, prev}, search);
}

}  // namespace core_calc::planning
