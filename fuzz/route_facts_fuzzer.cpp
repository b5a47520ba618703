// Fuzz target: what a database adds to a record for the flight-plan exports
// (waypoint types, airport positions, the data cycle), read from an arbitrary
// database image, and the .fms, .pln and .fpl exports written with it.
#include <cstddef>
#include <cstdint>

#include "fuzz_database.h"
#include "planning/route_export.h"
#include "planning/route_facts.h"

namespace {

using namespace core_calc::planning;

ApiRecord record() {
  ApiRecord r;
  r.origin = "ZSSS";
  r.destination = "ZSPD";
  r.procedures = {"S1A", "T1A", "I09L", std::nullopt};
  r.detailed_waypoints = {{"R1", 31.0, 121.0, "S1A", std::nullopt, std::nullopt},
                          {"P1", 31.0, 121.0, "A1", std::nullopt, std::nullopt},
                          {"P2", 31.5, 121.5, "A1", std::nullopt, std::nullopt},
                          {"RW09L", 31.3, 121.2, "I09L", std::nullopt, std::nullopt}};
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const core_calc::fuzz::FuzzDatabase db(data, size);
  static const ApiRecord r = record();
  RouteFacts facts;
  try {
    facts = read_route_facts(db.get(), r);
  } catch (const core_calc::navdata::DatabaseError&) {
    return 0;  // a failing query is the caller's to report
  }
  if (!facts.waypoints.empty() && facts.waypoints.size() != r.detailed_waypoints.size())
    __builtin_trap();
  if (facts.cycle && facts.cycle->size() != 4) __builtin_trap();
  if (route_fms(r, facts).empty() || route_pln(r, facts).empty() || route_fpl(r, facts).empty())
    __builtin_trap();
  return 0;
}
