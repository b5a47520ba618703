#include "planning/database_sources.h"

#include "common/number_text.h"
#include "common/parallel.h"
#include "navdata/airport_position.h"
#include "navdata/approach_reader.h"
#include "navdata/procedure_reader.h"
#include "navdata/procedure_table.h"
#include "navdata/runway_selection.h"
#include "navdata/weather_client.h"
#include "network/direct_candidates.h"
#include "planning/direct_procedures.h"

namespace core_calc::planning {

ProcedureList read_procedure_list(navdata::ConnectionPool& pool, const std::string& db_path,
                                  const std::string& icao, const std::string& table,
                                  const std::optional<std::string>& runway, PlanReport& report) {
  navdata::ProcedureLoad load =
      navdata::load_procedures(pool, db_path, icao, table, runway.value_or(""));
  if (!load.failure.empty()) report.line(load.failure);
  ProcedureList list;
  list.reserve(load.procedures.size());
  for (navdata::ProcedureRecord& record : load.procedures) {
    std::string key = record.name;
    list.emplace_back(std::move(key),
                      std::make_shared<const navdata::ProcedureRecord>(std::move(record)));
  }
  return list;
}

std::vector<ApproachPtr> read_approach_list(navdata::ConnectionPool& pool,
                                            const std::string& db_path, const std::string& icao,
                                            const std::string& table, const std::string& runway,
                                            PlanReport& report) {
  navdata::ApproachLoad load = navdata::load_approaches(pool, db_path, icao, table, runway);
  if (!load.failure.empty()) report.line(load.failure);
  std::vector<ApproachPtr> list;
  list.reserve(load.approaches.size());
  for (navdata::ApproachRecord& record : load.approaches)
    list.push_back(std::make_shared<const navdata::ApproachRecord>(std::move(record)));
  return list;
}

std::optional<navdata::Position> read_reference_point(navdata::ConnectionPool& pool,
                                                      const std::string& db_path,
                                                      const std::string& code,
                                                      const std::string& code_as_passed,
                                                      PlanReport& report) {
  const navdata::AirportPositionLoad load =
      navdata::load_airport_position(pool, db_path, code, code_as_passed);
  if (!load.failure.empty()) report.line(load.failure);
  return load.position;
}

RunwayRanking rank_runways_by_wind(navdata::ConnectionPool& pool, const std::string& db_path,
                                   const std::string& runway_table, const std::string& icao_upper,
                                   const navdata::WindReport& wind) {
  RunwayRanking ranking;
  for (const navdata::SqlValue& id :
       navdata::choose_runways(pool, db_path, runway_table, icao_upper, wind).runways)
    ranking.runways.push_back(navdata::stored_text(id));
  ranking.wind = navdata::wind_display_text(wind);
  return ranking;
}

std::vector<ProcedurePtr> read_direct_procedures(DirectKind kind, const network::RouteNetwork& net,
                                                 const std::string& icao, double lat, double lon,
                                                 double radius_km, const std::string& radius_text,
                                                 std::int64_t count, double grid_size,
                                                 const std::string& name, PlanReport& report) {
  const auto candidates = network::direct_candidates(net, lat, lon, radius_km, count, grid_size);
  if (candidates.empty()) {
    report.line(no_candidate_line(kind, icao, radius_text));
    return {};
  }
  auto procs = planning::direct_procedures(kind, icao, lat, lon, name, candidates);
  report.line(candidate_line(kind, icao, candidates));
  return procs;
}

std::string upper_ascii(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

DatabaseSources::DatabaseSources(DatabaseSourceConfig config,
                                 std::shared_ptr<const network::RouteNetwork> network,
                                 std::shared_ptr<navdata::ConnectionPool> pool, PlanReport& report)
    : config_(std::move(config)),
      network_(std::move(network)),
      pool_(std::move(pool)),
      report_(report) {}

DatabaseSources::DatabaseSources(DatabaseSourceConfig config,
                                 std::shared_ptr<const network::RouteNetwork> network,
                                 PlanReport& report)
    : DatabaseSources(std::move(config), std::move(network),
                      std::make_shared<navdata::ConnectionPool>(), report) {}

navdata::WindReport DatabaseSources::wind(const std::string& code) const {
  if (config_.weather_url.empty()) return {};
  return navdata::fetch_wind_report(config_.weather_url, config_.weather_key, code);
}

RunwayRanking DatabaseSources::runways(const std::string& icao) {
  const std::string code = upper_ascii(icao);
  return rank_runways_by_wind(*pool_, config_.db_path, "tbl_runways" + config_.table_suffix, code,
                              wind(code));
}

std::pair<RunwayRanking, RunwayRanking> DatabaseSources::runways_of_both(
    const std::string& departure, const std::string& arrival) {
  const std::string dep = upper_ascii(departure), arr = upper_ascii(arrival);
  navdata::WindReport dep_wind, arr_wind;
  if (!config_.weather_url.empty())
    run_side_by_side([&] { dep_wind = wind(dep); }, [&] { arr_wind = wind(arr); });
  const std::string table = "tbl_runways" + config_.table_suffix;
  return {rank_runways_by_wind(*pool_, config_.db_path, table, dep, dep_wind),
          rank_runways_by_wind(*pool_, config_.db_path, table, arr, arr_wind)};
}

ProcedureList DatabaseSources::procedures(const std::string& icao, ProcedureTable table,
                                          const std::optional<std::string>& runway) {
  return guarded_read([&] {
    return read_procedure_list(*pool_, config_.db_path, icao,
                               table_base(table) + config_.table_suffix, runway, report_);
  });
}

std::vector<ApproachPtr> DatabaseSources::approaches(const std::string& icao,
                                                     const std::string& runway) {
  return guarded_read([&] {
    return read_approach_list(*pool_, config_.db_path, icao, "tbl_iaps" + config_.table_suffix,
                              runway, report_);
  });
}

std::optional<navdata::Position> DatabaseSources::reference_point(const std::string& icao) {
  return guarded_read([&] {
    return read_reference_point(*pool_, config_.db_path, upper_ascii(icao), icao, report_);
  });
}

std::vector<ProcedurePtr> DatabaseSources::direct_procedures(DirectKind kind,
                                                             const std::string& icao, double lat,
                                                             double lon) {
  return read_direct_procedures(kind, *network_, icao, lat, lon, config_.direct_radius_km,
                                float_text(config_.direct_radius_km), config_.direct_count,
                                config_.grid_size.value, direct_name(kind), report_);
}

std::string DatabaseSources::direct_name(DirectKind kind) {
  return kind == DirectKind::kDeparture ? config_.direct_departure_name
                                        : config_.direct_arrival_name;
}

const SettingValue& DatabaseSources::value(Setting which) const {
  switch (which) {
    case Setting::kSidJoinRadius:
      return config_.sid_join_radius;
    case Setting::kSidJoinRadiusFallback:
      return config_.sid_join_radius_fallback;
    case Setting::kSidBearingLimit:
      return config_.sid_bearing_limit;
    case Setting::kSidBearingLimitOff:
      return config_.sid_bearing_limit_off;
    case Setting::kGridSize:
      break;
  }
  return config_.grid_size;
}

}  // namespace core_calc::planning
