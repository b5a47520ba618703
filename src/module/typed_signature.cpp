#include "module/typed_signature.h"

#include <structmember.h>

#include <string>

#include "module/stub_signatures.h"

namespace core_calc::module {
namespace {

namespace py = pybind11;

struct TypedFunction {
  PyObject_HEAD vectorcallfunc vectorcall;
  PyObject* wrapped;    // the pybind11 function
  PyObject* name;       // str
  PyObject* qualname;   // str
  PyObject* module;     // str
  PyObject* doc;        // str or None
  PyObject* signature;  // inspect.Signature, built when first asked for
  const TypedSignature* typed;
};

PyObject* g_annotation_type = nullptr;  // str whose repr() is itself

PyObject* forward(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
  return PyObject_Vectorcall(reinterpret_cast<TypedFunction*>(self)->wrapped, args, nargsf,
                             kwnames);
}

void dealloc(PyObject* self) {
  auto* f = reinterpret_cast<TypedFunction*>(self);
  Py_XDECREF(f->wrapped);
  Py_XDECREF(f->name);
  Py_XDECREF(f->qualname);
  Py_XDECREF(f->module);
  Py_XDECREF(f->doc);
  Py_XDECREF(f->signature);
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

// A method when reached through an instance, itself through its class or module.
PyObject* descr_get(PyObject* self, PyObject* obj, PyObject*) {
  if (obj == nullptr || obj == Py_None) return Py_NewRef(self);
  return PyMethod_New(self, obj);
}

PyObject* repr(PyObject* self) {
  auto* f = reinterpret_cast<TypedFunction*>(self);
  return PyUnicode_FromFormat("<native function %U.%U>", f->module, f->qualname);
}

py::object annotation(const char* text) {
  return py::reinterpret_borrow<py::object>(g_annotation_type)(py::str(text));
}

py::object build_signature(const TypedSignature& typed) {
  const py::module_ inspect = py::module_::import("inspect");
  const py::module_ ast = py::module_::import("ast");
  const py::object parameter = inspect.attr("Parameter");
  const py::object empty = parameter.attr("empty");
  const char* kinds[] = {"POSITIONAL_ONLY", "POSITIONAL_OR_KEYWORD", "VAR_POSITIONAL",
                         "KEYWORD_ONLY", "VAR_KEYWORD"};
  py::list parameters;
  for (std::size_t i = 0; i < typed.count; ++i) {
    const SignatureParameter& p = typed.parameters[i];
    py::object default_value = empty;
    if (p.default_value) {
      try {
        default_value = ast.attr("literal_eval")(p.default_value);
      } catch (py::error_already_set&) {
        default_value = annotation(p.default_value);  // shown as written
      }
    }
    parameters.append(
        parameter(p.name, parameter.attr(kinds[p.kind]), py::arg("default") = default_value,
                  py::arg("annotation") = p.annotation ? annotation(p.annotation) : empty));
  }
  return inspect.attr("Signature")(
      parameters, py::arg("return_annotation") = typed.returns ? annotation(typed.returns) : empty);
}

PyObject* get_signature(PyObject* self, void*) {
  auto* f = reinterpret_cast<TypedFunction*>(self);
  if (!f->signature) {
    try {
      f->signature = build_signature(*f->typed).release().ptr();
    } catch (py::error_already_set& e) {
      e.restore();
      return nullptr;
    }
  }
  return Py_NewRef(f->signature);
}

// Pickled by reference, as functions are.
PyObject* reduce(PyObject* self, PyObject*) {
  return Py_NewRef(reinterpret_cast<TypedFunction*>(self)->qualname);
}

PyMemberDef g_members[] = {
    {"__vectorcalloffset__", T_PYSSIZET, offsetof(TypedFunction, vectorcall), READONLY, nullptr},
    {"__wrapped__", T_OBJECT, offsetof(TypedFunction, wrapped), READONLY, nullptr},
    {"__name__", T_OBJECT, offsetof(TypedFunction, name), READONLY, nullptr},
    {"__qualname__", T_OBJECT, offsetof(TypedFunction, qualname), READONLY, nullptr},
    {"__module__", T_OBJECT, offsetof(TypedFunction, module), READONLY, nullptr},
    {"__doc__", T_OBJECT, offsetof(TypedFunction, doc), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr}};

PyGetSetDef g_getset[] = {{"__signature__", get_signature, nullptr, nullptr, nullptr},
                          {nullptr, nullptr, nullptr, nullptr, nullptr}};

PyMethodDef g_methods[] = {{"__reduce__", reduce, METH_NOARGS, nullptr},
                           {nullptr, nullptr, 0, nullptr}};

PyType_Slot g_slots[] = {{Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
                         {Py_tp_call, reinterpret_cast<void*>(PyVectorcall_Call)},
                         {Py_tp_descr_get, reinterpret_cast<void*>(descr_get)},
                         {Py_tp_repr, reinterpret_cast<void*>(repr)},
                         {Py_tp_members, g_members},
                         {Py_tp_getset, g_getset},
                         {Py_tp_methods, g_methods},
                         {0, nullptr}};

PyType_Spec g_spec = {
    "core_calc.native_function", sizeof(TypedFunction), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_VECTORCALL | Py_TPFLAGS_METHOD_DESCRIPTOR, g_slots};

// pybind11's docstring without its own signature line ("name(...) -> ...").
py::object own_doc(py::handle native, const std::string& name) {
  py::object doc = native.attr("__doc__");
  if (doc.is_none()) return doc;
  std::string text = py::str(doc);
  if (text.starts_with(name + "(")) {
    const std::size_t end = text.find('\n');
    text = end == std::string::npos ? std::string() : text.substr(end + 1);
    while (!text.empty() && text.front() == '\n') text.erase(0, 1);
  }
  return py::str(text);
}

py::object typed_function(PyTypeObject* type, py::handle native, const TypedSignature& typed,
                          const std::string& name) {
  auto* f = PyObject_New(TypedFunction, type);
  if (!f) throw py::error_already_set();
  f->vectorcall = forward;
  f->wrapped = Py_NewRef(native.ptr());
  f->name = py::str(name).release().ptr();
  f->qualname = py::str(typed.qualname).release().ptr();
  f->module = py::str("core_calc").release().ptr();
  f->doc = own_doc(native, name).release().ptr();
  f->signature = nullptr;
  f->typed = &typed;
  return py::reinterpret_steal<py::object>(reinterpret_cast<PyObject*>(f));
}

}  // namespace

void give_typed_signatures(py::module_& m) {
  py::object builtins = py::module_::import("builtins");
  py::dict members;
  members["__repr__"] = builtins.attr("str").attr("__str__");
  members["__slots__"] = py::tuple();
  members["__module__"] = "core_calc";
  g_annotation_type =
      builtins.attr("type")("annotation", py::make_tuple(builtins.attr("str")),
                            members)
          .release()
          .ptr();  // lives with the module, for the process
  auto* type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&g_spec));
  if (!type) throw py::error_already_set();
  const py::object keep = py::reinterpret_steal<py::object>(reinterpret_cast<PyObject*>(type));
  for (const TypedSignature& typed : kStubSignatures) {
    const std::string qualname = typed.qualname;
    const std::size_t dot = qualname.find('.');
    py::object owner = m;
    std::string name = qualname;
    if (dot != std::string::npos) {
      if (!py::hasattr(m, qualname.substr(0, dot).c_str())) continue;
      owner = m.attr(qualname.substr(0, dot).c_str());
      name = qualname.substr(dot + 1);
    }
    if (!py::hasattr(owner, name.c_str())) continue;
    py::object native = owner.attr(name.c_str());
    if (PyMethod_Check(native.ptr())) continue;  // not reached through the class
    if (PyInstanceMethod_Check(native.ptr()))
      native = py::reinterpret_borrow<py::object>(PyInstanceMethod_GET_FUNCTION(native.ptr()));
    if (!PyCFunction_Check(native.ptr())) continue;
    py::setattr(owner, name.c_str(), typed_function(type, native, typed, name));
  }
}

}  // namespace core_calc::module
