// The runways behind one plan, as plan generation knows them: the runways the
// chosen procedures were loaded for, and each airport's ranking and wind. The
// generator fills it; API records carry it as their "runways" value.
//
// Runway and wind values are texts as clients see them; kNotAvailable stands for
// "none" exactly where the rest of the system writes "N/A".
#pragma once

#include <string>
#include <vector>

#include "planning/flight_plan.h"

namespace core_calc::planning {

struct PlanRunways {
  // As flown: the runway whose procedure load supplied the chosen SID; for the
  // arrival, the approach's runway, else the runway the chosen STAR was loaded for.
  // A forced runway when one was forced, the first ranked otherwise.
  std::string departure = kNotAvailable;
  std::string arrival = kNotAvailable;
  // Best first, as the runway selection ranked them (or the single forced one).
  std::vector<std::string> departure_ranked;
  std::vector<std::string> arrival_ranked;
  // The wind direction as the weather service reported it, kNotAvailable without one.
  std::string departure_wind = kNotAvailable;
  std::string arrival_wind = kNotAvailable;
};

}  // namespace core_calc::planning
