// Records between the host and the core. Host records are the module's Procedure
// and Approach types (read at the moment of use); points are 4-tuples (name,
// latitude, longitude, sequence number). Stored values keep their kinds both ways.
#pragma once

#include <vector>

#include "module/module_state.h"
#include "navdata/procedure.h"

namespace core_calc::module {

// A stored value as a host value: integer -> int, real -> float, text -> str,
// null -> None, blob -> bytes.
py::object host_value(const navdata::SqlValue& value);
// A host value as a stored value; anything but int, float, str, bytes and None
// keeps its str() text.
navdata::SqlValue stored_value(py::handle value);

py::list points_object(const std::vector<navdata::ProcedurePoint>& points);
// Procedure(airport, name, points)
py::object procedure_object(const navdata::ProcedureRecord& record);
// Approach(name, runway, initial_fix, points)
py::object approach_object(const navdata::ApproachRecord& record);

// The native form of a host record: names through str(), coordinates as reals
// (a TypeError naming the "point latitude" or "point longitude" otherwise).
navdata::ProcedureRecord procedure_record(py::handle record);
navdata::ApproachRecord approach_record(py::handle record);

}  // namespace core_calc::module
