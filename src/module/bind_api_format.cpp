// format_for_api: the host's plan mapping as a native plan, formatted by the core
// with sources read from the module attributes, and the record back as host values.
// The GIL stays held: the sources are host attributes consulted during the walk,
// and the work itself takes microseconds.
#include "module/api_record_convert.h"
#include "module/bindings.h"
#include "module/flight_plan_convert.h"
#include "module/format_sources.h"

namespace core_calc::module {
namespace {

py::object format_for_api(py::object plan) {
  if (plan.is_none() || !truthy(plan)) return py::none();
  if (!py::hasattr(plan, "get") || PyUnicode_Check(plan.ptr())) {
    PyErr_Format(PyExc_TypeError, "plan must be a mapping, not %s", Py_TYPE(plan.ptr())->tp_name);
    throw py::error_already_set();
  }
  const planning::FlightPlan native = plan_input(plan);
  HostFormatSources sources;
  planning::ApiRecord record;
  try {
    record = planning::format_for_api(native, sources);
  } catch (const planning::FormatError& error) {
    raise_format_error(error);
  }
  return record_object(record, {sources.departure_value(), sources.arrival_value()});
}

constexpr const char* kFormatDoc = R"doc(The API record of a plan from generate_flight_plan.

Returns None for None or an empty plan, else a dict with, in order: "success",
"message", "origin", "destination", "dep_runway", "arr_runway", "distance_km"
(whole kilometres of the plan's distance, search penalties included),
"route_string", "detailed_waypoints" (name, lat, lon in degrees rounded to 8
decimals, airway, seqno, direction_restriction) and "procedures" (sid, star, iap,
iap_trans).

Reads the module attributes AIRWAY_META, GLOBAL_NETWORK (only for a departure
connector given by fix name), recommendeddep and recommendedarr at the call;
writes none.)doc";

}  // namespace

void def_api_format(py::module_& m) {
  m.def("format_for_api", &format_for_api, py::arg("plan"), kFormatDoc);
}

}  // namespace core_calc::module
