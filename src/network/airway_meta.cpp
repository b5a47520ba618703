#include "network/airway_meta.h"

#include <algorithm>
#include <stdexcept>

namespace core_calc::network {
namespace {

std::uint64_t pair_key(NameId route, NodeId node) {
  return (static_cast<std::uint64_t>(route) << 32) | node;
}

}  // namespace

std::size_t AirwayMeta::run_end(std::size_t run) const {
  return run + 1 < runs_.size() ? runs_[run + 1].begin : nodes_.size();
}

MetaEntry AirwayMeta::at(std::uint32_t position) const {
  auto run = std::upper_bound(runs_.begin(), runs_.end(), position,
                              [](std::uint32_t p, const RouteRun& r) { return p < r.begin; });
  MetaEntry e{std::prev(run)->route, nodes_[position], {seqnos_[position], kNoName}};
  auto restriction = std::lower_bound(restrictions_.begin(), restrictions_.end(),
                                      std::pair<std::uint32_t, NameId>{position, 0});
  if (restriction != restrictions_.end() && restriction->first == position)
    e.value.restriction = restriction->second;
  return e;
}

MetaEntry AirwayMeta::entry(std::size_t i) const {
  return at(order_[i]);
}

std::optional<MetaValue> AirwayMeta::find(NameId route, NodeId node) const {
  auto run = std::lower_bound(runs_.begin(), runs_.end(), route,
                              [](const RouteRun& r, NameId id) { return r.route < id; });
  if (run == runs_.end() || run->route != route) return std::nullopt;
  const NodeId* first = nodes_.data() + run->begin;
  const NodeId* last = nodes_.data() + run_end(static_cast<std::size_t>(run - runs_.begin()));
  const NodeId* found = std::lower_bound(first, last, node);
  if (found == last || *found != node) return std::nullopt;
  return at(static_cast<std::uint32_t>(found - nodes_.data())).value;
}

std::size_t AirwayMeta::memory_bytes() const {
  return (nodes_.capacity() + seqnos_.capacity() + order_.capacity()) * sizeof(std::uint32_t) +
         runs_.capacity() * sizeof(RouteRun) + restrictions_.capacity() * sizeof(restrictions_[0]);
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
  if (entries_.size() >= FlatIndex::kEmpty) throw std::length_error("too many airway points");
  position_.insert(hash, static_cast<std::uint32_t>(entries_.size()), [this](std::uint32_t i) {
    return mix_hash(pair_key(entries_[i].route, entries_[i].node));
  });
  entries_.push_back({route, node, value});
}

std::shared_ptr<const AirwayMeta> AirwayMetaBuilder::finish(
    std::shared_ptr<const RouteNetwork> network) {
  if (!packed_) pack();
  packed_->network_ = std::move(network);
  return std::move(packed_);
}

void AirwayMetaBuilder::pack() {
  position_ = FlatIndex();
  auto meta = std::make_shared<AirwayMeta>();
  const std::size_t count = entries_.size();
  // Sorted by route with a counting sort (null routes last), then by node within a route.
  NameId top = 0;
  for (const MetaEntry& e : entries_)
    if (e.route != kNoName) top = std::max(top, e.route);
  auto bucket = [top](NameId route) -> std::size_t {
    return route == kNoName ? std::size_t{top} + 1 : route;
  };
  std::vector<std::uint32_t> start(std::size_t{top} + 3, 0);
  for (const MetaEntry& e : entries_) ++start[bucket(e.route) + 1];
  for (std::size_t b = 0; b + 1 < start.size(); ++b) start[b + 1] += start[b];
  RawArray<std::uint32_t> sorted(count);
  for (std::uint32_t i = 0; i < count; ++i) sorted[start[bucket(entries_[i].route)]++] = i;
  // start[b] now ends bucket b.
  std::uint32_t begin = 0;
  for (std::size_t b = 0; b + 1 < start.size(); ++b) {
    const std::uint32_t end = start[b];
    if (end == begin) continue;
    std::sort(
        sorted.begin() + begin, sorted.begin() + end,
        [this](std::uint32_t x, std::uint32_t y) { return entries_[x].node < entries_[y].node; });
    meta->runs_.push_back({entries_[sorted[begin]].route, begin});
    begin = end;
  }
  decltype(start)().swap(start);
  meta->nodes_.resize(count);
  meta->seqnos_.resize(count);
  for (std::uint32_t p = 0; p < count; ++p) {
    const MetaEntry& e = entries_[sorted[p]];
    meta->nodes_[p] = e.node;
    meta->seqnos_[p] = e.value.seqno;
    if (e.value.restriction != kNoName) meta->restrictions_.emplace_back(p, e.value.restriction);
  }
  entries_.release();
  meta->runs_.shrink_to_fit();
  meta->restrictions_.shrink_to_fit();
  meta->order_.resize(count);
  for (std::uint32_t p = 0; p < count; ++p) meta->order_[sorted[p]] = p;
  packed_ = std::move(meta);
}

}  // namespace core_calc::network
