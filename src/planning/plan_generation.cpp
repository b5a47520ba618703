#include "planning/plan_generation.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <unordered_map>

#include "common/number_text.h"
#include "common/text_repr.h"
#include "planning/combination_search.h"
#include "planning/flight_plan.h"

namespace core_calc::planning {
namespace {

constexpr std::size_t kMaxPlans = 4;  // the best plan and three alternatives

// A procedure as loaded, with the runway whose load supplied it (empty for the
// airport-wide, forced and direct loads).
struct Loaded {
  ProcedurePtr record;
  std::string runway;
};

// Procedures by identifier in insertion order; storing an existing identifier
// keeps its position and takes the new record.
class ProcedureMap {
 public:
  void set(const std::string& key, Loaded value) {
    auto [it, inserted] = position_.try_emplace(key, entries_.size());
    if (inserted) {
      entries_.emplace_back(key, std::move(value));
    } else {
      entries_[it->second].second = std::move(value);
    }
  }
  void assign(const ProcedureList& list, const std::string& runway) {
    entries_.clear();
    position_.clear();
    merge(list, runway);
  }
  void merge(const ProcedureList& list, const std::string& runway) {
    for (const auto& [key, record] : list) set(key, {record, runway});
  }
  const Loaded* find(const std::string& key) const {
    auto it = position_.find(key);
    return it == position_.end() ? nullptr : &entries_[it->second].second;
  }
  bool empty() const { return entries_.empty(); }
  std::size_t size() const { return entries_.size(); }
  const std::vector<std::pair<std::string, Loaded>>& entries() const { return entries_; }

 private:
  std::vector<std::pair<std::string, Loaded>> entries_;
  std::unordered_map<std::string, std::size_t> position_;
};

// The record stored under `key` in a loaded list (the last one, as a mapping keeps).
std::optional<Loaded> find_in(const ProcedureList& list, const std::string& key) {
  std::optional<Loaded> found;
  for (const auto& [k, record] : list)
    if (k == key) found = Loaded{record, {}};
  return found;
}

class Planner {
 public:
  Planner(const PlanRequest& request, std::shared_ptr<const network::RouteNetwork> network,
          PlanSources& sources, PlanReport& report)
      : r_(request), sources_(sources), report_(report) {
    outcome_.network = std::move(network);
  }

  PlanOutcome run() {
    const auto start = Clock::now();
    PlanOutcome outcome = plan();
    outcome.times.total_seconds = seconds_since(start);
    outcome.times.searches_asked = searches_.requests();
    outcome.times.searches_run = searches_.runs();
    return outcome;
  }

 private:
  using Clock = std::chrono::steady_clock;
  static double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

  PlanOutcome plan() {
    report_.line("\n🔍 [Debug] 开始计算: " + r_.departure + " -> " + r_.arrival);
    if (!outcome_.network) {
      report_.line("❌ [Debug] 错误:  (GLOBAL_NETWORK) 未加载!");
      return std::move(outcome_);
    }
    choose_runways();
    if (!load_sids()) return std::move(outcome_);
    load_arrivals();
    report_.line("⏳ 正在计算最佳路径 (多线程)...");
    build_combinations();
    const auto start = Clock::now();
    auto plans = search();
    outcome_.times.search_seconds = seconds_since(start);
    rank(std::move(plans));
    outcome_.generated = true;
    report_result();
    return std::move(outcome_);
  }

  void choose_runways() {
    auto [dep, arr] = sources_.runways_of_both(r_.departure, r_.arrival);
    if (!r_.forced_dep_rwy.empty()) dep.runways = {r_.forced_dep_rwy};
    if (!r_.forced_arr_rwy.empty()) arr.runways = {r_.forced_arr_rwy};
    report_.runways_chosen(dep, arr);
    report_.line("ℹ️ [Debug] 推荐跑道组: 起飞 " + report_.list_text(dep.runways) +
                 " (风: " + dep.wind + ") | 降落 " + report_.list_text(arr.runways) +
                 " (风: " + arr.wind + ")");
    outcome_.departure_runways = std::move(dep);
    outcome_.arrival_runways = std::move(arr);
    outcome_.runways_chosen = true;
  }

  const std::vector<std::string>& dep_runways() const { return outcome_.departure_runways.runways; }
  const std::vector<std::string>& arr_runways() const { return outcome_.arrival_runways.runways; }

