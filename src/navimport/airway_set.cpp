#include "navimport/airway_set.h"

#include <cmath>
#include <functional>

namespace core_calc::navimport {
namespace {

std::int64_t micro_degrees(double degrees) {
  return std::llround(degrees * 1e6);
}

}  // namespace

std::size_t AirwaySet::NodeHash::operator()(const NodeKey& k) const {
  std::size_t h = std::hash<std::string>()(k.ident);
  h ^= std::hash<std::int64_t>()(k.lat) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
  h ^= std::hash<std::int64_t>()(k.lon) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
  return h;
}

std::uint32_t AirwaySet::node(std::string_view ident, LatLon position) {
  NodeKey key{std::string(ident), micro_degrees(position.lat), micro_degrees(position.lon)};
  const auto [it, added] =
      node_ids_.try_emplace(std::move(key), static_cast<std::uint32_t>(nodes_.size()));
  if (added) nodes_.push_back(AirwayNode{std::string(ident), position});
  return it->second;
}

std::uint32_t AirwaySet::airway(std::string_view name) {
  const auto [it, added] =
      name_ids_.try_emplace(std::string(name), static_cast<std::uint32_t>(names_.size()));
  if (added) {
    names_.emplace_back(name);
    segment_ids_.emplace_back();
  }
  return it->second;
}

bool AirwaySet::add(std::uint32_t airway, std::uint32_t from, std::uint32_t to, bool forward,
                    bool backward) {
  const std::uint64_t key = from < to ? (static_cast<std::uint64_t>(from) << 32) | to
                                      : (static_cast<std::uint64_t>(to) << 32) | from;
  const auto [it, added] =
      segment_ids_[airway].try_emplace(key, static_cast<std::uint32_t>(segments_.size()));
  AirwaySegment* segment = added ? nullptr : &segments_[it->second];
  const bool same_way = !segment || segment->from == from;
  std::uint8_t allowed = 0;
  if (forward) allowed |= same_way ? kForward : kBackward;
  if (backward) allowed |= same_way ? kBackward : kForward;
  if (segment) {
    segment->allowed |= allowed;
    return false;
  }
  segments_.push_back(AirwaySegment{airway, from, to, allowed});
  return true;
}

}  // namespace core_calc::navimport
