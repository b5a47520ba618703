#include "module/module_state.h"

#include <utility>
#include <vector>

namespace core_calc::module {
namespace {

PyObject* g_module = nullptr;  // strong reference, released never: the module is process-wide

// Never destroyed: host threads may still read while the process exits.
navdata::ConnectionPool* g_pool = nullptr;

// Written only while the module executes, before any host code can call in.
std::vector<std::pair<std::string, PyObject*>> g_own_callables;

}  // namespace

void set_module(PyObject* module) {
  Py_XINCREF(module);
  Py_XDECREF(g_module);
  g_module = module;
}

py::module_ the_module() {
  return py::reinterpret_borrow<py::module_>(g_module);
}

void create_connection_pool() {
  if (!g_pool) g_pool = new navdata::ConnectionPool();
}

navdata::ConnectionPool& connection_pool() {
  return *g_pool;
}

py::object attr(const char* name) {
  PyObject* dict = PyModule_GetDict(g_module);
  PyObject* value = PyDict_GetItemString(dict, name);  // borrowed
  if (!value) {
    PyErr_Format(PyExc_NameError, "name '%s' is not defined", name);
    throw py::error_already_set();
  }
  return py::reinterpret_borrow<py::object>(value);
}

void set_attr(const char* name, py::handle value) {
  if (PyObject_SetAttrString(g_module, name, value.ptr()) != 0) throw py::error_already_set();
}

bool is_real(py::handle value) {
  if (PyUnicode_Check(value.ptr()) || PyBytes_Check(value.ptr())) return false;
  return PyFloat_Check(value.ptr()) || PyLong_Check(value.ptr()) ||
         (Py_TYPE(value.ptr())->tp_as_number && Py_TYPE(value.ptr())->tp_as_number->nb_float) ||
         PyIndex_Check(value.ptr());
}

double to_real(py::handle value, const char* what) {
  if (!is_real(value)) {
    PyErr_Format(PyExc_TypeError, "%s must be a real number, not %s", what,
                 Py_TYPE(value.ptr())->tp_name);
    throw py::error_already_set();
  }
  const double result = PyFloat_AsDouble(value.ptr());
  if (result == -1.0 && PyErr_Occurred()) throw py::error_already_set();
  return result;
}

double attr_real(const char* name) {
  return to_real(attr(name), name);
}

std::string attr_text(const char* name) {
  return from_text(attr(name), name);
}

bool attr_truthy(const char* name) {
  return truthy(attr(name));
}

bool truthy(py::handle value) {
  const int truth = PyObject_IsTrue(value.ptr());
  if (truth < 0) throw py::error_already_set();
  return truth == 1;
}

void remember_own(const char* name) {
  PyObject* callable = attr(name).release().ptr();  // kept for the life of the process
  g_own_callables.emplace_back(name, callable);
}

bool is_own(const char* name) {
  PyObject* dict = PyModule_GetDict(g_module);
  PyObject* current = PyDict_GetItemString(dict, name);  // borrowed; absent: not ours
  for (const auto& [own_name, callable] : g_own_callables)
    if (own_name == name) return current == callable;
  return false;
}

py::str to_text(std::string_view utf8) {
  PyObject* text =
      PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "replace");
  if (!text) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(text);
}

std::string from_text(py::handle value, const char* what) {
  if (!PyUnicode_Check(value.ptr())) {
    PyErr_Format(PyExc_TypeError, "%s must be text, not %s", what, Py_TYPE(value.ptr())->tp_name);
    throw py::error_already_set();
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
  if (!data) {
    // Lone surrogates cannot be UTF-8; keep them as escapes rather than failing.
    PyErr_Clear();
    PyObject* bytes = PyUnicode_AsEncodedString(value.ptr(), "utf-8", "surrogatepass");
    if (!bytes) throw py::error_already_set();
    std::string out(PyBytes_AS_STRING(bytes), static_cast<std::size_t>(PyBytes_GET_SIZE(bytes)));
    Py_DECREF(bytes);
    return out;
  }
  return std::string(data, static_cast<std::size_t>(size));
}

std::string str_text(py::handle value) {
  if (PyUnicode_Check(value.ptr())) return from_text(value, "value");
  return from_text(py::str(value), "value");
}

std::string database_path() {
  std::string path =
      from_text(py::module_::import("os").attr("fspath")(attr("DB_PATH")), "DB_PATH");
  if (path.find('\0') != std::string::npos) throw py::value_error("embedded null byte");
  return path;
}

void print_line(std::string_view line) {
  PyObject* out = PySys_GetObject("stdout");  // borrowed
  if (!out || out == Py_None) return;
  std::string text(line);
  text += '\n';
  py::reinterpret_borrow<py::object>(out).attr("write")(to_text(text));
}

}  // namespace core_calc::module
