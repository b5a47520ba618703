// Open-addressing index from hashed keys to 32-bit ids. The keys themselves live
// with their owner (the id indexes the owner's storage); a slot holds the id and 32
// bits of its hash, so most probes of absent keys never touch the owner's storage.
// Once lookups become rare (a loaded network), compact() drops those bits and
// halves the index; probes then test each id they meet. The owner supplies the
// equality test and, on growth, the hash of a stored id.
#pragma once

#include <cstdint>
#include <vector>

namespace core_calc {

class FlatIndex {
 public:
  static constexpr std::uint32_t kEmpty = UINT32_MAX;

  // The id whose key matches, or kEmpty.
  template <class Matches>
  std::uint32_t find(std::uint64_t hash, Matches&& matches) const {
    if (!ids_.empty()) {
      const std::size_t mask = ids_.size() - 1;
      for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        if (ids_[i] == kEmpty) return kEmpty;
        if (matches(ids_[i])) return ids_[i];
      }
    }
    if (slots_.empty()) return kEmpty;
    const std::size_t mask = slots_.size() - 1;
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot& slot = slots_[i];
      if (slot.id == kEmpty) return kEmpty;
      if (slot.tag == tag && matches(slot.id)) return slot.id;
    }
  }

  // Starts loading the slot a later find() of this hash will read first.
  void prefetch(std::uint64_t hash) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
    if (!ids_.empty()) __builtin_prefetch(&ids_[hash & (ids_.size() - 1)]);
  }

  // Adds an id known to be absent. `hash_of(id)` must give the hash of any stored id.
  template <class HashOf>
  void insert(std::uint64_t hash, std::uint32_t id, HashOf&& hash_of) {
    if (!ids_.empty()) {
      if ((size_ + 1) * 4 > ids_.size() * 3) grow_compact(hash_of);
      place_compact(hash, id);
    } else {
      if ((size_ + 1) * 4 > slots_.size() * 3) grow(hash_of);
      place(hash, id);
    }
    ++size_;
  }

  // Drops the hash bits of every slot; each id keeps its place, so no rehashing.
  void compact() {
    if (slots_.empty()) return;
    ids_.resize(slots_.size());
    for (std::size_t i = 0; i < slots_.size(); ++i) ids_[i] = slots_[i].id;
    std::vector<Slot>().swap(slots_);
  }

  void reserve_for(std::size_t count) {
    std::size_t want = 16;
    while (want * 3 < count * 4) want *= 2;
    if (want > slots_.size() && size_ == 0 && ids_.empty()) slots_.assign(want, Slot{});
  }

  std::size_t memory_bytes() const {
    return slots_.capacity() * sizeof(Slot) + ids_.capacity() * sizeof(std::uint32_t);
  }

 private:
  struct Slot {
    std::uint32_t id = kEmpty;
    std::uint32_t tag = 0;
  };

  void place(std::uint64_t hash, std::uint32_t id) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    while (slots_[i].id != kEmpty) i = (i + 1) & mask;
    slots_[i] = {id, static_cast<std::uint32_t>(hash >> 32)};
  }

  template <class HashOf>
  void grow(HashOf&& hash_of) {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{});
    for (const Slot& slot : old)
      if (slot.id != kEmpty) place(hash_of(slot.id), slot.id);
  }

  void place_compact(std::uint64_t hash, std::uint32_t id) {
    const std::size_t mask = ids_.size() - 1;
    std::size_t i = hash & mask;
    while (ids_[i] != kEmpty) i = (i + 1) & mask;
    ids_[i] = id;
  }

  template <class HashOf>
  void grow_compact(HashOf&& hash_of) {
    std::vector<std::uint32_t> old;
    old.swap(ids_);
    ids_.assign(old.size() * 2, kEmpty);
    for (std::uint32_t id : old)
      if (id != kEmpty) place_compact(hash_of(id), id);
  }

  std::vector<Slot> slots_;
  std::vector<std::uint32_t> ids_;  // slots without hash bits, once compacted
  std::size_t size_ = 0;
};

// A well-mixed 64-bit hash (finaliser of splitmix64).
inline std::uint64_t mix_hash(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xbf58476d1ce4e5b9ull;
  x ^= x >> 27;
  x *= 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

inline std::uint64_t text_hash(const char* data, std::size_t size) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a, then mixed
  for (std::size_t i = 0; i < size; ++i)
    h = (h ^ static_cast<unsigned char>(data[i])) * 1099511628211ull;
  return mix_hash(h);
}

}  // namespace core_calc