  // Direct candidates around the airport's reference point under NAME#0, NAME#1, ...;
  // nothing when the airport has no position.
  void add_direct(ProcedureMap& target, DirectKind kind, const std::string& icao) {
    const auto ref = sources_.reference_point(icao);
    if (!ref) return;
    const auto direct = sources_.direct_procedures(kind, icao, ref->lat, ref->lon);
    const std::string name = sources_.direct_name(kind);
    for (std::size_t i = 0; i < direct.size(); ++i)
      target.set(name + "#" + std::to_string(i), {direct[i], {}});
  }

  bool load_sids() {
    if (!r_.forced_sid.empty()) {
      const ProcedureList all =
          sources_.procedures(r_.departure, ProcedureTable::kSids, std::nullopt);
      const std::optional<Loaded> forced = find_in(all, r_.forced_sid);
      if (!forced) {
        report_.line("❌ [Debug] 强制 SID '" + r_.forced_sid + "' 未找到");
        return false;
      }
      sids_.set(r_.forced_sid, *forced);
      report_.line("🔒 [Debug] 强制使用 SID: " + r_.forced_sid);
      return true;
    }
    for (const std::string& rwy : dep_runways()) {
      try {
        sids_.merge(sources_.procedures(r_.departure, ProcedureTable::kSids, rwy), rwy);
      } catch (const SourceError& e) {
        report_.line("⚠️ 跑道 " + rwy + " 读取 SID 出错: " + e.what());
      }
    }
    if (sids_.empty()) {
      report_.line(
          "⚠️ [Debug] 推荐跑道均无 SID，尝试查找机场所有 SID (runway=None)...");
      sids_.assign(sources_.procedures(r_.departure, ProcedureTable::kSids, std::nullopt), {});
    }
    if (sids_.empty()) add_direct(sids_, DirectKind::kDeparture, r_.departure);
    if (sids_.empty()) {
      report_.line("❌ [Debug] 失败: " + r_.departure + " 没有任何 SID 数据。");
      return false;
    }
    return true;
  }

  void load_forced_arrival() {
    if (!r_.forced_star.empty()) {
      const ProcedureList all =
          sources_.procedures(r_.arrival, ProcedureTable::kStars, std::nullopt);
      if (const std::optional<Loaded> forced = find_in(all, r_.forced_star)) {
        stars_.set(r_.forced_star, *forced);
        report_.line("🔒 [Debug] 强制使用 STAR: " + r_.forced_star);
      } else {
        report_.line("⚠️ [Debug] 强制 STAR '" + r_.forced_star + "' 未找到");
      }
    }
    if (r_.forced_iap.empty()) return;
    const std::string iap_rwy = !r_.forced_arr_rwy.empty() ? r_.forced_arr_rwy
                                : !arr_runways().empty()   ? arr_runways().front()
                                                           : std::string("ALL");
    for (const ApproachPtr& iap : sources_.approaches(r_.arrival, iap_rwy))
      if (iap->name.starts_with(r_.forced_iap)) iaps_.push_back(iap);
    if (!iaps_.empty()) {
      report_.line("🔒 [Debug] 强制使用 IAP: " + r_.forced_iap + " (找到 " +
                   std::to_string(iaps_.size()) + " 个变体)");
    } else {
      report_.line("⚠️ [Debug] 强制 IAP '" + r_.forced_iap + "' 未找到");
    }
  }

  void load_arrivals() {
    if (!r_.forced_star.empty() || !r_.forced_iap.empty()) {
      load_forced_arrival();
    } else if (!arr_runways().empty()) {
      for (const std::string& rwy : arr_runways()) {
        try {
          stars_.merge(sources_.procedures(r_.arrival, ProcedureTable::kStars, rwy), rwy);
          for (ApproachPtr& iap : sources_.approaches(r_.arrival, rwy))
            iaps_.push_back(std::move(iap));
        } catch (const SourceError& e) {
          report_.line("⚠️ 跑道 " + rwy + " 读取 STAR/IAP 出错: " + e.what());
        }
      }
    } else {
      stars_.assign(sources_.procedures(r_.arrival, ProcedureTable::kStars, std::nullopt), {});
    }
    report_.line("✅ [Debug] 数据聚合统计: SID: " + std::to_string(sids_.size()) + " | STAR: " +
                 std::to_string(stars_.size()) + " | IAP: " + std::to_string(iaps_.size()));
    if (stars_.empty() && iaps_.empty() && r_.forced_iap.empty()) {
      add_direct(stars_, DirectKind::kArrival, r_.arrival);
      if (!stars_.empty())
        report_.line("⚠️ [Debug] 目的地 " + r_.arrival + " 没有 STAR/IAP，已生成 " +
                     std::to_string(stars_.size()) + " 个直飞进近候选。");
    }
  }

