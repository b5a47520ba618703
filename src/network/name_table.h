// Interned texts: every waypoint name, airway designator and metadata text is
// stored once and referred to by a 32-bit id.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "common/flat_index.h"

namespace core_calc::network {

using NameId = std::uint32_t;
inline constexpr NameId kNoName = UINT32_MAX;  // stands for a null value

class NameTable {
 public:
  NameId intern(std::string_view text);
  NameId find(std::string_view text) const;  // kNoName when absent
  const std::string& text(NameId id) const { return texts_[id]; }
  std::size_t size() const { return texts_.size(); }
  std::size_t memory_bytes() const;

 private:
  static std::uint64_t hash(std::string_view text) { return text_hash(text.data(), text.size()); }

  std::deque<std::string> texts_;
  FlatIndex index_;
};

}  // namespace core_calc::network
