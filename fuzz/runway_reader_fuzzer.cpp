// Fuzz target: the runway reader and the wind ranking on an arbitrary database
// image, and the airport position read from the same tables.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "fuzz_database.h"
#include "navdata/airport_position.h"
#include "navdata/runway_selection.h"

namespace {

using namespace core_calc::navdata;

// Without wind every runway in database order; with wind one to kMaxWindRunways.
void check_ranking(const std::vector<RunwayRow>& rows) {
  for (const RunwayRow& row : rows)
    if (!std::isfinite(row.bearing)) __builtin_trap();
  if (rank_runways(rows, std::nullopt).runways.size() != rows.size()) __builtin_trap();
  for (const int wind : {0, 93, 271, 360}) {
    const std::size_t chosen = rank_runways(rows, wind).runways.size();
    if (rows.empty() ? chosen != 0 : (chosen < 1 || chosen > kMaxWindRunways)) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const core_calc::fuzz::FuzzDatabase db(data, size);
  try {
    check_ranking(read_runway_rows(db.get(), "tbl_runways", "ZSSS"));
  } catch (const DatabaseError&) {
    // A failing query is reported to the caller as such; nothing more to check.
  }
  const AirportPositionLoad position = read_airport_position(db.get(), "ZSSS", "ZSSS");
  if (position.position && !position.failure.empty()) __builtin_trap();
  return 0;
}
