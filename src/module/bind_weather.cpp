// get_best_runway_and_wind: the weather request, the runway query and the ranking.
#include <optional>

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
  return py::str("N/A");
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

planning::RunwayRanking own_runways(py::handle icao_code) {
  const RankedRunways ranked = rank_runways(icao_code);
  planning::RunwayRanking out;
  for (const SqlValue& id : ranked.choice.runways) out.runways.push_back(navdata::stored_text(id));
  out.wind = navdata::wind_display_text(ranked.wind);
  return out;
}

void def_runway_selection(py::module_& m) {
  m.def(
      "get_best_runway_and_wind",
      [](py::object icao_code) { return best_runway_and_wind(icao_code); }, py::arg("icao_code"));
}

}  // namespace core_calc::module
