// get_best_runway_and_wind: the weather request, the runway query and the ranking.
#include <optional>
#include <utility>

#include "common/parallel.h"
#include "common/plan_texts.h"
#include "module/bindings.h"
#include "module/own_readers.h"
#include "module/record_convert.h"
#include "navdata/procedure_table.h"
#include "navdata/runway_selection.h"
#include "navdata/weather_client.h"
#include "navdata/wind_report.h"

namespace core_calc::module {
namespace {

using navdata::SqlValue;
using navdata::WindReport;

struct ServiceConfig {
  std::string base_url;
  std::string api_key;
};

// The service settings at this moment; settings that cannot be read (deleted or
// not text) mean no usable service, like an unreachable one.
std::optional<ServiceConfig> read_service_config() {
  try {
    return ServiceConfig{attr_text("WEATHER_API_URL"), attr_text("WEATHER_API_KEY")};
  } catch (const py::error_already_set&) {
    return std::nullopt;  // the host's error is consumed: the weather never fails a call
  }
}

WindReport fetch_wind(const std::string& icao_upper) {
  const std::optional<ServiceConfig> config = read_service_config();
  if (!config) return {};
  py::gil_scoped_release release;
  return navdata::fetch_wind_report(config->base_url, config->api_key, icao_upper);
}

// The runway table through the module's own _tn, so a host that rebinds either
// _tn or TABLE_SUFFIX is honoured. A name that cannot be formed is a failed query.
std::optional<std::string> runway_table() {
  try {
    return from_text(attr("_tn")(py::str("tbl_runways")), "table name");
  } catch (const py::error_already_set&) {
    return std::nullopt;
  }
}

navdata::RunwayChoice read_choice(const std::string& icao_upper, const WindReport& wind) {
  const std::string db_path = database_path();
  const std::optional<std::string> table = runway_table();
  py::gil_scoped_release release;
  if (!table) {
    const auto lease = connection_pool().lease(db_path);  // opening still comes first
    return {};
  }
  return navdata::choose_runways(connection_pool(), db_path, *table, icao_upper, wind);
}

// The direction with the kind the service gave it, "N/A" without a report.
py::object wind_display(const WindReport& wind) {
  switch (wind.kind) {
    case WindReport::Kind::kText:
      return to_text(wind.text);
    case WindReport::Kind::kInteger:
      return py::int_(wind.integer);
    case WindReport::Kind::kUnsigned:
      return py::int_(wind.unsigned_integer);
    case WindReport::Kind::kReal:
      return py::float_(wind.real);
    case WindReport::Kind::kNoReport:
      break;
  }
  return py::str(kNotAvailable);
}

struct RankedRunways {
  navdata::RunwayChoice choice;
  WindReport wind;
};

RankedRunways rank_runways(py::handle icao_code) {
  const std::string icao_upper = from_text(icao_code.attr("upper")(), "icao_code");
  WindReport wind = fetch_wind(icao_upper);
  return {read_choice(icao_upper, wind), std::move(wind)};
}

py::tuple best_runway_and_wind(py::handle icao_code) {
  const RankedRunways ranked = rank_runways(icao_code);
  py::list runways;
  for (const SqlValue& id : ranked.choice.runways) runways.append(host_value(id));
  return py::make_tuple(runways, wind_display(ranked.wind));
}

}  // namespace

namespace {

planning::RunwayRanking ranking_text(const RankedRunways& ranked) {
  planning::RunwayRanking out;
  for (const SqlValue& id : ranked.choice.runways) out.runways.push_back(navdata::stored_text(id));
  out.wind = navdata::wind_display_text(ranked.wind);
  return out;
}

}  // namespace

planning::RunwayRanking own_runways(py::handle icao_code) {
  return ranking_text(rank_runways(icao_code));
}

std::pair<planning::RunwayRanking, planning::RunwayRanking> own_runways_of_both(
    py::handle departure, py::handle arrival) {
  const std::string dep_upper = from_text(departure.attr("upper")(), "icao_code");
  const std::string arr_upper = from_text(arrival.attr("upper")(), "icao_code");
  // The two weather requests are independent, so an unreachable service costs
  // its time limit once, not twice.
  WindReport dep_wind, arr_wind;
  const std::optional<ServiceConfig> config = read_service_config();
  if (config && !config->base_url.empty()) {
    py::gil_scoped_release release;
    run_side_by_side(
        [&] {
          dep_wind = navdata::fetch_wind_report(config->base_url, config->api_key, dep_upper);
        },
        [&] {
          arr_wind = navdata::fetch_wind_report(config->base_url, config->api_key, arr_upper);
        });
  }
  RankedRunways dep{read_choice(dep_upper, dep_wind), dep_wind};
  RankedRunways arr{read_choice(arr_upper, arr_wind), arr_wind};
  return {ranking_text(dep), ranking_text(arr)};
}

void def_runway_selection(py::module_& m) {
  m.def(
      "get_best_runway_and_wind",
      [](py::object icao_code) { return best_runway_and_wind(icao_code); }, py::arg("icao_code"),
      doc::kRunways);
}

}  // namespace core_calc::module
