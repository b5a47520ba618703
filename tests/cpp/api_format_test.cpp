// API formatting on native plans: route tokens, the repeat rule, approach names,
// connectors, which sources are consulted when, and the record extension.
#include "planning/api_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "geo/geodesy.h"
#include "network/network_builder.h"
#include "planning/api_format_sources.h"

namespace {

using namespace core_calc;
using planning::ApiRecord;
using planning::FlightPlan;
using planning::FormatError;

navdata::SqlValue integer(std::int64_t value) {
  navdata::SqlValue v;
  v.kind = navdata::SqlValue::Kind::kInteger;
  v.integer = value;
  return v;
}

navdata::ProcedurePoint point(const std::string& name, double lat, double lon, int seq) {
  return {name, lat, lon, integer(seq)};
}

// The plan of the host tests: SID to EXIT, airway A1 over MID to ENTRY, STAR from
// ENTRY to FAF, approach from FAF to RW09.
FlightPlan make_plan() {
  FlightPlan plan;
  plan.departure = "AAAA";
  plan.sid = "SID1A";
  plan.star = "STAR1A";
  plan.approach = "I09.MAIN";
  plan.approach_runway = "RW09";
  plan.arrival = "ZZZZ";
  plan.enroute = {{"MID", 50.0, 11.0}, {"ENTRY", 50.0, 12.0}};
  plan.route_ids = {"A1", "A1"};
  plan.distance_km = 500.0;
  plan.points.sid = {point("DEP01", 50.0, 9.5, 10), point("EXIT", 50.0, 10.0, 20)};
  plan.points.star = {point("ENTRY", 50.0, 12.0, 10), point("FAF", 50.1, 12.5, 20)};
  plan.points.iap = {point("FAF", 50.1, 12.5, 10), point("RW09", 50.1, 12.9, 20)};
  return plan;
}

// Sources that answer from tables and log every question asked.
struct FakeSources final : planning::FormatSources {
  std::map<std::pair<std::string, std::string>, planning::AirwayPointMeta> meta;
  bool network_loaded = true;
  std::optional<planning::GeoPoint> position;
  std::vector<std::string> asked;

