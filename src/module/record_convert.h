// Host records of native procedures and approaches: Procedure and Approach are the
// module's record types, read at the moment of use; points are 4-tuples.
#pragma once

#include <vector>

#include "module/module_state.h"
#include "navdata/procedure.h"

namespace core_calc::module {

// A stored value with its kind: integer -> int, real -> float, text -> str,
// null -> None, blob -> bytes.
py::object seq_object(const navdata::SqlValue& value);

// (name, latitude, longitude, sequence number)
py::tuple point_object(const navdata::ProcedurePoint& point);
py::list points_object(const std::vector<navdata::ProcedurePoint>& points);

// Procedure(airport, name, points)
py::object procedure_object(const navdata::ProcedureRecord& record);
// Approach(name, runway, initial_fix, points)
py::object approach_object(const navdata::ApproachRecord& record);

}  // namespace core_calc::module
