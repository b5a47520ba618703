// get_best_runway_and_wind.
#include "module/bindings.h"

namespace core_calc::module {

void def_runway_selection(py::module_& m) {
  m.def(
      "get_best_runway_and_wind",
      [](py::object) -> py::object { not_implemented("get_best_runway_and_wind"); },
      py::arg("icao_code"));
}

}  // namespace core_calc::module