  // Every SID x STAR pair, SID-major; (SID, none) for each SID without arrivals.
  void build_combinations() {
    set_.net = outcome_.network.get();
    set_.cache = &searches_;
    for (const auto& [key, loaded] : sids_.entries())
      set_.sids.push_back(route_procedure(*loaded.record, "sid"));
    for (const auto& [key, loaded] : stars_.entries())
      set_.stars.push_back(route_procedure(*loaded.record, "star"));
    for (const ApproachPtr& iap : iaps_) set_.approaches.push_back(route_approach(*iap));
    const int star_count = static_cast<int>(set_.stars.size());
    for (std::uint32_t s = 0; s < set_.sids.size(); ++s) {
      if (star_count == 0) set_.combinations.push_back({s, kWithoutStar});
      for (int t = 0; t < star_count; ++t) set_.combinations.push_back({s, t});
    }
  }

  RoutingLimits limits(bool skip_bearing_check, std::optional<double> join_radius,
                       std::optional<double> bearing_limit) {
    RoutingLimits limits;
    limits.skip_bearing_check = skip_bearing_check;
    if (join_radius) {
      limits.join_radius_km = join_radius;
    } else {
      limits.sid_join_radius_km = sources_.setting(Setting::kSidJoinRadius);
    }
    if (!skip_bearing_check)
      limits.bearing_limit_deg =
          bearing_limit ? *bearing_limit : sources_.setting(Setting::kSidBearingLimit);
    limits.grid_size = sources_.setting(Setting::kGridSize);
    return limits;
  }

  PlannedRoute planned(CombinationPlan plan, const Combination& combo) const {
    PlannedRoute p;
    p.route = std::move(plan);
    const Loaded& sid = sids_.entries()[combo.sid].second;
    p.sid = sid.record;
    p.sid_runway = sid.runway;
    if (combo.star != kWithoutStar) {
      const Loaded& star = stars_.entries()[static_cast<std::size_t>(combo.star)].second;
      p.star = star.record;
      p.star_runway = star.runway;
    }
    if (p.route.approach != kNoApproach)
      p.approach = iaps_[static_cast<std::size_t>(p.route.approach)];
    return p;
  }

  std::vector<PlannedRoute> run_forced(std::optional<double> join_radius) {
    std::vector<PlannedRoute> out;
    for (CombinationPlan& plan : search_forced(set_, limits(true, join_radius, std::nullopt)))
      out.push_back(planned(std::move(plan), set_.combinations.front()));
    return out;
  }

  std::vector<PlannedRoute> run_all(std::optional<double> join_radius,
                                    std::optional<double> bearing_limit) {
    if (!r_.batch_size_problem.empty())
      throw InvalidRequest(InvalidRequest::Kind::kType, r_.batch_size_problem);
    if (r_.batch_size == 0)
      throw InvalidRequest(InvalidRequest::Kind::kValue, "batch_size must not be zero");
    if (r_.batch_size < 0) return {};  // no batch can be formed
    std::vector<PlannedRoute> out;
    const auto found = search_all(set_, static_cast<std::size_t>(r_.batch_size),
                                  limits(false, join_radius, bearing_limit));
    for (const FoundPlan& f : found)
      out.push_back(planned(f.plan, set_.combinations[f.combination]));
    return out;
  }

  std::string radius_message() {
    return "⚠️ [Debug] 默认半径 (" + sources_.setting_text(Setting::kSidJoinRadius) +
           "km) 无结果，扩大至 " + sources_.setting_text(Setting::kSidJoinRadiusFallback) +
           "km 重试...";
  }

