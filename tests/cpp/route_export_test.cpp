// Route exports below the module: waypoint kinds read back from airway names,
// Item 15 where those kinds are ambiguous, and the AIRAC cycle of a date.
#include "planning/route_export.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "planning/waypoint_kind.h"

namespace {

using namespace core_calc::planning;
using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year;

ApiWaypoint wp(const std::string& name, std::optional<std::string> airway, double lon = 10.0) {
  return {name, 50.0, lon, std::move(airway), std::nullopt, std::nullopt};
}

ApiRecord record_of(std::vector<ApiWaypoint> waypoints, ApiProcedures procedures) {
  ApiRecord record;
  record.origin = "AAAA";
  record.destination = "ZZZZ";
  record.detailed_waypoints = std::move(waypoints);
  record.procedures = std::move(procedures);
  return record;
}

std::string kinds_text(const ApiRecord& record) {
  std::string out;
  for (WaypointKind kind : waypoint_kinds(record)) out += std::string(kind_name(kind)) + " ";
  return out;
}

TEST(WaypointKinds, ProceduresAreMatchedFromTheEnds) {
  // An airway named like the STAR in the middle of the route stays en route; an
  // edge without route id is en route; approach points carry the transition.
  const ApiRecord record =
      record_of({wp("A", "SID1A"), wp("B", "DCT"), wp("C", "STAR1A"), wp("D", std::nullopt),
                 wp("E", "DCT"), wp("F", "STAR1A"), wp("G", "I09.ABC"), wp("H", "I09")},
                {"SID1A", "STAR1A", "I09", "ABC"});
  EXPECT_EQ(kinds_text(record), "sid connector enroute enroute connector star approach approach ");
  // Without an approach nothing is read as one, even a point flown by "N/A".
  const ApiRecord no_approach =
      record_of({wp("A", "SID1A"), wp("B", "A1"), wp("C", "N/A")}, {"SID1A", "DIRECT", "N/A", {}});
  EXPECT_EQ(kinds_text(no_approach), "sid enroute enroute ");
}

TEST(RouteIcao, DirectDepartureFollowedByDirectLegs) {
  // Both are written "DCT", so the direct legs read as part of the departure;
  // Item 15 is the same either way.
  const ApiRecord record = record_of({wp("AAAAAPT", "DCT"), wp("EXIT", "DCT"), wp("P", "DCT"),
                                      wp("Q", "A1"), wp("R", "A1"), wp("ZZZZAPT", "DIRECT")},
                                     {"DCT", "DIRECT", "N/A", {}});
  EXPECT_EQ(kinds_text(record), "sid sid sid enroute enroute star ");
  EXPECT_EQ(route_icao(record), "DCT EXIT DCT P A1 R");
}

TEST(RouteExports, RefuseCoordinatesThatAreNotFinite) {
  ApiRecord record = record_of({wp("A", "SID1A"), wp("B", "A1")}, {"SID1A", "STAR1A", "N/A", {}});
  record.detailed_waypoints[1].lat = std::nan("");
  EXPECT_THROW(route_gpx(record), std::invalid_argument);
  EXPECT_THROW(route_geojson(record), std::invalid_argument);
  EXPECT_THROW(route_fms(record, "2501"), std::invalid_argument);
  EXPECT_EQ(route_icao(record), "SID1A A A1 B");
}

TEST(RouteExports, GeojsonPositionsAreLongitudeFirst) {
  const ApiRecord record =
      record_of({wp("A", "SID1A", 9.5), wp("B", "A1", 11.25)}, {"SID1A", "STAR1A", "N/A", {}});
  const auto json = nlohmann::json::parse(route_geojson(record));
  EXPECT_EQ(json["features"][0]["geometry"]["coordinates"],
            nlohmann::json::parse("[[9.5, 50.0], [11.25, 50.0]]"));
  // one waypoint: no line, which needs two positions
  const ApiRecord single = record_of({wp("A", "SID1A")}, {"SID1A", "STAR1A", "N/A", {}});
  const auto one = nlohmann::json::parse(route_geojson(single));
  ASSERT_EQ(one["features"].size(), 1u);
  EXPECT_EQ(one["features"][0]["geometry"]["type"], "Point");
}

TEST(AiracCycle, CyclesOf28DaysNumberedWithinTheirYear) {
  using std::chrono::December;
  using std::chrono::January;
  const std::pair<sys_days, const char*> cases[] = {
      {sys_days{year{2020} / January / 2}, "2001"},
      {sys_days{year{2020} / January / 29}, "2001"},
      {sys_days{year{2020} / January / 30}, "2002"},
      {sys_days{year{2020} / December / 31}, "2014"},  // a year with 14 cycles
      {sys_days{year{2021} / January / 27}, "2014"},
      {sys_days{year{2021} / January / 28}, "2101"},
      {sys_days{year{2025} / January / 23}, "2501"},
      {sys_days{year{2019} / December / 31}, "1913"},  // before the reference date
  };
  for (const auto& [day, cycle] : cases) EXPECT_EQ(airac_cycle(day), cycle);
}

}  // namespace
