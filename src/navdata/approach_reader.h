// Instrument approaches of one airport that serve one runway. Each record is one
// flyable way in: a named transition continued on the main route it joins, or,
// for a procedure without transitions, one segment of its main route.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "navdata/connection_pool.h"
#include "navdata/database.h"
#include "navdata/procedure.h"

namespace core_calc::navdata {

struct ApproachLoad {
  // Procedures in ascending identifier order; within one, its transitions in order
  // of first appearance, or its main-route segments in order.
  std::vector<ApproachRecord> approaches;
  std::string failure;  // the diagnostic line of a load that failed, empty otherwise
};

// "Error loading IAPs for <icao>: <error>"
std::string approach_failure_line(std::string_view icao, std::string_view error);

// The runway text is matched literally, never as a pattern: an approach serves
// runway "RW09L" or "09L" when its identifier is some capitals and digits followed
// by "09L" ("I09L", "R09LZ"); when no identifier qualifies, every identifier that
// contains "09L" does. `table` is the full table name, suffix included. Faults of
// the table or its data never throw: they end the load with `failure` set and the
// approaches completed before.
ApproachLoad read_approaches(const Database& db, const std::string& icao, const std::string& table,
                             const std::string& runway);

// Leases a connection to `db_path` first (a DatabaseError when the file cannot be
// opened reaches the caller; a missing file fails inside the guard) and reads as
// read_approaches.
ApproachLoad load_approaches(ConnectionPool& pool, const std::string& db_path,
                             const std::string& icao, const std::string& table,
                             const std::string& runway);

}  // namespace core_calc::navdata
