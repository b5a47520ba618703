// Route exports below the module: waypoint kinds read back from airway names,
// Item 15 where those kinds are ambiguous, and the cut at the antimeridian where
// positions lie on it.
#include "planning/route_export.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "planning/waypoint_kind.h"

namespace {

using namespace core_calc::planning;

ApiWaypoint wp(const std::string& name, std::optional<std::string> airway, double lon = 10.0,
               double lat = 50.0) {
  return {name, lat, lon, std::move(airway), std::nullopt, std::nullopt};
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
  for (auto file : {route_fms, route_pln, route_fpl})
    EXPECT_THROW(file(record, RouteFacts{}), std::invalid_argument);
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

// Positions on the antimeridian belong to the part beside them: no part of a
// single position, no position repeated, and the cut latitude on the great circle.
TEST(RouteGeojson, CutAtTheAntimeridian) {
  auto line = [](std::vector<ApiWaypoint> points) {
    const auto json =
        nlohmann::json::parse(route_geojson(record_of(std::move(points), {"S", "T", "N/A", {}})));
    return json["features"][0]["geometry"];
  };
  auto parts = [](const nlohmann::json& geometry) {
    return geometry["type"] == "LineString" ? nlohmann::json::array({geometry["coordinates"]})
                                            : geometry["coordinates"];
  };
  // On the equator the great circle is the equator itself.
  const auto across = parts(line({wp("A", "S", 170.0, 0.0), wp("B", "S", -170.0, 0.0)}));
  EXPECT_EQ(across, nlohmann::json::parse("[[[170.0, 0.0], [180.0, 0.0]], [[-180.0, 0.0], "
                                          "[-170.0, 0.0]]]"));
  // A point on the line ends the first part; the next starts on the other side.
  const auto on =
      parts(line({wp("A", "S", 175.0, 1.0), wp("B", "S", 180.0, 2.0), wp("C", "S", -175.0, 3.0)}));
  EXPECT_EQ(on, nlohmann::json::parse("[[[175.0, 1.0], [180.0, 2.0]], [[-180.0, 2.0], "
                                      "[-175.0, 3.0]]]"));
  // -180 written after an eastern point is the same meridian: no cut.
  EXPECT_EQ(line({wp("A", "S", 179.0, 1.0), wp("B", "S", -180.0, 1.0)})["type"], "LineString");
  // The cut latitude of a leg from 20N 170E to 40N 170W, on its great circle.
  const auto cut = parts(line({wp("A", "S", 170.0, 20.0), wp("B", "S", -170.0, 40.0)}));
  EXPECT_NEAR(cut[0][1][1].get<double>(), 31.42, 0.01);
  EXPECT_EQ(cut[1][0][1], cut[0][1][1]);
}

}  // namespace
