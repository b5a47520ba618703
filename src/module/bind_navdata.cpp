// Readers of procedures, approaches and airport positions, and direct candidates.
#include "module/bindings.h"

namespace core_calc::module {

void def_procedure_readers(py::module_& m) {
  m.def(
      "build_procedures_from_db",
      [](py::object, py::object, py::object) -> py::object {
        not_implemented("build_procedures_from_db");
      },
      py::arg("icao"), py::arg("table_name"), py::arg("runway") = py::none());
  m.def(
      "build_iaps_from_db",
      [](py::object, py::object) -> py::object { not_implemented("build_iaps_from_db"); },
      py::arg("icao"), py::arg("runway"));
}

void def_airport_readers(py::module_& m) {
  m.def(
      "get_airport_ref_coord",
      [](py::object) -> py::object { not_implemented("get_airport_ref_coord"); }, py::arg("icao"));
  // The defaults of radius and k are the constants' values when the module loads.
  py::object radius = attr("DIRECT_CONNECT_RADIUS");
  py::object k = attr("DIRECT_ENTRY_CANDIDATES");
  m.def(
      "build_direct_sid",
      [](py::object, py::object, py::object, py::object, py::object) -> py::object {
        not_implemented("build_direct_sid");
      },
      py::arg("icao"), py::arg("lat"), py::arg("lon"), py::arg("radius") = radius,
      py::arg("k") = k);
  m.def(
      "build_direct_star",
      [](py::object, py::object, py::object, py::object, py::object) -> py::object {
        not_implemented("build_direct_star");
      },
      py::arg("icao"), py::arg("lat"), py::arg("lon"), py::arg("radius") = radius,
      py::arg("k") = k);
}

}  // namespace core_calc::module
