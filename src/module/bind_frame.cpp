// _tn, get_img_path and the three record types.
#include "module/bindings.h"

namespace core_calc::module {

void def_paths_tn(py::module_& m) {
  m.def(
      "_tn",
      [](py::object base) {
        PyObject* joined = PyNumber_Add(base.ptr(), attr("TABLE_SUFFIX").ptr());
        if (!joined) throw py::error_already_set();
        return py::reinterpret_steal<py::object>(joined);
      },
      py::arg("base"), doc::kTn);
}

void def_records(py::module_& m) {
  py::object namedtuple = py::module_::import("collections").attr("namedtuple");
  auto record = [&](const char* name, std::initializer_list<const char*> fields, const char* help) {
    py::list names;
    for (const char* f : fields) names.append(f);
    m.attr(name) = namedtuple(name, names, py::arg("module") = "core_calc");
    m.attr(name).attr("__doc__") = help;
  };
  record("Airport", {"icao", "lat", "lon"}, doc::kAirport);
  record("Procedure", {"airport", "name", "points"}, doc::kProcedure);
  record("Approach", {"name", "runway", "initial_fix", "points"}, doc::kApproach);
}

void def_paths_img(py::module_& m) {
  m.def(
      "get_img_path",
      [](py::object pic_name) {
        py::object os_path = py::module_::import("os.path");
        py::object sys = py::module_::import("sys");
        if (py::hasattr(sys, "_MEIPASS"))
          return os_path.attr("join")(sys.attr("_MEIPASS"), pic_name);
        return os_path.attr("join")(os_path.attr("abspath")("."), pic_name);
      },
      py::arg("pic_name"), doc::kImgPath);
}

}  // namespace core_calc::module
