// generate_flight_plan: the host's arguments to a plan request, the request run by
// the core's driver without the GIL, and its plans back as host mappings.
#include <limits>

#include "module/bindings.h"
#include "module/host_sources.h"
#include "module/network_handle.h"
#include "module/plan_convert.h"
#include "module/plan_request.h"
#include "planning/direct_procedures.h"

namespace core_calc::module {

planning::PlanRequest plan_request(py::handle dep_icao, py::handle arr_icao, py::handle batch_size,
                                   py::handle forced_sid, py::handle forced_star,
                                   py::handle forced_iap, py::handle forced_dep_rwy,
                                   py::handle forced_arr_rwy) {
  planning::PlanRequest request;
  request.departure = from_text(dep_icao, "dep_icao");
  request.arrival = from_text(arr_icao, "arr_icao");
  // An integer too large for the native type still means "everything in one batch",
  // and one too small still forms no batch. Other kinds are refused only when the
  // full search needs a batch size.
  if (PyLong_Check(batch_size.ptr())) {
    int overflow = 0;
    long long size = PyLong_AsLongLongAndOverflow(batch_size.ptr(), &overflow);
    if (size == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow > 0) size = std::numeric_limits<long long>::max();
    if (overflow < 0) size = -1;
    request.batch_size = size;
  } else {
    request.batch_size_problem = "batch_size must be an integer";
  }
  // A forced value counts when it is true; it is used as text.
  auto forced = [](py::handle value) { return truthy(value) ? str_text(value) : std::string(); };
  request.forced_sid = forced(forced_sid);
  request.forced_star = forced(forced_star);
  request.forced_iap = forced(forced_iap);
  request.forced_dep_rwy = forced(forced_dep_rwy);
  request.forced_arr_rwy = forced(forced_arr_rwy);
  return request;
}

planning::PlanOutcome run_plan(const planning::PlanRequest& request,
                               std::shared_ptr<const network::RouteNetwork> net,
                               HostSources& sources) {
  try {
    py::gil_scoped_release release;
    return planning::generate_plan(request, net, sources, sources);
  } catch (const planning::SourceError& e) {
    if (e.cause) std::rethrow_exception(e.cause);
    throw;
  } catch (const planning::InvalidRequest& e) {
    if (e.kind == planning::InvalidRequest::Kind::kType) throw py::type_error(e.what());
    throw py::value_error(e.what());
  } catch (const planning::InvalidProcedure& e) {
    throw py::value_error(e.what());
  } catch (const planning::SearchFaultError& e) {
    raise_search_fault(*net, e);
  } catch (const planning::CandidateWithoutCoordinate& e) {
    raise_missing_coordinate(*net, e.node);
  }
}

py::dict plan_mapping(const planning::PlannedRoute& plan, const network::RouteNetwork& net,
                      HostSources& sources, py::handle dep, py::handle arr) {
  py::object star = plan.star ? sources.procedure_object(plan.star) : py::object(py::none());
  py::object approach =
      plan.approach ? sources.approach_object(plan.approach) : py::object(py::none());
  return plan_object(net, plan.route, dep, arr, sources.procedure_object(plan.sid), star, approach);
}

namespace {

py::object generated_plans(const planning::PlanRequest& request, planning::PlanTimes* times) {
  // The call routes on the network it starts with, whatever the host rebinds meanwhile.
  const auto net = global_network();
  HostSources sources(true, py::none());
  const planning::PlanOutcome outcome = run_plan(request, net, sources);
  if (times) *times = outcome.times;
  if (!outcome.generated) return py::none();
  if (!outcome.best) return py::make_tuple(py::none(), py::list());
  py::list alternatives;
  const py::str dep_icao = to_text(request.departure), arr_icao = to_text(request.arrival);
  for (const planning::PlannedRoute& plan : outcome.alternatives)
    alternatives.append(plan_mapping(plan, *net, sources, dep_icao, arr_icao));
  return py::make_tuple(plan_mapping(*outcome.best, *net, sources, dep_icao, arr_icao),
                        alternatives);
}

py::object generate_flight_plan(py::object dep_icao, py::object arr_icao, py::object batch_size,
                                py::object forced_sid, py::object forced_star,
                                py::object forced_iap, py::object forced_dep_rwy,
                                py::object forced_arr_rwy) {
  return generated_plans(plan_request(dep_icao, arr_icao, batch_size, forced_sid, forced_star,
                                      forced_iap, forced_dep_rwy, forced_arr_rwy),
                         nullptr);
}

}  // namespace

void def_plan_generation(py::module_& m) {
  def_process_batch(m);
  m.def("generate_flight_plan", &generate_flight_plan, py::arg("dep_icao"), py::arg("arr_icao"),
        py::arg("batch_size") = 20, py::arg("forced_sid") = py::none(),
        py::arg("forced_star") = py::none(), py::arg("forced_iap") = py::none(),
        py::arg("forced_dep_rwy") = py::none(), py::arg("forced_arr_rwy") = py::none(),
        doc::kGenerate);
  // generate_flight_plan that also reports where the time went; for benchmarks.
  m.def(
      "_profile_generate_flight_plan",
      [](py::object dep_icao, py::object arr_icao, py::object batch_size) {
        planning::PlanTimes times;
        py::object result =
            generated_plans(plan_request(dep_icao, arr_icao, batch_size, py::none(), py::none(),
                                         py::none(), py::none(), py::none()),
                            &times);
        py::dict stats;
        stats["total_seconds"] = times.total_seconds;
        stats["search_seconds"] = times.search_seconds;
        stats["searches_asked"] = times.searches_asked;
        stats["searches_run"] = times.searches_run;
        return py::make_tuple(result, stats);
      },
      py::arg("dep_icao"), py::arg("arr_icao"), py::arg("batch_size") = 20, doc::kProfileGenerate);
}

}  // namespace core_calc::module
