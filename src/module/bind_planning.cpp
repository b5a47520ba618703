// process_combination, process_batch, generate_flight_plan and format_for_api.
#include "module/bindings.h"

namespace core_calc::module {

void def_process_combination(py::module_& m) {
  m.def(
      "process_combination",
      [](py::object, py::object, py::object, py::object, py::object, py::object, py::object,
         py::object, py::object) -> py::object { not_implemented("process_combination"); },
      py::arg("sid"), py::arg("star"), py::arg("available_iaps"), py::arg("dep"), py::arg("arr"),
      py::arg("skip_bearing_check") = false, py::arg("penalized_edges") = py::none(),
      py::arg("join_radius") = py::none(), py::arg("bearing_limit") = py::none());
}

void def_plan_generation(py::module_& m) {
  m.def(
      "process_batch", [](py::object) -> py::object { not_implemented("process_batch"); },
      py::arg("args"));
  m.def(
      "generate_flight_plan",
      [](py::object, py::object, py::object, py::object, py::object, py::object, py::object,
         py::object) -> py::object { not_implemented("generate_flight_plan"); },
      py::arg("dep_icao"), py::arg("arr_icao"), py::arg("batch_size") = 20,
      py::arg("forced_sid") = py::none(), py::arg("forced_star") = py::none(),
      py::arg("forced_iap") = py::none(), py::arg("forced_dep_rwy") = py::none(),
      py::arg("forced_arr_rwy") = py::none());
}

void def_api_format(py::module_& m) {
  m.def(
      "format_for_api", [](py::object) -> py::object { not_implemented("format_for_api"); },
      py::arg("plan"));
}

}  // namespace core_calc::module
