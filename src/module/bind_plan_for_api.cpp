// plan_for_api: plan generation and API formatting for one request, safe from any
// number of host threads. It writes no module attribute (the runways of the
// request go into its own records), reads the network and the configuration at
// the call, sends its diagnostic lines to `report` when one is given, and runs all
// native work without the GIL.
#include "module/airway_meta_handle.h"
#include "module/api_record_convert.h"
#include "module/bindings.h"
#include "module/format_sources.h"
#include "module/network_handle.h"
#include "module/plan_request.h"
#include "planning/api_format_sources.h"
#include "planning/plan_output.h"

namespace core_calc::module {
namespace {

// A mapping the host assigned to AIRWAY_META is read with the GIL held, and the
// request's own runways replace the recommended ones.
class HostMetaFormatSources final : public planning::FormatSources {
 public:
  HostMetaFormatSources(std::string departure, std::string arrival)
      : departure_(std::move(departure)), arrival_(std::move(arrival)) {}
  planning::AirwayPointMeta airway_point(const std::optional<std::string>& route_id,
                                         const planning::PlanNode& node) override {
    return host_.airway_point(route_id, node);
  }
  std::optional<planning::GeoPoint> network_position(const std::string& fix) override {
    return host_.network_position(fix);
  }
  std::string departure_runway() override { return departure_; }
  std::string arrival_runway() override { return arrival_; }

 private:
  HostFormatSources host_;
  std::string departure_, arrival_;
};

std::string first_or_none(const std::vector<std::string>& runways) {
  return runways.empty() ? std::string(planning::kNotAvailable) : runways.front();
}

py::object plan_for_api(py::object dep_icao, py::object arr_icao, py::object batch_size,
                        py::object forced_sid, py::object forced_star, py::object forced_iap,
                        py::object forced_dep_rwy, py::object forced_arr_rwy, py::object report) {
  const planning::PlanRequest request =
      plan_request(dep_icao, arr_icao, batch_size, forced_sid, forced_star, forced_iap,
                   forced_dep_rwy, forced_arr_rwy);
  const auto net = global_network();
  const auto meta = native_airway_meta(attr("AIRWAY_META"));
  HostSources sources(false, report);
  const planning::PlanOutcome outcome = run_plan(request, net, sources);
  if (!outcome.generated) return py::none();

  const std::string dep_runway = first_or_none(outcome.departure_runways.runways);
  const std::string arr_runway = first_or_none(outcome.arrival_runways.runways);
  auto record_of = [&](const planning::PlannedRoute& route) {
    const planning::FlightPlan plan =
        planning::flight_plan(route, *net, request.departure, request.arrival);
    planning::ApiRecord record;
    try {
      if (meta) {
        py::gil_scoped_release release;
        planning::NetworkFormatSources format(meta, net, dep_runway, arr_runway);
        record = planning::format_for_api(plan, format);
      } else {
        HostMetaFormatSources format(dep_runway, arr_runway);
        record = planning::format_for_api(plan, format);
      }
    } catch (const planning::FormatError& error) {
      raise_format_error(error);
    }
    planning::extend_record(record, planning::plan_runways(route, outcome, request));
    return record_object(record);
  };
  py::dict result;
  result["plan"] = outcome.best ? record_of(*outcome.best) : py::object(py::none());
  py::list alternatives;
  for (const planning::PlannedRoute& route : outcome.alternatives)
    alternatives.append(record_of(route));
  result["alternatives"] = alternatives;
  return result;
}

constexpr const char* kPlanForApiDoc =
    R"doc(Plans a route and returns its API records; safe from any number of threads.

Runs exactly the plan generation of generate_flight_plan (same plan, same
alternatives, same diagnostic lines) and formats the plans. Returns None when the
network is not loaded, the departure has no SID, or a forced SID does not exist;
otherwise {"plan": record or None, "alternatives": [records]}.

Each record starts with the keys of format_for_api (with this request's runways),
followed by "flown_distance_km" and "flown_distance_nm" (great-circle legs between
the waypoints; 1 NM = 1.852 km), "legs" (from, to, airway, course in degrees true,
distance_nm) and "runways" (departure and arrival as flown, the ranked lists and
the wind texts of both airports).

report: a callable that receives each diagnostic line (a str without newline)
instead of sys.stdout.

Reads GLOBAL_NETWORK, AIRWAY_META, DB_PATH, TABLE_SUFFIX, the tuning constants,
WEATHER_API_URL and WEATHER_API_KEY, and calls the module's readers through their
attributes; writes no module attribute (recommendeddep and recommendedarr stay as
they are).)doc";

}  // namespace

void def_plan_for_api(py::module_& m) {
  m.def("plan_for_api", &plan_for_api, py::arg("dep_icao"), py::arg("arr_icao"),
        py::arg("batch_size") = 20, py::arg("forced_sid") = py::none(),
        py::arg("forced_star") = py::none(), py::arg("forced_iap") = py::none(),
        py::arg("forced_dep_rwy") = py::none(), py::arg("forced_arr_rwy") = py::none(),
        py::arg("report") = py::none(), kPlanForApiDoc);
}

}  // namespace core_calc::module
