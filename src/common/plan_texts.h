// Texts with a meaning of their own across the system.
#pragma once

namespace core_calc {

// The route id of a direct leg, which the search exempts from the airway-change
// penalty and plans write between fixes off the airways.
inline constexpr const char* kDirectLeg = "DCT";
// The STAR name of a plan without an arrival procedure (and of direct arrivals).
inline constexpr const char* kNoStar = "DIRECT";
// No approach, no runway, no wind report.
inline constexpr const char* kNotAvailable = "N/A";

}  // namespace core_calc
