#include "network/name_table.h"

#include <stdexcept>

namespace core_calc::network {

NameId NameTable::find(std::string_view text) const {
  return index_.find(hash(text), [&](NameId id) { return this->text(id) == text; });
}

NameId NameTable::intern(std::string_view text) {
  const std::uint64_t h = hash(text);
  const NameId found = index_.find(h, [&](NameId id) { return this->text(id) == text; });
  if (found != kNoName) return found;
  if (size() >= kNoName - 1) throw std::length_error("too many distinct names");
  if (text.size() > UINT32_MAX - chars_.size()) throw std::length_error("names too long");
  const auto id = static_cast<NameId>(size());
  chars_.append(text);
  starts_.push_back(static_cast<std::uint32_t>(chars_.size()));
  index_.insert(h, id, [this](NameId other) { return hash(this->text(other)); });
  return id;
}

void NameTable::shrink_to_fit() {
  chars_.shrink_to_fit();
  index_.compact();
  starts_.shrink_to_fit();
}

std::size_t NameTable::memory_bytes() const {
  return chars_.capacity() + starts_.capacity() * sizeof(std::uint32_t) + index_.memory_bytes();
}

}  // namespace core_calc::network
