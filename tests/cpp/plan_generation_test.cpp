// A route planned end to end by the core alone: a small database, the network
// loaded from it, procedures read, the request driven, and its report lines.
#include "planning/plan_generation.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "network/network_loader.h"
#include "planning/api_format.h"
#include "planning/api_format_sources.h"
#include "planning/database_sources.h"
#include "planning/plan_output.h"
#include "test_nav_db.h"

namespace core_calc::planning {
namespace {

using testing::Fix;
using testing::TestNavDb;

PlanRequest request(std::string dep, std::string arr) {
  PlanRequest r;
  r.departure = std::move(dep);
  r.arrival = std::move(arr);
  return r;
}

struct Lines : PlanReport {
  std::vector<std::string> lines;
  void line(std::string_view text) override { lines.emplace_back(text); }
};

// W1 -A1- W2 -A1- W3 to the east; DEPA's SID ends on W1, ARRB's STAR starts on W3
// and ends where its approach starts.
class PlanGeneration : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.airway("A1", 1, {{"W1", 10.5, 20.1}, {"W2", 10.5, 20.5}, {"W3", 10.5, 20.8}});
    db_.runway("DEPA", "RW09", 90.0);
    db_.runway("ARRB", "RW27", 270.0);
    db_.procedure("tbl_sids", "DEPA", "ALFA1", "RW09", {{"DEP09", 10.5, 20.0}, {"W1", 10.5, 20.1}});
    db_.procedure("tbl_stars", "ARRB", "BRAVO1", "ALL", {{"W3", 10.5, 20.8}, {"T2", 10.7, 20.9}});
    db_.procedure("tbl_iaps", "ARRB", "I27", "",
                  {{"T2", 10.7, 20.9}, {"FAF", 10.7, 21.0}, {"MAP", 10.7, 21.05}});
    auto loaded = network::load_network(db_.path(), "", {});
    network_ = loaded.network;
    meta_ = loaded.meta;
  }

  PlanOutcome plan(const PlanRequest& request) {
    DatabaseSourceConfig config;
    config.db_path = db_.path();
    DatabaseSources sources(config, network_, lines_);
    return generate_plan(request, network_, sources, lines_);
  }

  TestNavDb db_{"plan-generation"};
  std::shared_ptr<const network::RouteNetwork> network_;
  std::shared_ptr<const network::AirwayMeta> meta_;
  Lines lines_;
};

TEST_F(PlanGeneration, PlansTheRouteWithItsProceduresAndReportsIt) {
  const PlanOutcome outcome = plan(request("DEPA", "ARRB"));
  ASSERT_TRUE(outcome.generated);
  ASSERT_TRUE(outcome.best);
  const PlannedRoute& best = *outcome.best;
  EXPECT_EQ(best.sid->name, "ALFA1");
  EXPECT_EQ(best.star->name, "BRAVO1");
  ASSERT_TRUE(best.approach);
  EXPECT_EQ(best.approach->name, "I27.MAIN");
  EXPECT_EQ(best.sid_runway, "RW09");
  std::vector<std::string> names;
  for (network::NodeId n : best.route.enroute)
    names.emplace_back(network_->names().text(network_->node(n).name));
  EXPECT_EQ(names, (std::vector<std::string>{"W2", "W3"}));
  EXPECT_TRUE(outcome.alternatives.empty());
  const std::vector<std::string> head = {
      "\n🔍 [Debug] 开始计算: DEPA -> ARRB",
      "ℹ️ [Debug] 推荐跑道组: 起飞 ['RW09'] (风: N/A) | 降落 ['RW27'] (风: N/A)",
      "✅ [Debug] 数据聚合统计: SID: 1 | STAR: 1 | IAP: 1", "⏳ 正在计算最佳路径 (多线程)..."};
  ASSERT_GE(lines_.lines.size(), head.size() + 2);
  EXPECT_EQ(std::vector<std::string>(lines_.lines.begin(), lines_.lines.begin() + 4), head);
  EXPECT_EQ(lines_.lines[5], "   👉 路由详情: SID[ALFA1] -> STAR[BRAVO1] -> APPR[I27.MAIN]");
}

TEST_F(PlanGeneration, FormatsThePlanForClients) {
  const PlanRequest req = request("DEPA", "ARRB");
  const PlanOutcome outcome = plan(req);
  ASSERT_TRUE(outcome.best);
  const FlightPlan flight = flight_plan(*outcome.best, *network_, "DEPA", "ARRB");
  NetworkFormatSources sources(meta_, network_, "RW09", "RW27");
  ApiRecord record = format_for_api(flight, sources);
  EXPECT_EQ(record.route_string, "DEPA ALFA1 W1 A1 W3 BRAVO1 I27 ARRB");
  EXPECT_EQ(record.arr_runway, "RW27");
  ASSERT_EQ(record.detailed_waypoints.size(), 7u);      // DEP09 W1 W2 W3 T2 FAF MAP
  EXPECT_EQ(record.detailed_waypoints[2].seqno, "20");  // W2 is the second row of A1
  extend_record(record, plan_runways(*outcome.best, outcome, req));
  EXPECT_EQ(record.extension->runways->departure, "RW09");
  EXPECT_EQ(record.extension->legs.size(), 6u);
}

TEST_F(PlanGeneration, EarlyFailuresGiveNoResult) {
  PlanRequest forced = request("DEPA", "ARRB");
  forced.forced_sid = "NONE";
  EXPECT_FALSE(plan(forced).generated);
  EXPECT_EQ(lines_.lines.back(), "❌ [Debug] 强制 SID 'NONE' 未找到");
  EXPECT_FALSE(plan(request("XXXX", "ARRB")).generated);
  EXPECT_EQ(lines_.lines.back(), "❌ [Debug] 失败: XXXX 没有任何 SID 数据。");
  Lines no_network;
  DatabaseSources sources({}, nullptr, no_network);
  EXPECT_FALSE(generate_plan(request("DEPA", "ARRB"), nullptr, sources, no_network).generated);
  EXPECT_EQ(no_network.lines.back(), "❌ [Debug] 错误:  (GLOBAL_NETWORK) 未加载!");
}

TEST_F(PlanGeneration, ZeroBatchSizeIsRefusedWhenTheFullSearchStarts) {
  PlanRequest r = request("DEPA", "ARRB");
  r.batch_size = 0;
  EXPECT_THROW(plan(r), InvalidRequest);
  r.batch_size = -1;
  EXPECT_FALSE(plan(r).best);
}

}  // namespace
}  // namespace core_calc::planning
