// Tests of the navigation data import below the module: header recognition,
// coordinate decoding, fix lookup preferences, CIFP record fields and the chaining
// of airway segments into pieces.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "navimport/airway_chains.h"
#include "navimport/airway_set.h"
#include "navimport/cifp_parser.h"
#include "navimport/import_errors.h"
#include "navimport/line_reader.h"
#include "navimport/nav_points.h"
#include "navimport/source_files.h"

namespace ni = core_calc::navimport;

namespace {

int header_version(const std::string& text, ni::DataKind kind = ni::DataKind::kFixes) {
  ni::TextLines lines(text, "file.dat");
  return ni::read_header(lines, kind).version;
}

TEST(Header, VersionWithOrWithoutTheOriginLine) {
  EXPECT_EQ(header_version("I\n1200 Version - cycle 2401\n"), 1200);
  EXPECT_EQ(header_version("A\r\n600 Version\r\n"), 600);
  // Some distributed copies start with an empty line in place of "I".
  EXPECT_EQ(header_version("\r\n810 Version - data\r\n", ni::DataKind::kNavaids), 810);
  EXPECT_EQ(header_version("\xEF\xBB\xBFI\n1100 Version\n", ni::DataKind::kAirways), 1100);
}

TEST(Header, DataCycleOfTheVersionLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"1100 Version - data cycle 1802, build 20180209, metadata FixXP1100.", "1802"},
      {"810 Version - data cycle 2013.10, build 20131334, metadata NavXP810.", "1310"},
      {"1200 Version - data cycle 2401", "2401"},
      {"600 Version", ""},
      {"1100 Version - data cycle 18, build", ""},
      {"1100 Version - data cycle 2013.1, build", ""},
  };
  for (const auto& [line, cycle] : cases) EXPECT_EQ(ni::header_cycle(line), cycle) << line;
}

TEST(Header, UnsupportedOrMissingVersionNamesTheLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"I\n1300 Version\n", "file.dat:2: version 1300 of fixes is not supported"},
      {"I\nVersion 1200\n", "file.dat:2: the header should give the format version"},
      {"I\n12000000 Version\n", "file.dat:2: the header should give the format version"},
      {"", "file.dat: the file is empty"},
  };
  for (const auto& [text, message] : cases) {
    try {
      header_version(text);
      ADD_FAILURE() << "no error for " << text;
    } catch (const ni::DataError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(message, 0), 0u) << e.what();
    }
  }
}

TEST(ArincCoordinates, DegreesMinutesHundredthsOfSeconds) {
  EXPECT_NEAR(ni::arinc_latitude("N47275400"), 47.0 + 27.0 / 60 + 54.0 / 3600, 1e-12);
  EXPECT_NEAR(ni::arinc_latitude("S12002744"), -(12.0 + 0.0 / 60 + 27.44 / 3600), 1e-12);
  EXPECT_NEAR(ni::arinc_longitude("W122180900"), -(122.0 + 18.0 / 60 + 9.0 / 3600), 1e-12);
  EXPECT_NEAR(ni::arinc_longitude("E008330000"), 8.55, 1e-12);
}

TEST(ArincCoordinates, MalformedTextIsDamage) {
  for (const char* bad : {"N4727540", "X47275400", "N47607400", "N4727540A", "N+7275400"})
    EXPECT_THROW(ni::arinc_latitude(bad), ni::LineError) << bad;
  EXPECT_THROW(ni::arinc_longitude("E18100000"), ni::LineError);   // wrong width
  EXPECT_THROW(ni::arinc_longitude("E181000000"), ni::LineError);  // beyond 180
}

ni::NavPoint point(const char* ident, const char* region, const char* area, double lat, double lon,
                   ni::PointKind kind = ni::PointKind::kFix) {
  return ni::NavPoint{ident, region, area, lat, lon, kind};
}

class FixLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    table_.add(point("ALPHA", "ED", "EDDF", 50.0, 8.5));    // terminal fix of EDDF
    table_.add(point("ALPHA", "ED", "ENRT", 51.0, 9.0));    // en-route fix
    table_.add(point("ALPHA", "K1", "ENRT", 40.0, -80.0));  // same name elsewhere
    table_.add(point("ALPHA", "ED", "ENRT", 50.1, 8.6, ni::PointKind::kVhf));
    table_.add(point("BRAVO", "", "", 10.0, 10.0));  // older formats: no region, no area
    table_.add(point("BRAVO", "", "", 60.0, 10.0));
    table_.finish();
  }
  ni::NavPointTable table_;
};

TEST_F(FixLookup, AirwayReferencesPreferEnrouteByKindAndRegion) {
  EXPECT_EQ(table_.find_enroute("ALPHA", "ED", ni::PointKind::kFix)->lat, 51.0);
  EXPECT_EQ(table_.find_enroute("ALPHA", "K1", ni::PointKind::kFix)->lat, 40.0);
  EXPECT_EQ(table_.find_enroute("ALPHA", "ED", ni::PointKind::kVhf)->lat, 50.1);
  EXPECT_EQ(table_.find_enroute("ALPHA", "ED", ni::PointKind::kNdb), nullptr);
  EXPECT_EQ(table_.find_enroute("ALPHA", "LF", ni::PointKind::kFix), nullptr);
  EXPECT_EQ(table_.find_enroute("CHARL", "ED", ni::PointKind::kFix), nullptr);
}