  std::vector<PlannedRoute> search() {
    const bool forced = !r_.forced_sid.empty() || !r_.forced_star.empty() || !r_.forced_iap.empty();
    if (forced && set_.combinations.size() == 1) {
      auto plans = run_forced(std::nullopt);
      if (plans.empty()) {
        report_.line(radius_message());
        plans = run_forced(sources_.setting(Setting::kSidJoinRadiusFallback));
      }
      return plans;
    }
    auto plans = run_all(std::nullopt, std::nullopt);
    if (plans.empty()) {
      report_.line(radius_message());
      plans = run_all(sources_.setting(Setting::kSidJoinRadiusFallback), std::nullopt);
    }
    if (plans.empty()) {
      report_.line("⚠️ [Debug] 扩大半径仍无结果，解除方向剪枝 (bearings > " +
                   sources_.setting_text(Setting::kSidBearingLimit) + "°) 重试...");
      plans = run_all(sources_.setting(Setting::kSidJoinRadiusFallback),
                      sources_.setting(Setting::kSidBearingLimitOff));
    }
    return plans;
  }

  std::string dedup_key(const PlannedRoute& p) const {
    if (!p.route.route_ids.empty()) {
      std::string key;
      for (std::size_t i = 0; i < p.route.route_ids.size(); ++i) {
        if (i > 0) key += "|";
        const network::NameId rid = p.route.route_ids[i];
        key += rid == network::kNoName ? "None" : std::string(outcome_.network->names().text(rid));
      }
      return key;
    }
    return p.sid->name + "|" + (p.star ? p.star->name : std::string(kNoStar)) + "|" +
           (p.approach ? p.approach->name : std::string(kNotAvailable));
  }

  // Shortest first (stable), one plan per route, at most kMaxPlans.
  void rank(std::vector<PlannedRoute> plans) {
    std::stable_sort(plans.begin(), plans.end(), [](const PlannedRoute& a, const PlannedRoute& b) {
      return a.route.distance_km < b.route.distance_km;
    });
    std::vector<std::string> seen;
    std::vector<PlannedRoute> unique;
    for (PlannedRoute& p : plans) {
      std::string key = dedup_key(p);
      if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
      seen.push_back(std::move(key));
      unique.push_back(std::move(p));
      if (unique.size() == kMaxPlans) break;
    }
    if (unique.empty()) return;
    outcome_.best = std::move(unique.front());
    outcome_.alternatives.assign(std::make_move_iterator(unique.begin() + 1),
                                 std::make_move_iterator(unique.end()));
  }

  void report_result() {
    if (!outcome_.best) {
      report_.line("❌ [Debug] 失败: 遍历了所有组合，但无法找到有效连通路径。");
      return;
    }
    const PlannedRoute& best = *outcome_.best;
    const std::string star =
        best.star && !best.star->name.empty() ? best.star->name : std::string(kNoStar);
    const std::string approach = best.approach ? best.approach->name : std::string(kNotAvailable);
    report_.line("🎉 [Debug] 成功找到航路! 总距离: " + whole_number_text(best.route.distance_km) +
                 " km");
    report_.line("   👉 路由详情: SID[" + best.sid->name + "] -> STAR[" + star + "] -> APPR[" +
                 approach + "]");
    if (!outcome_.alternatives.empty())
      report_.line("   📋 另有 " + std::to_string(outcome_.alternatives.size()) + " 条替代方案");
    if (star == kNoStar && approach == kNotAvailable)
      report_.line("   ⚠️ 注意: 此航路为直飞跑道，未连接任何进近程序。");
  }

  const PlanRequest& r_;
  PlanSources& sources_;
  PlanReport& report_;
  PlanOutcome outcome_;
  ProcedureMap sids_, stars_;
  std::vector<ApproachPtr> iaps_;
  SearchCache searches_;  // shared by every attempt of this request
  CombinationSet set_{};
};

}  // namespace

const char* table_base(ProcedureTable table) {
  return table == ProcedureTable::kSids ? "tbl_sids" : "tbl_stars";
}

std::string PlanReport::list_text(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += ", ";
    out += quoted_text(items[i]);
  }
  return out + "]";
}

PlanOutcome generate_plan(const PlanRequest& request,
                          std::shared_ptr<const network::RouteNetwork> network,
                          PlanSources& sources, PlanReport& report) {
  return Planner(request, std::move(network), sources, report).run();
}

}  // namespace core_calc::planning