  planning::AirwayPointMeta airway_point(const std::optional<std::string>& route_id,
                                         const planning::PlanNode& node) override {
    asked.push_back("meta " + route_id.value_or("None") + " " + node.name);
    auto it = meta.find({route_id.value_or("None"), node.name});
    return it == meta.end() ? planning::AirwayPointMeta{} : it->second;
  }
  std::optional<planning::GeoPoint> network_position(const std::string& fix) override {
    asked.push_back("network " + fix);
    if (!network_loaded) throw planning::no_network_error(fix);
    return position;
  }
  std::string departure_runway() override {
    asked.push_back("departure runway");
    return "RW27";
  }
  std::string arrival_runway() override {
    asked.push_back("arrival runway");
    return "RW05";
  }
};

ApiRecord format(const FlightPlan& plan) {
  FakeSources sources;
  return planning::format_for_api(plan, sources);
}

std::vector<std::string> names(const ApiRecord& record) {
  std::vector<std::string> out;
  for (const auto& w : record.detailed_waypoints) out.push_back(w.name);
  return out;
}

TEST(ApiFormat, RecordOfTheDefaultPlan) {
  const ApiRecord record = format(make_plan());
  EXPECT_EQ(record.route_string, "AAAA SID1A EXIT A1 ENTRY STAR1A I09 ZZZZ");
  EXPECT_EQ(names(record),
            (std::vector<std::string>{"DEP01", "EXIT", "MID", "ENTRY", "FAF", "RW09"}));
  EXPECT_EQ(record.detailed_waypoints[3].airway, "A1");  // ENTRY keeps the airway that reached it
  EXPECT_EQ(record.detailed_waypoints[4].seqno, "20");   // FAF: the STAR's second point
  EXPECT_EQ(record.detailed_waypoints[5].airway, "I09.MAIN");
  EXPECT_EQ(record.dep_runway, "RW27");
  EXPECT_EQ(record.arr_runway, "RW09");
  EXPECT_EQ(record.distance_km, 500);
  EXPECT_EQ(record.procedures.iap, "I09");
  EXPECT_FALSE(record.procedures.iap_trans);
  EXPECT_FALSE(record.extension);
}

struct TokenCase {
  std::vector<std::string> nodes;
  std::vector<std::optional<std::string>> route_ids;
  std::string tokens;
};

TEST(ApiFormat, EnrouteTokens) {
  const TokenCase cases[] = {
      {{"P", "Q", "R"}, {"A1", "A1", "A1"}, "A1 R"},
      {{"P", "Q", "R", "S"}, {"A1", "A1", "B2", "B2"}, "A1 Q B2 S"},
      {{"P", "Q", "R"}, {"A1", "DCT", "B2"}, "A1 P DCT Q B2 R"},
      {{"P", "Q", "R"}, {"DCT", "DCT", "DCT"}, "DCT P Q R"},
      {{"P", "Q", "R", "S"}, {"A1", "B2", "A1", "A1"}, "A1 P B2 Q A1 S"},
      // shorter route ids: the last node is reached direct in the route string
      {{"P", "Q"}, {"A1"}, "A1 P DCT Q"},
      // a missing route id is never written while it does not change
      {{"P", "Q"}, {std::nullopt, std::nullopt}, "Q"},
  };
  for (const TokenCase& c : cases) {
    FlightPlan plan = make_plan();
    plan.enroute.clear();
    for (std::size_t i = 0; i < c.nodes.size(); ++i)
      plan.enroute.push_back({c.nodes[i], 50.0, 10.0 + static_cast<double>(i)});
    plan.route_ids = c.route_ids;
    EXPECT_EQ(format(plan).route_string, "AAAA SID1A EXIT " + c.tokens + " STAR1A I09 ZZZZ")
        << c.tokens;
  }
}

TEST(ApiFormat, WritingAMissingRouteIdIsATypeError) {
  FlightPlan plan = make_plan();
  plan.route_ids = {"A1", std::nullopt};
  try {
    format(plan);
    FAIL() << "no error";
  } catch (const FormatError& e) {
    EXPECT_EQ(e.kind(), FormatError::Kind::kType);
    EXPECT_STREQ(e.what(), "route token route id must be text, not NoneType");
  }
}

TEST(ApiFormat, ConsecutiveRepeatedTokensAreWrittenOnce) {
  FlightPlan plan = make_plan();
  plan.sid = "DCT";
  plan.route_ids = {"DCT", "A1"};
  EXPECT_EQ(format(plan).route_string, "AAAA DCT EXIT DCT MID A1 ENTRY STAR1A I09 ZZZZ");
  plan = make_plan();
  plan.approach = "STAR1A";
  EXPECT_EQ(format(plan).route_string, "AAAA SID1A EXIT A1 ENTRY STAR1A ZZZZ");
}

TEST(ApiFormat, RepeatRuleComparesTheStoredEntryWithTheNewPointUnrounded) {
  struct Case {
    double lat;
    std::size_t listed;
  };
  // The first entry is stored as 10.0 (rounded from 10.000000004).
  const Case cases[] = {{10.0009, 1}, {10.0011, 2}, {9.999000002, 1}, {10.000999996, 1}};
  for (const Case& c : cases) {
    FlightPlan plan = make_plan();
    plan.enroute.clear();
    plan.route_ids.clear();
    plan.points.sid = {point("A", 10.000000004, 20.0, 10), point("A", c.lat, 20.0, 20)};
    const ApiRecord record = format(plan);
    EXPECT_EQ(record.detailed_waypoints[0].lat, 10.0);
    EXPECT_EQ(names(record).size(), c.listed + 3) << c.lat;  // then ENTRY, FAF, RW09
  }
  // Only the last entry counts: a fix met again later is listed again.
  FlightPlan plan = make_plan();
  plan.points.sid = {point("A", 10.0, 20.0, 10), point("B", 10.5, 20.5, 20),
                     point("A", 10.0, 20.0, 30)};
  plan.enroute.clear();
  plan.route_ids.clear();
  EXPECT_EQ(names(format(plan))[2], "A");
}

TEST(ApiFormat, ApproachNames) {
  struct Case {
    std::string approach, tail, iap;
    std::optional<std::string> trans;
  };
  const Case cases[] = {
      {"I09.MAIN", "STAR1A I09 ZZZZ", "I09", std::nullopt},
      {"I09.ABC", "STAR1A I09.ABC ZZZZ", "I09", "ABC"},
      {"I09.MAIN1", "STAR1A I09.MAIN1 ZZZZ", "I09", "MAIN1"},
      {"I09.ABC.X", "STAR1A I09.ABC.X ZZZZ", "I09", "ABC.X"},
      {"R09", "STAR1A R09 ZZZZ", "R09", std::nullopt},
      {"N/A", "STAR1A ZZZZ", "N/A", std::nullopt},
  };
  for (const Case& c : cases) {
    FlightPlan plan = make_plan();
    plan.approach = c.approach;
    const ApiRecord record = format(plan);
    EXPECT_TRUE(record.route_string.ends_with(" ENTRY " + c.tail)) << record.route_string;
    EXPECT_EQ(record.procedures.iap, c.iap);
    EXPECT_EQ(record.procedures.iap_trans, c.trans);
  }
}

TEST(ApiFormat, ArrivalConnectorTakesTheFirstProcedurePoint) {
  FlightPlan plan = make_plan();
  plan.enroute = {{"MID", 50.0, 11.0}, {"FAR", 49.9, 11.9}};
  plan.arr_connectors = {{planning::kDirectLeg, "ENTRY", std::nullopt, 12.0}};
  const ApiRecord record = format(plan);
  const auto& w = record.detailed_waypoints;
  ASSERT_EQ(names(record),
            (std::vector<std::string>{"DEP01", "EXIT", "MID", "FAR", "ENTRY", "FAF", "RW09"}));
  EXPECT_EQ(w[4].airway, "DCT");
  EXPECT_FALSE(w[4].seqno);
  EXPECT_EQ(w[5].airway, "STAR1A");  // the STAR's own first point was a repeat

  // Without a STAR the connector joins the approach; a name matching neither
  // first point adds nothing.
  plan.points.star.clear();
  plan.star = planning::kNoStar;
  plan.arr_connectors = {{"DCT", "RW09", std::nullopt, 5.0}, {"DCT", "FAF", std::nullopt, 5.0}};
  EXPECT_EQ(names(format(plan)),
            (std::vector<std::string>{"DEP01", "EXIT", "MID", "FAR", "FAF", "RW09"}));
}

TEST(ApiFormat, DepartureConnectors) {
  FlightPlan plan = make_plan();
  plan.dep_connectors = {{"DCT", "JOIN", planning::PlanNode{"JOIN", 50.0, 10.5}, 30.0}};
  FakeSources sources;
  sources.network_loaded = false;  // a node key carries its own position
  EXPECT_EQ(names(planning::format_for_api(plan, sources))[2], "JOIN");

  plan.dep_connectors = {{"DCT", "JOIN", std::nullopt, 30.0}};
  try {
    planning::format_for_api(plan, sources);
    FAIL() << "no error";
  } catch (const FormatError& e) {
    EXPECT_EQ(e.kind(), FormatError::Kind::kRuntime);
    EXPECT_NE(std::string(e.what()).find("GLOBAL_NETWORK"), std::string::npos);
  }
  sources.network_loaded = true;
  EXPECT_EQ(names(planning::format_for_api(plan, sources))[2], "MID");  // not in the map
  // Placed by the map, named like a node key by its first element.
  sources.position = planning::GeoPoint{50.0, 10.5};
  const ApiRecord record = planning::format_for_api(plan, sources);
  EXPECT_EQ(record.detailed_waypoints[2].name, "J");
  EXPECT_EQ(record.detailed_waypoints[2].airway, "DCT");
}

TEST(ApiFormat, SourcesAreAskedOnlyWhenNeeded) {
  FlightPlan plan = make_plan();
  plan.route_ids = {"DCT", "A1"};
  FakeSources sources;
  sources.meta[{"A1", "ENTRY"}] = {"40", "F"};
  const ApiRecord record = planning::format_for_api(plan, sources);
  // no metadata for a direct leg, no network without a named connector, and no
  // recommended arrival runway while the approach has one
  EXPECT_EQ(sources.asked, (std::vector<std::string>{"meta A1 ENTRY", "departure runway"}));
  EXPECT_EQ(record.detailed_waypoints[3].seqno, "40");
  EXPECT_EQ(record.detailed_waypoints[3].direction_restriction, "F");

  for (const std::string runway : {"N/A", ""}) {
    plan.approach_runway = runway;
    FakeSources fallback;
    EXPECT_EQ(planning::format_for_api(plan, fallback).arr_runway, "RW05");
    EXPECT_EQ(fallback.asked.back(), "arrival runway");
  }
}

TEST(ApiFormat, DistanceIsTruncated) {
  const std::pair<double, std::int64_t> cases[] = {
      {812.97, 812}, {0.999, 0}, {-0.5, 0}, {1e6 + 0.5, 1000000}};
  for (const auto& [distance, km] : cases) {
    FlightPlan plan = make_plan();
    plan.distance_km = distance;
    EXPECT_EQ(format(plan).distance_km, km);
  }
  const std::pair<double, FormatError::Kind> errors[] = {{std::nan(""), FormatError::Kind::kValue},
                                                         {INFINITY, FormatError::Kind::kOverflow},
                                                         {1e300, FormatError::Kind::kOverflow}};
  for (const auto& [distance, kind] : errors) {
    FlightPlan plan = make_plan();
    plan.distance_km = distance;
    try {
      format(plan);
      ADD_FAILURE() << distance;
    } catch (const FormatError& e) {
      EXPECT_EQ(e.kind(), kind);
    }
  }
}

TEST(ApiFormat, SequenceNumberTextAndRounding) {
  FlightPlan plan = make_plan();
  navdata::SqlValue real, text, blob, null;
  real.kind = navdata::SqlValue::Kind::kReal;
  real.real = 10.0;
  text.kind = navdata::SqlValue::Kind::kText;
  text.text = "010";
  blob.kind = navdata::SqlValue::Kind::kBlob;
  blob.text = std::string("a'\x01", 3);
  plan.points.sid = {{"A", 39.123456789, -116.987654321, real},
                     {"B", 39.2, 116.0, text},
                     {"C", 39.3, 116.0, blob},
                     {"D", 39.4, 116.0, null}};
  const auto w = format(plan).detailed_waypoints;
  EXPECT_EQ(w[0].seqno, "10.0");
  EXPECT_EQ(w[0].lat, 39.12345679);
  EXPECT_EQ(w[0].lon, -116.98765432);
  EXPECT_EQ(w[1].seqno, "010");
  EXPECT_EQ(w[2].seqno, "b\"a'\\x01\"");
  EXPECT_FALSE(w[3].seqno);
}

TEST(RecordExtension, FlownDistanceAndLegs) {
  ApiRecord record = format(make_plan());
  planning::PlanRunways runways;
  runways.departure = "RW27";
  runways.departure_ranked = {"RW27", "RW33"};
  planning::extend_record(record, runways);
  ASSERT_TRUE(record.extension);
  const auto& ext = *record.extension;
  const auto& w = record.detailed_waypoints;
  ASSERT_EQ(ext.legs.size(), w.size() - 1);
  double km = 0.0;
  for (std::size_t i = 1; i < w.size(); ++i)
    km += geo::haversine_km(w[i - 1].lat, w[i - 1].lon, w[i].lat, w[i].lon);
  EXPECT_DOUBLE_EQ(ext.flown_distance_km, km);
  EXPECT_DOUBLE_EQ(ext.flown_distance_nm, km / 1.852);
  // EXIT -> MID along the parallel 50N: the course starts a little north of east
  const planning::ApiLeg& leg = ext.legs[1];
  EXPECT_EQ(leg.from, "EXIT");
  EXPECT_EQ(leg.to, "MID");
  EXPECT_EQ(leg.airway, "A1");
  EXPECT_NEAR(leg.course_deg, 89.6, 0.05);
  EXPECT_NEAR(leg.distance_nm * 1.852, geo::haversine_km(50.0, 10.0, 50.0, 11.0), 1e-9);
  EXPECT_EQ(ext.legs.back().airway, "I09.MAIN");
  ASSERT_TRUE(ext.runways);
  EXPECT_EQ(ext.runways->departure_ranked.size(), 2u);
  EXPECT_EQ(ext.runways->arrival, "N/A");

  ApiRecord single;
  single.detailed_waypoints = {w[0]};
  planning::extend_record(single, std::nullopt);
  EXPECT_TRUE(single.extension->legs.empty());
  EXPECT_EQ(single.extension->flown_distance_km, 0.0);
  EXPECT_FALSE(single.extension->runways);
}

// The core's own sources: metadata of a loaded network, no host involved.
TEST(NetworkFormatSources, AirwayMetadataAndNetwork) {
  network::NetworkBuilder net;
  auto& names = net.nodes().names;
  const network::NameId a1 = names.intern("A1");
  const network::NodeId mid = net.intern_node({names.intern("MID"), 50.0, 11.0});
  const network::NodeId entry = net.intern_node({names.intern("ENTRY"), 50.0, 12.0});
  network::AirwayMetaBuilder builder;
  builder.set(a1, mid, {names.intern("30"), names.intern("F")});
  builder.set(network::kNoName, entry, {names.intern("7"), network::kNoName});
  std::shared_ptr<const network::RouteNetwork> frozen = std::move(net).freeze();
  planning::NetworkFormatSources sources(builder.finish(frozen), frozen, "RW27", "RW05");

  FlightPlan plan = make_plan();
  plan.approach_runway = "N/A";
  plan.dep_connectors = {{"DCT", "JOIN", std::nullopt, 1.0}};
  const ApiRecord record = planning::format_for_api(plan, sources);
  const auto& w = record.detailed_waypoints;
  EXPECT_EQ(w[2].seqno, "30");
  EXPECT_EQ(w[2].direction_restriction, "F");
  EXPECT_FALSE(w[3].seqno);  // ENTRY has no entry on A1
  EXPECT_EQ(record.arr_runway, "RW05");
  // an edge without route id has metadata of its own; an unknown airway has none
  const auto none = sources.airway_point(std::nullopt, {"ENTRY", 50.0, 12.0});
  EXPECT_EQ(none.seqno, "7");
  EXPECT_FALSE(none.direction_restriction);
  EXPECT_FALSE(sources.airway_point("B2", {"MID", 50.0, 11.0}).seqno);

  planning::NetworkFormatSources no_network(nullptr, nullptr, "RW27", "RW05");
  EXPECT_THROW(planning::format_for_api(plan, no_network), FormatError);
}

}  // namespace
