#include "network/name_table.h"

#include <stdexcept>

namespace core_calc::network {

NameTable& NameTable::operator=(const NameTable& other) {
  if (this == &other) return *this;
  texts_ = other.texts_;
  index_.clear();
  index_.reserve(texts_.size());
  for (NameId id = 0; id < texts_.size(); ++id) index_.emplace(texts_[id], id);
  return *this;
}

NameId NameTable::intern(std::string_view text) {
  if (auto it = index_.find(text); it != index_.end()) return it->second;
  if (texts_.size() >= kNoName) throw std::length_error("too many distinct names");
  const auto id = static_cast<NameId>(texts_.size());
  texts_.emplace_back(text);
  index_.emplace(texts_.back(), id);
  return id;
}

NameId NameTable::find(std::string_view text) const {
  auto it = index_.find(text);
  return it == index_.end() ? kNoName : it->second;
}

std::size_t NameTable::memory_bytes() const {
  std::size_t bytes = texts_.size() * (sizeof(std::string) + 40);  // strings + index nodes
  for (const auto& t : texts_)
    if (t.size() > 15) bytes += t.capacity() + 1;
  return bytes + index_.bucket_count() * sizeof(void*);
}

}  // namespace core_calc::network
