// The module's own readers as native calls: the same argument checks, database
// reads and diagnostic lines as the callables of the same names, without host
// records. Plan generation uses them while the host has not rebound those
// callables; their lines go to `out` (the callables print them on sys.stdout).
// Call with the GIL held; the database work releases it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "module/module_state.h"
#include "navdata/airport_position.h"
#include "navdata/procedure.h"
#include "planning/plan_sources.h"

namespace core_calc::module {

using LineOut = std::function<void(std::string_view)>;

// build_procedures_from_db(icao, table_name, runway)
std::vector<navdata::ProcedureRecord> own_procedures(py::handle icao, py::handle table_name,
                                                     py::handle runway, const LineOut& out);
// build_iaps_from_db(icao, runway)
std::vector<navdata::ApproachRecord> own_approaches(py::handle icao, py::handle runway,
                                                    const LineOut& out);
// get_airport_ref_coord(icao)
std::optional<navdata::Position> own_reference_point(py::handle icao, const LineOut& out);
// build_direct_sid / build_direct_star(icao, lat, lon) with the default radius and k
std::vector<planning::ProcedurePtr> own_direct_procedures(planning::DirectKind kind,
                                                          const std::string& icao, double lat,
                                                          double lon, const LineOut& out);
// get_best_runway_and_wind(icao_code), identifiers and wind as text
planning::RunwayRanking own_runways(py::handle icao_code);
// The same for both airports of a request, their weather requests at the same time.
std::pair<planning::RunwayRanking, planning::RunwayRanking> own_runways_of_both(
    py::handle departure, py::handle arrival);

}  // namespace core_calc::module
