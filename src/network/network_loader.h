// Loading the airway network of a navigation database in one call: read and walk
// every airway row, build and freeze the graph, and collect the airway metadata.
// What the process holds afterwards is the network and its metadata: the load's
// transient buffers are handed back to the system before the call returns.
#pragma once

#include <memory>
#include <string>

#include "network/airway_loader.h"
#include "network/airway_meta.h"
#include "network/route_network.h"

namespace core_calc::network {

struct LoadedNetwork {
  std::shared_ptr<const RouteNetwork> network;
  std::shared_ptr<const AirwayMeta> meta;
  BuildStats stats;
  double read_seconds = 0.0;   // inside SQLite
  double build_seconds = 0.0;  // everything else, pauses included
};

// Reads "airway_segments" (empty suffix) or "tbl_enroute_airways" + suffix. A file
// that cannot be opened throws navdata::DatabaseError, a failed read AirwayReadError,
// and a row that cannot be walked (a null coordinate) the grid's error.
LoadedNetwork load_network(const std::string& db_path, const std::string& table_suffix,
                           const BuildOptions& options);

}  // namespace core_calc::network
