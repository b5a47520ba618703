#include "network/network_loader.h"

#include <chrono>

namespace core_calc::network {
namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

LoadedNetwork load_network(const std::string& db_path, const std::string& table_suffix,
                           const BuildOptions& options) {
  LoadedNetwork loaded;
  NetworkBuilder builder;
  std::vector<AirwayRow> rows;
  auto start = std::chrono::steady_clock::now();
  {
    const navdata::Database db(db_path);
    try {
      rows = read_airway_rows(db, table_suffix, builder.nodes().names);
    } catch (const std::exception& e) {
      throw AirwayReadError(e.what());
    }
  }
  loaded.read_seconds = seconds_since(start);
  start = std::chrono::steady_clock::now();
  AirwayMetaBuilder meta;
  loaded.network = build_network(rows, options, std::move(builder), meta, loaded.stats);
  decltype(rows)().swap(rows);
  loaded.meta = meta.finish(loaded.network);
  loaded.build_seconds = seconds_since(start);
  return loaded;
}

}  // namespace core_calc::network
