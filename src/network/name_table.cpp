#include "network/name_table.h"

#include <stdexcept>

namespace core_calc::network {

NameId NameTable::find(std::string_view text) const {
  return index_.find(hash(text), [&](NameId id) { return texts_[id] == text; });
}

NameId NameTable::intern(std::string_view text) {
  const std::uint64_t h = hash(text);
  const NameId found = index_.find(h, [&](NameId id) { return texts_[id] == text; });
  if (found != kNoName) return found;
  if (texts_.size() >= kNoName - 1) throw std::length_error("too many distinct names");
  const auto id = static_cast<NameId>(texts_.size());
  texts_.emplace_back(text);
  index_.insert(h, id, [this](NameId other) { return hash(texts_[other]); });
  return id;
}

std::size_t NameTable::memory_bytes() const {
  std::size_t bytes = texts_.size() * sizeof(std::string) + index_.memory_bytes();
  for (const auto& t : texts_)
    if (t.size() > 15) bytes += t.capacity() + 1;
  return bytes;
}

}  // namespace core_calc::network
