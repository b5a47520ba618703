#include "network/airway_meta.h"

#include <algorithm>

namespace core_calc::network {
namespace {

std::uint64_t pair_key(NameId route, NodeId node) {
  return (static_cast<std::uint64_t>(route) << 32) | node;
}

}  // namespace

AirwayMeta::AirwayMeta(std::shared_ptr<const RouteNetwork> network, std::vector<MetaEntry> entries)
    : network_(std::move(network)), entries_(std::move(entries)) {
  sorted_.resize(entries_.size());
  for (std::uint32_t i = 0; i < sorted_.size(); ++i) sorted_[i] = i;
  std::sort(sorted_.begin(), sorted_.end(), [this](std::uint32_t a, std::uint32_t b) {
    return pair_key(entries_[a].route, entries_[a].node) <
           pair_key(entries_[b].route, entries_[b].node);
  });
}

const MetaEntry* AirwayMeta::find(NameId route, NodeId node) const {
  const std::uint64_t key = pair_key(route, node);
  auto it = std::lower_bound(sorted_.begin(), sorted_.end(), key,
                             [this](std::uint32_t i, std::uint64_t k) {
                               return pair_key(entries_[i].route, entries_[i].node) < k;
                             });
  if (it == sorted_.end()) return nullptr;
  const MetaEntry& e = entries_[*it];
  return pair_key(e.route, e.node) == key ? &e : nullptr;
}

std::size_t AirwayMeta::memory_bytes() const {
  return entries_.capacity() * sizeof(MetaEntry) + sorted_.capacity() * sizeof(std::uint32_t);
}

void AirwayMetaBuilder::set(NameId route, NodeId node, MetaValue value) {
  const std::uint64_t key = pair_key(route, node);
  const std::uint64_t hash = mix_hash(key);
  const std::uint32_t found = position_.find(hash, [&](std::uint32_t i) {
    return entries_[i].route == route && entries_[i].node == node;
  });
  if (found != FlatIndex::kEmpty) {
    entries_[found].value = value;
    return;
  }
  position_.insert(hash, static_cast<std::uint32_t>(entries_.size()), [this](std::uint32_t i) {
    return mix_hash(pair_key(entries_[i].route, entries_[i].node));
  });
  entries_.push_back({route, node, value});
}

std::shared_ptr<const AirwayMeta> AirwayMetaBuilder::finish(
    std::shared_ptr<const RouteNetwork> network) {
  position_ = {};
  entries_.shrink_to_fit();
  return std::make_shared<const AirwayMeta>(std::move(network), std::move(entries_));
}

}  // namespace core_calc::network
