// Walking airway rows into a network as they are read. The rows are never held all
// at once: the reading thread interns each row's node and hands the row over, through
// a small ring, to a second thread that files it in the grid and the metadata and
// records its edges. The results are those of one walk in query order.
#pragma once

#include <stdexcept>
#include <string>

#include "navdata/database.h"
#include "network/airway_meta.h"
#include "network/airway_reader.h"
#include "network/network_builder.h"

namespace core_calc::network {

// Reading the rows failed: a missing table or column, a file that is no database,
// a coordinate that is not a number. what() is the reason.
struct AirwayReadError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct BuildOptions {
  double grid_size = 1.0;
  bool ignore_direction = false;
  bool pause = true;  // the 1 ms pause every 1000 rows; benchmarks time the work without it
};

struct BuildStats {
  std::size_t rows = 0;
  std::size_t edge_writes = 0;
  double read_seconds = 0.0;  // inside SQLite: stepping and converting rows
  double pause_seconds = 0.0;
  double pack_seconds = 0.0;  // packing cells, edges, bearings and metadata after the walk
};

// Reads every airway row of `db` (see AirwayReader) and walks it into `builder`,
// whose name table takes the rows' texts, and into `meta`. Pauses 1 ms after every
// 1000 rows so that other host threads get time. A failed read throws
// AirwayReadError, even when an earlier row could not be walked; otherwise a row
// that cannot be walked (a null coordinate, which has no grid cell) throws the
// grid's error. Either way `builder` and `meta` must then be discarded.
void walk_airways(const navdata::Database& db, const std::string& table_suffix,
                  const BuildOptions& options, NetworkBuilder& builder, AirwayMetaBuilder& meta,
                  BuildStats& stats);

}  // namespace core_calc::network
