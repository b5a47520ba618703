// Runway choice by wind: the airport's runways from the navigation database,
// ranked by how closely each faces the reported wind.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "navdata/connection_pool.h"
#include "navdata/database.h"
#include "navdata/wind_report.h"

namespace core_calc::navdata {

// Runways returned when the wind is known; beyond them the order adds nothing.
inline constexpr std::size_t kMaxWindRunways = 3;
// A runway more than this many degrees off the wind has a tailwind component.
inline constexpr double kMaxWindAngle = 90.0;

struct RunwayRow {
  SqlValue id;  // runway_identifier with its stored kind
  double bearing = 0.0;
};

struct RunwayChoice {
  std::vector<SqlValue> runways;  // best first; empty when none is usable
};

// Rows of `runway_table` for the airport, in database order, keeping only those
// whose bearing is a finite number. Query failures throw DatabaseError.
std::vector<RunwayRow> read_runway_rows(const Database& db, const std::string& runway_table,
                                        const std::string& icao_upper);

// Angle in degrees (0 to 180) between the wind direction and a runway bearing.
double wind_angle(int wind_deg, double bearing);

// Without a wind direction: every runway in database order. With one: those within
// kMaxWindAngle of it, closest first (ties in database order), at most
// kMaxWindRunways; when none is, the single closest runway.
RunwayChoice rank_runways(const std::vector<RunwayRow>& rows, std::optional<int> wind_deg);

// Leases a connection to `db_path` (a file that cannot be opened throws
// DatabaseError to the caller), reads and ranks the runways; a failing query, or
// a missing file, gives an empty choice.
RunwayChoice choose_runways(ConnectionPool& pool, const std::string& db_path,
                            const std::string& runway_table, const std::string& icao_upper,
                            const WindReport& wind);

}  // namespace core_calc::navdata
