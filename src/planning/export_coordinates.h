// Coordinates as the route exports write them. The exports refuse a waypoint
// whose position is not a finite number: no format has a way to write one.
#pragma once

#include <cmath>
#include <stdexcept>
#include <string>

#include "common/number_text.h"
#include "planning/api_record.h"

namespace core_calc::planning {

inline void require_finite_coordinates(const ApiRecord& record) {
  const auto& w = record.detailed_waypoints;
  for (std::size_t i = 0; i < w.size(); ++i) {
    const char* bad = !std::isfinite(w[i].lat) ? "lat" : !std::isfinite(w[i].lon) ? "lon" : nullptr;
    if (bad)
      throw std::invalid_argument("detailed_waypoints[" + std::to_string(i) + "] (" + w[i].name +
                                  ") has a '" + bad + "' that is not a finite number");
  }
}

// Fixed-point text with at most `decimals` decimals and at least one ("50.0", "9.12345679").
inline std::string decimal_text(double value, int decimals) {
  std::string text = fixed_text(value, decimals);
  const std::size_t dot = text.find('.');
  if (dot == std::string::npos) return text + ".0";
  std::size_t end = text.find_last_not_of('0');
  if (end == dot) ++end;
  return text.substr(0, end + 1);
}

}  // namespace core_calc::planning
