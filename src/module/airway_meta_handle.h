// AIRWAY_META as init_network leaves it is a native view of the loaded metadata;
// code that can read the native form directly asks for it here.
#pragma once

#include <memory>

#include "module/module_state.h"
#include "network/airway_meta.h"

namespace core_calc::module {

// The metadata behind `value` when it is the module's own view, else null (a
// mapping the host assigned, or anything else).
std::shared_ptr<const network::AirwayMeta> native_airway_meta(py::handle value);

}  // namespace core_calc::module