TEST_F(FixLookup, ProcedureReferencesPreferTheirAirportThenEnrouteThenTheNearest) {
  ni::PointQuery q;
  q.ident = "ALPHA";
  q.region = "ED";
  q.kind = ni::PointKind::kFix;
  q.airport = "EDDF";
  EXPECT_EQ(table_.find(q)->lat, 50.0);
  q.airport = "EDDM";
  EXPECT_EQ(table_.find(q)->lat, 51.0);
  q.ident = "BRAVO";  // no region in the data: any region matches, the nearest wins
  q.near = std::make_pair(59.0, 10.0);
  EXPECT_EQ(table_.find(q)->lat, 60.0);
  q.near = std::make_pair(11.0, 10.0);
  EXPECT_EQ(table_.find(q)->lat, 10.0);
}

TEST(CifpRecords, LegFieldsKeepTheDescriptionColumns) {
  ni::CifpFile file;
  ni::CifpParser parser(file);
  parser.line("APPCH:040,I,I27, ,CO402,LE,P,C,E M ,L,010,DF, , , , ;");
  parser.line("PRDAT: ,          , ,          ,A,      LNAV;");
  parser.line("HOLD:whatever");
  ASSERT_EQ(file.legs.size(), 1u);
  const ni::CifpLeg& leg = file.legs[0];
  EXPECT_EQ(leg.seq, 40);
  EXPECT_EQ(leg.route_type, 'I');
  EXPECT_EQ(leg.transition, "");
  EXPECT_EQ(leg.fix, "CO402");
  EXPECT_EQ(std::string(leg.description, 4), "E M ");
  EXPECT_EQ(leg.section, 'P');
  EXPECT_EQ(leg.subsection, 'C');
  EXPECT_EQ(file.unknown, 1u);
  EXPECT_THROW(parser.line("SID:010,2,ALP1"), ni::LineError);
  EXPECT_THROW(parser.line("SID:0x0,2,ALP1, ,A,B,C,D,E,F,G,H"), ni::LineError);
}

// Rows of chained airways as "name:restriction", one string per piece.
std::vector<std::string> pieces(const ni::AirwaySet& set) {
  std::vector<std::string> out;
  long uid = 0;
  long seqno = 0;
  ni::chain_airways(set, [&](const ni::AirwayRow& row) {
    EXPECT_GT(row.seqno, seqno);
    seqno = row.seqno;
    if (row.segment_uid != uid) out.emplace_back();
    uid = row.segment_uid;
    out.back() += " " + row.waypoint->ident + ":" + std::string(row.restriction);
  });
  return out;
}

struct AirwayBuilder {
  ni::AirwaySet set;
  std::uint32_t id(const char* name, double lat, double lon) { return set.node(name, {lat, lon}); }
  void add(std::uint32_t a, std::uint32_t b, bool forward = true, bool backward = true) {
    set.add(set.airway("A1"), a, b, forward, backward);
  }
};

TEST(AirwayChains, RestrictionsFollowTheDirectionOfThePiece) {
  AirwayBuilder w;
  const auto p = w.id("P", 0, 0), q = w.id("Q", 0, 1), r = w.id("R", 0, 2);
  w.add(p, q, true, false);  // P -> Q only
  w.add(r, q, true, false);  // R -> Q only: against the piece P Q R
  EXPECT_EQ(pieces(w.set), std::vector<std::string>({" P:F Q:F R:B"}));
}

TEST(AirwayChains, RepeatedListingsUniteTheirDirections) {
  AirwayBuilder w;
  const auto p = w.id("P", 0, 0), q = w.id("Q", 0, 1);
  w.add(p, q, true, false);
  w.add(q, p, true, false);  // the other way: now both ways
  w.add(p, q, true, false);
  EXPECT_EQ(w.set.segments().size(), 1u);
  EXPECT_EQ(pieces(w.set), std::vector<std::string>({" P: Q:"}));
}

TEST(AirwayChains, BranchesStartNewPiecesAndCrossingsGoStraightOn) {
  AirwayBuilder branch;
  const auto a = branch.id("A", 0, 0), j = branch.id("J", 0, 1), b = branch.id("B", 0, 2),
             c = branch.id("C", 1, 1);
  branch.add(a, j);
  branch.add(j, c);
  branch.add(j, b);
  EXPECT_EQ(pieces(branch.set), std::vector<std::string>({" A: J: B:", " C: J:"}));

  AirwayBuilder cross;  // W -> X -> E, then N -> X -> S through the same fix
  const auto w = cross.id("W", 0, -1), x = cross.id("X", 0, 0), e = cross.id("E", 0, 1),
             n = cross.id("N", 1, 0), s = cross.id("S", -1, 0);
  cross.add(w, x);
  cross.add(x, n);
  cross.add(x, e);
  cross.add(s, x);
  EXPECT_EQ(pieces(cross.set), std::vector<std::string>({" W: X: E:", " N: X: S:"}));
}

TEST(LineReader, MissingFileIsASourceError) {
  EXPECT_THROW(ni::LineReader("/nonexistent/earth_fix.dat"), ni::SourceError);
}

}  // namespace
