// Departure (SID) and arrival (STAR) procedures of one airport: every procedure
// identifier becomes one record whose points merge all selected transitions,
// ordered by the kind of their transition in flying order (transition_order.h),
// then by sequence number.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "navdata/connection_pool.h"
#include "navdata/database.h"
#include "navdata/procedure.h"

namespace core_calc::navdata {

struct ProcedureLoad {
  std::vector<ProcedureRecord> procedures;  // ascending procedure identifier
  std::string failure;  // the diagnostic line of a load that failed, empty otherwise
};

// "Error loading <table> for <icao>: <error>"
std::string procedure_failure_line(std::string_view table, std::string_view icao,
                                   std::string_view error);

// Procedures of `icao` in `table` (a full table name, suffix included). A non-empty
// runway ("RW09L" or "09L") keeps only its runway transitions and the common part
// "ALL". Faults of the table or its data never throw: they end the load with
// `failure` set and the procedures completed before.
ProcedureLoad read_procedures(const Database& db, const std::string& icao, const std::string& table,
                              const std::string& runway);

// Leases a connection to `db_path` first (a DatabaseError when the file cannot be
// opened reaches the caller; a missing file fails inside the guard) and reads as
// read_procedures.
ProcedureLoad load_procedures(ConnectionPool& pool, const std::string& db_path,
                              const std::string& icao, const std::string& table,
                              const std::string& runway);

}  // namespace core_calc::navdata
