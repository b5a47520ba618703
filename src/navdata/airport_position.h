// One position for an airport: its stored reference point or, when that is
// missing, the plain mean of its runway positions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "navdata/connection_pool.h"
#include "navdata/database.h"

namespace core_calc::navdata {

struct Position {
  double lat;
  double lon;
};

struct AirportPositionLoad {
  std::optional<Position> position;  // none when the airport is unknown or the read failed
  std::string failure;               // the diagnostic line of a read that failed, empty otherwise
};

// "Error reading airport coord for <icao>: <error>", with the code as the caller passed it.
std::string airport_position_failure_line(std::string_view icao, std::string_view error);

// Reads "airports", then "tbl_runways" (plain names: the alternative data set has
// no airport tables of its own). `code` is bound as given, so callers upper-case
// it; `code_as_passed` only names the airport in the failure line. Faults never
// throw: they end the read with `failure` set and no position.
AirportPositionLoad read_airport_position(const Database& db, const std::string& code,
                                          std::string_view code_as_passed);

// Leases a connection to `db_path` first (a DatabaseError when the file cannot be
// opened reaches the caller; a missing file fails inside the guard) and reads as
// read_airport_position.
AirportPositionLoad load_airport_position(ConnectionPool& pool, const std::string& db_path,
                                          const std::string& code, std::string_view code_as_passed);

}  // namespace core_calc::navdata
