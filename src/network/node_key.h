// Node keys identify waypoints of the airway graph: a name and a position
// rounded to 4 decimals. Keys order by name (code point), then latitude, then
// longitude; UTF-8 byte order is code point order.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

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

struct NodeKeyHash {
  std::size_t operator()(const NodeKey& k) const {
    auto bits = [](double v) {
      v += 0.0;  // -0.0 and 0.0 are the same key
      std::uint64_t b;
      std::memcpy(&b, &v, sizeof b);
      return b;
    };
    std::uint64_t h = k.name * 0x9E3779B97F4A7C15ull;
    h ^= bits(k.lat) + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    h ^= bits(k.lon) + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    return static_cast<std::size_t>(h ^ (h >> 29));
  }
};

// A stored coordinate as the network keeps it: the nearest 32-bit float, widened,
// then correctly rounded half to even at the fourth decimal. A float has at most
// 24 significant bits, so its product with 10^4 is exact in a double and the
// integer rounding below sees the exact decimal value.
inline double round_coordinate(float stored) {
  const double scaled = static_cast<double>(stored) * 10000.0;
  return std::nearbyint(scaled) / 10000.0;
}

}  // namespace core_calc::network
