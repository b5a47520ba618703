// Module creation. The module supports one interpreter per process and one module
// object: importing again returns the existing object with its attributes as the
// host left them, and executing the module into another object is refused.
#include <Python.h>

#include "common/plan_texts.h"
#include "geo/cell_index.h"
#include "module/bindings.h"
#include "module/typed_signature.h"
#include "navdata/database.h"

namespace core_calc::module {
namespace {

PyObject* g_module_object = nullptr;
std::int64_t g_interpreter_id = -1;

void set_initial_attributes_before_tn(py::module_& m) {
  m.attr("DB_PATH") = "nav.db";
  m.attr("ORI_DB_PATH") = "nav_ori.db";
  m.attr("first_arr") = py::none();
  m.attr("last_dep") = py::none();
  m.attr("recommendeddep") = kNotAvailable;
  m.attr("recommendedarr") = kNotAvailable;
  m.attr("AIRWAY_META") = py::dict();
  m.attr("GLOBAL_NETWORK") = py::none();
  m.attr("IGNORE_AIRWAY_DIRECTION") = false;
  m.attr("TABLE_SUFFIX") = "";
}

void set_tuning_constants(py::module_& m) {
  m.attr("EARTH_RADIUS") = 6371;
  m.attr("GRID_SIZE") = 1.0;
  m.attr("MAX_CONNECTOR_DIST") = 25;
  m.attr("DYNAMIC_CONNECTOR_FACTOR") = 0.2;
  m.attr("BASE_CONNECTOR_DIST") = 100;
  m.attr("SID_JOIN_RADIUS") = 5.0;
  m.attr("SID_JOIN_RADIUS_FALLBACK") = 60.0;
  m.attr("SID_BEARING_LIMIT") = 110;
  m.attr("SID_BEARING_LIMIT_OFF") = 180;
  m.attr("DIRECT_SID_NAME") = kDirectLeg;
  m.attr("DIRECT_CONNECT_RADIUS") = 100.0;
  m.attr("DIRECT_ARR_NAME") = kNoStar;
  m.attr("DIRECT_ENTRY_CANDIDATES") = 12;
}

void set_host_status_attributes(py::module_& m) {
  m.attr("CURRENT_PLAN_STATUS") = "none";
  m.attr("CURRENT_PLAN_INFO") = "无计划";
  m.attr("API_SERVER_READY") = false;
  m.attr("API_STARTUP_ERROR") = py::none();
  // Weather service: base URL (empty: none configured) and its access key.
  m.attr("WEATHER_API_URL") = "";
  m.attr("WEATHER_API_KEY") = "key518204937261840375";
}

void register_exception_translators() {
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const geo::ZeroDivision& e) {
      PyErr_SetString(PyExc_ZeroDivisionError, e.what());
    } catch (const navdata::DatabaseError& e) {
      py::object error = py::module_::import("sqlite3").attr("OperationalError");
      PyErr_SetString(error.ptr(), e.what());
    }
  });
}

// Moves the view classes out of the module namespace into the class they belong
// to; the class attribute keeps each type alive.
void hide_view_classes(py::module_& m) {
  const std::pair<const char*, const char*> moves[] = {{"_GridView", "SpatialGrid"},
                                                       {"_AdjacencyView", "RouteNetwork"},
                                                       {"_GraphView", "RouteNetwork"},
                                                       {"_CoordMapView", "RouteNetwork"},
                                                       {"_AirwayMetaView", "RouteNetwork"}};
  for (const auto& [view, owner] : moves) {
    if (!py::hasattr(m, view)) continue;
    m.attr(owner).attr(view) = m.attr(view);
    py::delattr(m, view);
  }
}

void populate(py::module_& m) {
  py::module_::import("math");
  py::module_::import("os.path");
  py::module_::import("heapq");
  py::module_::import("collections");
  py::module_::import("sqlite3");
  register_exception_translators();
  m.attr("__version__") = CORE_CALC_VERSION;  // pyproject.toml's, through CMake
  set_initial_attributes_before_tn(m);
  def_paths_tn(m);
  set_tuning_constants(m);
  def_records(m);
  set_host_status_attributes(m);
  def_paths_img(m);
  def_geodesy(m);
  bind_grid_class(m);
  bind_network_class(m);
  def_init_network(m);
  def_a_star(m);
  def_procedure_readers(m);
  def_connect_to_network(m);
  def_process_combination(m);
  def_airport_readers(m);
  def_runway_selection(m);
  def_plan_generation(m);
  def_api_format(m);
  def_route_export(m);
  def_plan_for_api(m);
  def_import_navdata(m);
  def_private_tools(m);
  hide_view_classes(m);
  give_typed_signatures(m);
  // Plan generation reads natively through these while the host has not rebound them.
  for (const char* name :
       {"get_best_runway_and_wind", "build_procedures_from_db", "build_iaps_from_db",
        "get_airport_ref_coord", "build_direct_sid", "build_direct_star"})
    remember_own(name);
}

std::int64_t current_interpreter_id() {
  return PyInterpreterState_GetID(PyThreadState_Get()->interp);
}

PyObject* create_module(PyObject* spec, PyModuleDef*) {
  const std::int64_t id = current_interpreter_id();
  if (g_interpreter_id == -1) {
    g_interpreter_id = id;
  } else if (g_interpreter_id != id) {
    PyErr_SetString(PyExc_ImportError,
                    "Interpreter change detected - this module can only be loaded into one "
                    "interpreter per process.");
    return nullptr;
  }
  if (g_module_object) {
    Py_INCREF(g_module_object);
    return g_module_object;
  }
  PyObject* name = PyObject_GetAttrString(spec, "name");
  if (!name) return nullptr;
  PyObject* module = PyModule_NewObject(name);
  Py_DECREF(name);
  return module;
}

int exec_module(PyObject* module) {
  if (g_module_object) {
    if (g_module_object == module) return 0;
    PyErr_SetString(PyExc_RuntimeError,
                    "Module 'core_calc' has already been imported. Re-initialisation is not "
                    "supported.");
    return -1;
  }
  try {
    set_module(module);
    create_connection_pool();
    py::module_ m = py::reinterpret_borrow<py::module_>(module);
    populate(m);
  } catch (py::error_already_set& e) {
    e.restore();
    return -1;
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_ImportError, e.what());
    return -1;
  }
  Py_INCREF(module);
  g_module_object = module;
  return 0;
}

PyModuleDef_Slot g_slots[] = {
    {Py_mod_create, reinterpret_cast<void*>(&create_module)},
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
    {0, nullptr},
};

PyModuleDef g_definition = {
    PyModuleDef_HEAD_INIT,
    "core_calc",
    doc::kModule,
    0,
    nullptr,
    g_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace core_calc::module

extern "C" PYBIND11_EXPORT PyObject* PyInit_core_calc() {
  return PyModuleDef_Init(&core_calc::module::g_definition);
}
