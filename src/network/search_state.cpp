#include "network/search_state.h"

#include <algorithm>
#include <stdexcept>

namespace core_calc::network {
namespace {

constexpr std::size_t kInitialBuckets = 1024;

}  // namespace

void SearchStateTable::clear() {
  std::fill(buckets_.begin(), buckets_.end(), kAbsent);
  states_.clear();
}

std::uint32_t SearchStateTable::insert(NodeId node, double h) {
  // Keeping the table at most half full keeps probe runs short.
  if ((states_.size() + 1) * 2 > buckets_.size()) grow();
  if (states_.size() >= kAbsent) throw std::length_error("route search state overflow");
  const auto slot = static_cast<std::uint32_t>(states_.size());
  states_.push_back({node, kNoNode, kNoName, std::numeric_limits<double>::infinity(), h, 0.0});
  const std::size_t mask = buckets_.size() - 1;
  std::size_t b = bucket_of(node);
  while (buckets_[b] != kAbsent) b = (b + 1) & mask;
  buckets_[b] = slot;
  return slot;
}

void SearchStateTable::grow() {
  const std::size_t count = buckets_.empty() ? kInitialBuckets : buckets_.size() * 2;
  buckets_.assign(count, kAbsent);
  shift_ = 64 - static_cast<unsigned>(__builtin_ctzll(count));
  const std::size_t mask = count - 1;
  for (std::uint32_t slot = 0; slot < states_.size(); ++slot) {
    std::size_t b = bucket_of(states_[slot].node);
    while (buckets_[b] != kAbsent) b = (b + 1) & mask;
    buckets_[b] = slot;
  }
}

}  // namespace core_calc::network
