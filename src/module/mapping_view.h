// Read-only mapping protocol for views of native data. A view type provides
//   std::size_t size() const;
//   std::vector<py::object> key_list() const;             // in insertion order
//   py::object lookup(py::handle key) const;               // null object when absent
//   py::object on_missing(py::handle key) const;           // value for [] of an absent key,
//                                                          // or a null object for KeyError
// and gets len, in, iteration, [], get, keys, values, items, == and repr. Values are
// built only when read.
#pragma once

#include <vector>

#include "module/module_state.h"

namespace core_calc::module {

inline py::list to_list(const std::vector<py::object>& items) {
  py::list out(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) out[i] = items[i];
  return out;
}

template <class View>
py::dict view_as_dict(const View& view) {
  py::dict out;
  for (const py::object& key : view.key_list()) out[key] = view.lookup(key);
  return out;
}

template <class View, class... Extra>
void add_mapping_methods(py::class_<View, Extra...>& cls) {
  cls.def("__len__", [](const View& v) { return v.size(); })
      .def("__iter__", [](const View& v) { return py::iter(to_list(v.key_list())); })
      .def("__contains__", [](const View& v, py::handle key) { return bool(v.lookup(key)); })
      .def("__getitem__",
           [](const View& v, py::handle key) {
             py::object value = v.lookup(key);
             if (value) return value;
             value = v.on_missing(key);
             if (value) return value;
             // A tuple key is one argument of the KeyError, not its argument list.
             PyErr_SetObject(PyExc_KeyError, py::make_tuple(key).ptr());
             throw py::error_already_set();
           })
      .def(
          "get",
          [](const View& v, py::handle key, py::object fallback) {
            py::object value = v.lookup(key);
            return value ? value : fallback;
          },
          py::arg("key"), py::arg("default") = py::none())
      .def("keys", [](const View& v) { return to_list(v.key_list()); })
      .def("values",
           [](const View& v) {
             py::list out;
             for (const py::object& key : v.key_list()) out.append(v.lookup(key));
             return out;
           })
      .def("items",
           [](const View& v) {
             py::list out;
             for (const py::object& key : v.key_list())
               out.append(py::make_tuple(key, v.lookup(key)));
             return out;
           })
      .def("__eq__",
           [](const View& v, py::object other) -> py::object {
             if (!PyDict_Check(other.ptr()) && !py::isinstance<View>(other))
               return py::reinterpret_borrow<py::object>(Py_NotImplemented);
             py::object rhs = PyDict_Check(other.ptr())
                                  ? other
                                  : py::object(view_as_dict(other.cast<const View&>()));
             return py::bool_(view_as_dict(v).equal(rhs));
           })
      .def("__repr__", [](const View& v) { return py::repr(view_as_dict(v)); });
  cls.attr("__hash__") = py::none();
}

// Registers a view class as a collections.abc.Mapping so hosts can treat it as one.
inline void register_as_mapping(py::handle cls) {
  py::module_::import("collections.abc").attr("Mapping").attr("register")(cls);
}

}  // namespace core_calc::module
