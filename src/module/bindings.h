// Registration of the module's callables, one function per group; the module
// initialisation calls them in the order the host sees the names appear.
#pragma once

#include "module/docstrings.h"
#include "module/module_state.h"

namespace core_calc::module {

void def_paths_tn(py::module_& m);           // _tn
void def_records(py::module_& m);            // Airport, Procedure, Approach
void def_paths_img(py::module_& m);          // get_img_path
void def_geodesy(py::module_& m);            // vectorized_haversine, get_bearing, get_turn_angle
void bind_grid_class(py::module_& m);        // SpatialGrid
void bind_network_class(py::module_& m);     // RouteNetwork
void def_init_network(py::module_& m);       // init_network
void def_a_star(py::module_& m);             // a_star
void def_procedure_readers(py::module_& m);  // build_procedures_from_db, build_iaps_from_db
void def_connect_to_network(py::module_& m);
void def_process_combination(py::module_& m);
void def_airport_readers(
    py::module_& m);  // get_airport_ref_coord, build_direct_sid, build_direct_star
void def_runway_selection(py::module_& m);  // get_best_runway_and_wind
void def_plan_generation(py::module_& m);   // process_batch, generate_flight_plan
void def_process_batch(py::module_& m);
void def_api_format(py::module_& m);      // format_for_api
void def_route_export(py::module_& m);    // route_icao, _geojson, _gpx, _fms, _pln, _fpl
void def_plan_for_api(py::module_& m);    // plan_for_api
void def_import_navdata(py::module_& m);  // import_navdata
void def_private_tools(py::module_& m);   // helpers for benchmarks, names start with "_"

}  // namespace core_calc::module
