// The kinds of named point a navigation database records, in the words stored in
// the "waypoint_type" column of its "waypoints" table. The importer writes them
// and the route exports read them back, so both use these names.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace core_calc {

enum class WaypointType : std::uint8_t { kFix, kVor, kDme, kNdb };

inline constexpr std::array<std::string_view, 4> kWaypointTypeNames = {"FIX", "VOR", "DME", "NDB"};

constexpr std::string_view waypoint_type_name(WaypointType type) {
  return kWaypointTypeNames[static_cast<std::size_t>(type)];
}

constexpr std::optional<WaypointType> waypoint_type_of(std::string_view name) {
  for (std::size_t i = 0; i < kWaypointTypeNames.size(); ++i)
    if (kWaypointTypeNames[i] == name) return static_cast<WaypointType>(i);
  return std::nullopt;
}

}  // namespace core_calc
