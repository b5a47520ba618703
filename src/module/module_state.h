// The module object and what every binding needs from it: attributes read at the
// moment of use, diagnostic lines on the host's sys.stdout, host text values.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <string_view>

#include "navdata/connection_pool.h"

namespace core_calc::module {

namespace py = pybind11;

// Set once when the module is executed; the module lives for the whole process.
void set_module(PyObject* module);
py::module_ the_module();

// The database connections of the module's reading calls, shared by all host
// threads. Created once when the module is executed; lives for the whole process.
void create_connection_pool();
navdata::ConnectionPool& connection_pool();

// Current value of a module attribute; a deleted attribute raises NameError naming it.
py::object attr(const char* name);
void set_attr(const char* name, py::handle value);

// Typed readings of attributes, with a TypeError naming the attribute otherwise.
double attr_real(const char* name);
std::string attr_text(const char* name);
bool attr_truthy(const char* name);

// The host's truth value of any value; its error (a failing __bool__) is raised.
bool truthy(py::handle value);

// The module's own callables, remembered when they are defined, so a caller can
// tell whether the host has rebound an attribute to a function of its own.
void remember_own(const char* name);
bool is_own(const char* name);

// Real number of a host value (int, float, bool or anything with __float__ that is
// not text); TypeError naming `what` otherwise.
double to_real(py::handle value, const char* what);
bool is_real(py::handle value);

// Host text from UTF-8 bytes; bytes that are not UTF-8 are replaced, never raised.
py::str to_text(std::string_view utf8);
// UTF-8 bytes of a host text; TypeError naming `what` when the value is not text.
std::string from_text(py::handle value, const char* what);

// A host value as its str() writes it, in UTF-8.
std::string str_text(py::handle value);

// The navigation database path: DB_PATH as the host's os.fspath() gives it. A
// path containing a NUL character raises ValueError, as the host's own file
// functions do: no file has that name.
std::string database_path();

// One diagnostic line on the host's sys.stdout, written in a single call.
void print_line(std::string_view line);

}  // namespace core_calc::module
