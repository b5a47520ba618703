// A host plan mapping (the planner's twelve keys, possibly stored by the host as
// JSON and read back) as the native flight plan API formatting reads. Bad fields
// are reported as the host's errors naming them: KeyError for a missing field,
// TypeError for a wrong kind, ValueError for a point or key that is too short.
#pragma once

#include "module/module_state.h"
#include "planning/flight_plan.h"

namespace core_calc::module {

// Reads what formatting uses: the points, names, en-route nodes and route ids,
// connectors, distance and approach runway. `plan` is a non-empty mapping.
planning::FlightPlan plan_input(py::handle plan);

}  // namespace core_calc::module
