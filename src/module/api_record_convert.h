// API records between native and host form. Records go to the host as plain
// mappings in key order (JSON-ready); the route exports take them back, also
// after a trip through JSON, reading only the keys the exports use.
#pragma once

#include "module/module_state.h"
#include "planning/api_format.h"

namespace core_calc::module {

// Host values that take the place of the record's runway texts, so values the
// host set pass through unchanged; a null object keeps the record's text.
struct RunwayValues {
  py::object departure;
  py::object arrival;
};

py::dict record_object(const planning::ApiRecord& record, const RunwayValues& runways = {});

// The record as the exports read it: "origin", "destination", "procedures" and
// "detailed_waypoints" (name, lat, lon, airway) are required; "dep_runway",
// "arr_runway", "route_string" and "runways" are read when present. A TypeError
// or ValueError names the field at fault.
planning::ApiRecord record_input(py::handle record);

// A formatting failure as the host's exception of the same kind.
[[noreturn]] void raise_format_error(const planning::FormatError& error);

}  // namespace core_calc::module
