// Loading the airway network of a navigation database in one call: read every
// airway row, build and freeze the graph, and collect the airway metadata.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "network/airway_loader.h"
#include "network/airway_meta.h"
#include "network/route_network.h"

namespace core_calc::network {

// Reading the rows failed: a missing table or column, a file that is no database,
// a coordinate that is not a number. what() is the reason.
struct AirwayReadError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct LoadedNetwork {
  std::shared_ptr<const RouteNetwork> network;
  std::shared_ptr<const AirwayMeta> meta;
  BuildStats stats;
  double read_seconds = 0.0;
  double build_seconds = 0.0;
};

// Reads "airway_segments" (empty suffix) or "tbl_enroute_airways" + suffix. A file
// that cannot be opened throws navdata::DatabaseError, a failed read AirwayReadError,
// and a row that cannot be walked (a null coordinate) the grid's error.
LoadedNetwork load_network(const std::string& db_path, const std::string& table_suffix,
                           const BuildOptions& options);

}  // namespace core_calc::network
