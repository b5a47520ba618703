// Plan sources over a navigation database and a loaded network, for C++ callers
// and for the module when the host has not replaced its readers: the database
// readers, the weather service and the network's direct candidates.
//
// The reading functions below are also the building blocks the module calls with
// the paths and names it reads from its attributes at the moment of use. Each
// reads through a connection leased from `pool`, prints its reader's failure line
// to `report` as the reader's guard would (a missing file is such a failure), and
// throws a DatabaseError when a file that exists cannot be opened.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/plan_texts.h"
#include "navdata/connection_pool.h"
#include "navdata/wind_report.h"
#include "network/route_network.h"
#include "planning/plan_sources.h"

namespace core_calc::planning {

ProcedureList read_procedure_list(navdata::ConnectionPool& pool, const std::string& db_path,
                                  const std::string& icao, const std::string& table,
                                  const std::optional<std::string>& runway, PlanReport& report);

std::vector<ApproachPtr> read_approach_list(navdata::ConnectionPool& pool,
                                            const std::string& db_path, const std::string& icao,
                                            const std::string& table, const std::string& runway,
                                            PlanReport& report);

// `code` is bound as given (callers upper-case it); `code_as_passed` names the
// airport in the failure line.
std::optional<navdata::Position> read_reference_point(navdata::ConnectionPool& pool,
                                                      const std::string& db_path,
                                                      const std::string& code,
                                                      const std::string& code_as_passed,
                                                      PlanReport& report);

// Runways of `runway_table` ranked against `wind`, identifiers as text.
RunwayRanking rank_runways_by_wind(navdata::ConnectionPool& pool, const std::string& db_path,
                                   const std::string& runway_table, const std::string& icao_upper,
                                   const navdata::WindReport& wind);

// Direct candidates within radius_km, reported as the direct builders report them.
std::vector<ProcedurePtr> read_direct_procedures(DirectKind kind, const network::RouteNetwork& net,
                                                 const std::string& icao, double lat, double lon,
                                                 double radius_km, const std::string& radius_text,
                                                 std::int64_t count, double grid_size,
                                                 const std::string& name, PlanReport& report);

// ASCII upper case, as airport codes are written.
std::string upper_ascii(std::string text);

struct SettingValue {
  double value;
  std::string text;  // as diagnostic lines write it
};

struct DatabaseSourceConfig {
  std::string db_path = "nav.db";
  std::string table_suffix;  // appended to the switchable tables' names
  std::string weather_url;   // empty: no weather service
  std::string weather_key;
  double direct_radius_km = 100.0;
  std::int64_t direct_count = 12;
  std::string direct_departure_name = kDirectLeg;
  std::string direct_arrival_name = kNoStar;
  SettingValue sid_join_radius{5.0, "5.0"};
  SettingValue sid_join_radius_fallback{60.0, "60.0"};
  SettingValue sid_bearing_limit{110.0, "110"};
  SettingValue sid_bearing_limit_off{180.0, "180"};
  SettingValue grid_size{1.0, "1.0"};
};

class DatabaseSources : public PlanSources {
 public:
  // Reads through `pool`, which the caller may share among all its sources and
  // threads, so every plan after the first finds its connections open.
  DatabaseSources(DatabaseSourceConfig config, std::shared_ptr<const network::RouteNetwork> network,
                  std::shared_ptr<navdata::ConnectionPool> pool, PlanReport& report);
  // Reads through a pool of its own, shared by this object's reads only.
  DatabaseSources(DatabaseSourceConfig config, std::shared_ptr<const network::RouteNetwork> network,
                  PlanReport& report);

  RunwayRanking runways(const std::string& icao) override;
  std::pair<RunwayRanking, RunwayRanking> runways_of_both(const std::string& departure,
                                                          const std::string& arrival) override;
  ProcedureList procedures(const std::string& icao, ProcedureTable table,
                           const std::optional<std::string>& runway) override;
  std::vector<ApproachPtr> approaches(const std::string& icao, const std::string& runway) override;
  std::optional<navdata::Position> reference_point(const std::string& icao) override;
  std::vector<ProcedurePtr> direct_procedures(DirectKind kind, const std::string& icao, double lat,
                                              double lon) override;
  double setting(Setting which) override { return value(which).value; }
  std::string setting_text(Setting which) override { return value(which).text; }
  std::string direct_name(DirectKind kind) override;

 private:
  const SettingValue& value(Setting which) const;
  navdata::WindReport wind(const std::string& code) const;

  DatabaseSourceConfig config_;
  std::shared_ptr<const network::RouteNetwork> network_;
  std::shared_ptr<navdata::ConnectionPool> pool_;
  PlanReport& report_;
};

}  // namespace core_calc::planning
