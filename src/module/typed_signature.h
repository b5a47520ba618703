// The module's callables as help() and inspect show them: the typed signatures of
// the type stub (generated into stub_signatures.h), the docstring without
// pybind11's signature line, and the module as their home.
//
// pybind11 functions report their parameters as "object" and, having a function
// record as __self__, read in help() as "method of pybind11_builtins...
// instance". Each module function and public method with a signature in the stub
// is therefore replaced by a thin native function object that forwards its calls
// unchanged (vectorcall) to the pybind11 function, now its __wrapped__, and offers
// __signature__ (inspect.Signature with the stub's annotations and defaults),
// __name__, __qualname__, __module__ and __doc__. Bound to an instance it behaves
// as a method.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>

namespace core_calc::module {

struct SignatureParameter {
  const char* name;
  int kind;                   // inspect.Parameter kinds: 0 positional-only ... 4 **kwargs
  const char* annotation;     // as the stub writes it; null when none
  const char* default_value;  // a literal as the stub writes it; null when none
};

struct TypedSignature {
  const char* qualname;  // "plan_for_api", "SpatialGrid.add_point"
  const SignatureParameter* parameters;
  std::size_t count;
  const char* returns;  // null when none
};

// Replaces the callables of `m` (and of its classes) that kStubSignatures names.
void give_typed_signatures(pybind11::module_& m);

}  // namespace core_calc::module
