// a_star and connect_to_network.
#include "module/bindings.h"

namespace core_calc::module {

void def_a_star(py::module_& m) {
  m.def(
      "a_star",
      [](py::object, py::object, py::object, py::object, py::object, py::object) -> py::object {
        not_implemented("a_star");
      },
      py::arg("start"), py::arg("end"), py::arg("target_lat") = py::none(),
      py::arg("target_lon") = py::none(), py::arg("initial_prev_coord") = py::none(),
      py::arg("penalized_edges") = py::none());
}

void def_connect_to_network(py::module_& m) {
  m.def(
      "connect_to_network",
      [](py::object, py::object, py::object) -> py::object { not_implemented("connect_to_network"); },
      py::arg("lat"), py::arg("lon"), py::arg("segment_length"));
}

}  // namespace core_calc::module
