// Node keys identify waypoints of the airway graph: a name and a position
// rounded to 4 decimals. Keys order by name (code point), then latitude, then
// longitude; UTF-8 byte order is code point order.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "common/flat_index.h"
#include "network/name_table.h"

namespace core_calc::network {

using NodeId = std::uint32_t;
inline constexpr NodeId kNoNode = UINT32_MAX;

struct NodeKey {
  NameId name;
  double lat;
  double lon;
  bool operator==(const NodeKey& o) const { return name == o.name && lat == o.lat && lon == o.lon; }
};

inline std::uint64_t node_key_hash(const NodeKey& k) {
  auto bits = [](double v) {
    v += 0.0;  // -0.0 and 0.0 are the same key
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
  };
  return mix_hash(mix_hash(mix_hash(k.name) ^ bits(k.lat)) ^ bits(k.lon));
}

// A stored coordinate as the network keeps it: the nearest 32-bit float, widened,
// then correctly rounded half to even at the fourth decimal. A float has at most
// 24 significant bits, so its product with 10^4 is exact in a double and the
// integer rounding below sees the exact decimal value.
inline double round_coordinate(float stored) {
  const double scaled = static_cast<double>(stored) * 10000.0;
  return std::nearbyint(scaled) / 10000.0;
}

}  // namespace core_calc::network
