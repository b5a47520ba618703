#include "network/network_loader.h"

#include <chrono>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace core_calc::network {
namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The allocator keeps the pages of freed buffers for reuse; a load frees tens of
// megabytes of them at once, which the process would otherwise go on holding.
void return_free_memory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace

LoadedNetwork load_network(const std::string& db_path, const std::string& table_suffix,
                           const BuildOptions& options) {
  LoadedNetwork loaded;
  const auto start = Clock::now();
  NetworkBuilder builder;
  AirwayMetaBuilder meta;
  {
    const navdata::Database db(db_path);
    walk_airways(db, table_suffix, options, builder, meta, loaded.stats);
  }
  const auto pack_start = Clock::now();
  meta.pack();
  loaded.network = std::move(builder).freeze();
  loaded.meta = meta.finish(loaded.network);
  loaded.stats.pack_seconds = seconds_since(pack_start);
  return_free_memory();
  loaded.read_seconds = loaded.stats.read_seconds;
  loaded.build_seconds = seconds_since(start) - loaded.read_seconds;
  return loaded;
}

}  // namespace core_calc::network
