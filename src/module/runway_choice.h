// Runway choice by wind as the host sees it, for callers inside the module.
#pragma once

#include "module/module_state.h"

namespace core_calc::module {

// Exactly what get_best_runway_and_wind(icao_code) returns and raises: the pair
// (runway list best first, wind_str_display). Call with the GIL held on the calling
// thread; the weather request and the database read release it themselves.
py::tuple best_runway_and_wind(py::handle icao_code);

}  // namespace core_calc::module
