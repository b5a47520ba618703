// A plan request from the host's arguments, its run by the core's driver with the
// GIL released, and its plans as host mappings; shared by the entry points.
#pragma once

#include <memory>

#include "module/host_sources.h"
#include "module/module_state.h"
#include "planning/plan_generation.h"

namespace core_calc::module {

// dep_icao and arr_icao must be text (TypeError); a forced value counts when it is
// true and is used as its str().
planning::PlanRequest plan_request(py::handle dep_icao, py::handle arr_icao, py::handle batch_size,
                                   py::handle forced_sid, py::handle forced_star,
                                   py::handle forced_iap, py::handle forced_dep_rwy,
                                   py::handle forced_arr_rwy);

// Runs the driver; its errors come back as the host's exceptions.
planning::PlanOutcome run_plan(const planning::PlanRequest& request,
                               std::shared_ptr<const network::RouteNetwork> net,
                               HostSources& sources);

// The twelve-key plan mapping of a planned route, with the host's own records.
py::dict plan_mapping(const planning::PlannedRoute& plan, const network::RouteNetwork& net,
                      HostSources& sources, py::handle dep, py::handle arr);

}  // namespace core_calc::module
