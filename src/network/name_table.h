// Interned texts: every waypoint name, airway designator and metadata text is
// stored once, in one character arena, and referred to by a 32-bit id.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/flat_index.h"

namespace core_calc::network {

using NameId = std::uint32_t;
inline constexpr NameId kNoName = UINT32_MAX;  // stands for a null value

class NameTable {
 public:
  NameId intern(std::string_view text);
  NameId find(std::string_view text) const;  // kNoName when absent
  std::string_view text(NameId id) const {
    return {chars_.data() + starts_[id], static_cast<std::size_t>(starts_[id + 1] - starts_[id])};
  }
  std::size_t size() const { return starts_.size() - 1; }
  void shrink_to_fit();
  std::size_t memory_bytes() const;

 private:
  static std::uint64_t hash(std::string_view text) { return text_hash(text.data(), text.size()); }

  std::string chars_;                     // at most 4 GiB of text
  std::vector<std::uint32_t> starts_{0};  // text i is chars_[starts_[i], starts_[i + 1])
  FlatIndex index_;
};

}  // namespace core_calc::network
