// Reading airway rows from the navigation database and building the network from
// them in one pass. Reading and building are separate steps so that each can be
// timed, and neither touches the host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "navdata/database.h"
#include "network/airway_meta.h"
#include "network/network_builder.h"

namespace core_calc::network {

// Identifier of one continuous airway segment, compared the way the stored values
// compare: integers and reals by number, texts by content. A null key never continues
// the previous row.
struct SegmentKey {
  enum class Kind : std::uint8_t { kNull, kInteger, kReal, kText };
  Kind kind = Kind::kNull;
  std::int64_t integer = 0;
  double real = 0.0;
  NameId text = kNoName;

  bool continues(const SegmentKey& previous) const;
};

struct AirwayRow {
  NameId route = kNoName;
  NameId waypoint = kNoName;
  float lat = 0.0f;  // nearest 32-bit value of the stored coordinate (NaN for null)
  float lon = 0.0f;
  NameId seqno_text = kNoName;
  NameId restriction = kNoName;   // raw text when non-empty
  bool forbids_forward = false;   // "B" in the upper-cased restriction
  bool forbids_backward = false;  // "F" in the upper-cased restriction
  SegmentKey segment;
};

// A coordinate that is stored but is not a number ends the read with this error.
struct CoordinateError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Reads every airway row in query order: the segment table when table_suffix is
// empty, otherwise "tbl_enroute_airways" + suffix grouped by airway. Texts are
// interned into `names`.
std::vector<AirwayRow> read_airway_rows(const navdata::Database& db,
                                        const std::string& table_suffix, NameTable& names);

struct BuildOptions {
  double grid_size = 1.0;
  bool ignore_direction = false;
  bool pause = true;  // the 1 ms pause every 1000 rows; benchmarks time the work without it
};

struct BuildStats {
  std::size_t rows = 0;
  std::size_t edge_writes = 0;
  double pause_seconds = 0.0;
  double pack_seconds = 0.0;  // packing cells, edges and bearings after the walk
};

// Walks the rows in order into `builder` (whose name table holds the rows' texts)
// and freezes the network. Pauses 1 ms after every 1000 rows so that other host
// threads get time. Throws the grid's conversion error for a coordinate that cannot
// be filed; `meta` then holds the rows walked before it and must not be published.
std::shared_ptr<const RouteNetwork> build_network(const std::vector<AirwayRow>& rows,
                                                  const BuildOptions& options,
                                                  NetworkBuilder&& builder, AirwayMetaBuilder& meta,
                                                  BuildStats& stats);

}  // namespace core_calc::network
