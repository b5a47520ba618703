// generate_flight_plan: runways by wind, procedure loading with its fallbacks, the
// forced or full search with its retries, ranking, de-duplication and the report.
#include <algorithm>
#include <cmath>
#include <limits>

#include "module/bindings.h"
#include "module/network_handle.h"
#include "module/plan_convert.h"
#include "planning/combination_search.h"

namespace core_calc::module {
namespace {

using planning::CombinationSet;

bool given(py::handle value) {
  const int truth = PyObject_IsTrue(value.ptr());
  if (truth < 0) throw py::error_already_set();
  return truth == 1;
}

py::object call(const char* name, py::args args) {
  return attr(name)(*args);
}

void merge_into(py::dict& target, py::handle procs) {
  py::dict as_dict(py::reinterpret_borrow<py::object>(procs));
  for (auto item : as_dict) target[item.first] = item.second;
}

// The request's working data, in the order the steps fill it.
struct Request {
  py::object dep, arr, forced_sid, forced_star, forced_iap, forced_dep_rwy, forced_arr_rwy;
  py::object batch_size;
  std::shared_ptr<const network::RouteNetwork> net;
  py::list dep_runways, arr_runways;
  py::dict sids, stars;
  py::list iaps;
};

void choose_runways(Request& r) {
  py::tuple dep = py::reinterpret_borrow<py::tuple>(
      py::tuple(call("get_best_runway_and_wind", py::make_tuple(r.dep))));
  py::tuple arr = py::reinterpret_borrow<py::tuple>(
      py::tuple(call("get_best_runway_and_wind", py::make_tuple(r.arr))));
  r.dep_runways = py::list(dep[0]);
  r.arr_runways = py::list(arr[0]);
  if (given(r.forced_dep_rwy)) r.dep_runways = py::list(py::make_tuple(r.forced_dep_rwy));
  if (given(r.forced_arr_rwy)) r.arr_runways = py::list(py::make_tuple(r.forced_arr_rwy));
  set_attr("recommendeddep",
           r.dep_runways.empty() ? py::object(py::str("N/A")) : py::object(r.dep_runways[0]));
  set_attr("recommendedarr",
           r.arr_runways.empty() ? py::object(py::str("N/A")) : py::object(r.arr_runways[0]));
  print_line("ℹ️ [Debug] 推荐跑道组: 起飞 " + str_text(py::repr(r.dep_runways)) +
             " (风: " + str_text(dep[1]) + ") | 降落 " + str_text(py::repr(r.arr_runways)) +
             " (风: " + str_text(arr[1]) + ")");
}

py::object table(const char* base) {
  return attr("_tn")(base);
}

py::object load_procedures(py::handle icao, const char* base, py::handle runway) {
  return call("build_procedures_from_db", py::make_tuple(icao, table(base), runway));
}

// Direct candidates around the airport's reference point, filed under NAME#0, NAME#1, ...
// with NAME the module constant `name_attr`; nothing when the airport has no position.
void add_direct_candidates(py::dict& target, py::handle icao, const char* builder,
                           const char* name_attr) {
  py::object ref = call("get_airport_ref_coord", py::make_tuple(icao));
  if (ref.is_none()) return;
  py::object direct = call(builder, py::make_tuple(icao, ref[py::int_(0)], ref[py::int_(1)]));
  std::size_t i = 0;
  for (py::handle rec : direct)
    target[py::str(str_text(attr(name_attr)) + "#" + std::to_string(i++))] = rec;
}

bool load_sids(Request& r) {
  if (given(r.forced_sid)) {
    py::object all = load_procedures(r.dep, "tbl_sids", py::none());
    if (!all.contains(r.forced_sid)) {
      print_line("❌ [Debug] 强制 SID '" + str_text(r.forced_sid) + "' 未找到");
      return false;
    }
    r.sids[r.forced_sid] = all[r.forced_sid];
    print_line("🔒 [Debug] 强制使用 SID: " + str_text(r.forced_sid));
    return true;
  }
  for (py::handle rwy : r.dep_runways) {
    try {
      py::object procs = load_procedures(r.dep, "tbl_sids", rwy);
      if (given(procs)) merge_into(r.sids, procs);
    } catch (py::error_already_set& e) {
      if (!e.matches(PyExc_Exception)) throw;  // interrupts and exits are not load errors
      print_line("⚠️ 跑道 " + str_text(rwy) + " 读取 SID 出错: " + str_text(e.value()));
    }
  }
  if (r.sids.empty()) {
    print_line(
        "⚠️ [Debug] 推荐跑道均无 SID，尝试查找机场所有 SID (runway=None)...");
    r.sids = py::dict(load_procedures(r.dep, "tbl_sids", py::none()));
  }
  if (r.sids.empty()) add_direct_candidates(r.sids, r.dep, "build_direct_sid", "DIRECT_SID_NAME");
  if (r.sids.empty()) {
    print_line("❌ [Debug] 失败: " + str_text(r.dep) + " 没有任何 SID 数据。");
    return false;
  }
  return true;
}

void load_forced_arrival(Request& r) {
  if (given(r.forced_star)) {
    py::object all = load_procedures(r.arr, "tbl_stars", py::none());
    if (all.contains(r.forced_star)) {
      r.stars[r.forced_star] = all[r.forced_star];
      print_line("🔒 [Debug] 强制使用 STAR: " + str_text(r.forced_star));
    } else {
      print_line("⚠️ [Debug] 强制 STAR '" + str_text(r.forced_star) + "' 未找到");
    }
  }
  if (given(r.forced_iap)) {
    py::object iap_rwy = given(r.forced_arr_rwy)  ? r.forced_arr_rwy
                         : !r.arr_runways.empty() ? py::object(r.arr_runways[0])
                                                  : py::object(py::str("ALL"));
    py::object all = call("build_iaps_from_db", py::make_tuple(r.arr, iap_rwy));
    for (py::handle iap : all)
      if (given(iap.attr("name").attr("startswith")(r.forced_iap))) r.iaps.append(iap);
    if (!r.iaps.empty()) {
      print_line("🔒 [Debug] 强制使用 IAP: " + str_text(r.forced_iap) + " (找到 " +
                 std::to_string(r.iaps.size()) + " 个变体)");
    } else {
      print_line("⚠️ [Debug] 强制 IAP '" + str_text(r.forced_iap) + "' 未找到");
    }
  }
}

void load_arrivals(Request& r) {
  if (given(r.forced_star) || given(r.forced_iap)) {
    load_forced_arrival(r);
  } else if (!r.arr_runways.empty()) {
    for (py::handle rwy : r.arr_runways) {
      try {
        py::object stars = load_procedures(r.arr, "tbl_stars", rwy);
        if (given(stars)) merge_into(r.stars, stars);
        py::object iaps = call("build_iaps_from_db", py::make_tuple(r.arr, rwy));
        if (given(iaps))
          for (py::handle iap : iaps) r.iaps.append(iap);
      } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_Exception)) throw;
        print_line("⚠️ 跑道 " + str_text(rwy) +
                   " 读取 STAR/IAP 出错: " + str_text(e.value()));
      }
    }
  } else {
    r.stars = py::dict(load_procedures(r.arr, "tbl_stars", py::none()));
  }
  print_line("✅ [Debug] 数据聚合统计: SID: " + std::to_string(r.sids.size()) + " | STAR: " +
             std::to_string(r.stars.size()) + " | IAP: " + std::to_string(r.iaps.size()));
  if (r.stars.empty() && r.iaps.empty() && !given(r.forced_iap)) {
    add_direct_candidates(r.stars, r.arr, "build_direct_star", "DIRECT_ARR_NAME");
    if (!r.stars.empty())
      print_line("⚠️ [Debug] 目的地 " + str_text(r.arr) + " 没有 STAR/IAP，已生成 " +
                 std::to_string(r.stars.size()) + " 个直飞进近候选。");
  }
}

// Host records of the combinations, SID-major, next to their native form.
struct Combinations {
  CombinationSet set;
  std::vector<py::object> sid_records, star_records;
};

Combinations build_combinations(const Request& r) {
  Combinations c{{r.net.get(), {}, {}, approach_inputs(r.iaps), {}}, {}, {}};
  for (auto item : r.sids) {
    c.sid_records.push_back(py::reinterpret_borrow<py::object>(item.second));
    c.set.sids.push_back(procedure_input(item.second, "sid"));
  }
  for (auto item : r.stars) {
    c.star_records.push_back(py::reinterpret_borrow<py::object>(item.second));
    c.set.stars.push_back(procedure_input(item.second, "star"));
  }
  const int star_count = static_cast<int>(c.set.stars.size());
  for (std::uint32_t s = 0; s < c.set.sids.size(); ++s) {
    if (star_count == 0) c.set.combinations.push_back({s, planning::kNoStar});
    for (int t = 0; t < star_count; ++t) c.set.combinations.push_back({s, t});
  }
  return c;
}

py::object star_record(const Combinations& c, const planning::Combination& combo) {
  return combo.star == planning::kNoStar ? py::object(py::none())
                                         : c.star_records[static_cast<std::size_t>(combo.star)];
}

struct RankedPlan {
  py::dict record;
  double distance;
};

std::vector<RankedPlan> run_forced(const Request& r, const Combinations& c,
                                   py::handle join_radius) {
  const auto limits = routing_limits(py::bool_(true), join_radius, py::none());
  std::vector<planning::CombinationPlan> plans;
  try {
    py::gil_scoped_release release;
    plans = planning::search_forced(c.set, limits);
  } catch (const planning::SearchFaultError& e) {
    raise_search_fault(*r.net, e);  // the forced search reports its errors to the caller
  }
  const planning::Combination& combo = c.set.combinations.front();
  std::vector<RankedPlan> out;
  for (const auto& plan : plans)
    out.push_back({plan_object(*r.net, plan, r.dep, r.arr, c.sid_records[combo.sid],
                               star_record(c, combo), r.iaps),
                   plan.distance_km});
  return out;
}

std::vector<RankedPlan> run_all(const Request& r, const Combinations& c, long long batch_size,
                                py::handle join_radius, py::handle bearing_limit) {
  if (batch_size <= 0) return {};  // no batch can be formed
  const auto limits = routing_limits(py::bool_(false), join_radius, bearing_limit);
  std::vector<planning::FoundPlan> found;
  {
    py::gil_scoped_release release;
    found = planning::search_all(c.set, static_cast<std::size_t>(batch_size), limits);
  }
  std::vector<RankedPlan> out;
  for (const auto& f : found) {
    const planning::Combination& combo = c.set.combinations[f.combination];
    out.push_back({plan_object(*r.net, f.plan, r.dep, r.arr, c.sid_records[combo.sid],
                               star_record(c, combo), r.iaps),
                   f.plan.distance_km});
  }
  return out;
}

std::string radius_message() {
  return "⚠️ [Debug] 默认半径 (" + str_text(attr("SID_JOIN_RADIUS")) +
         "km) 无结果，扩大至 " + str_text(attr("SID_JOIN_RADIUS_FALLBACK")) + "km 重试...";
}

// Combinations per pool task. An integer too large for the native type still
// means "everything in one batch", and one too small still forms no batch.
long long checked_batch_size(py::handle batch_size) {
  if (!PyLong_Check(batch_size.ptr())) throw py::type_error("batch_size must be an integer");
  int overflow = 0;
  long long size = PyLong_AsLongLongAndOverflow(batch_size.ptr(), &overflow);
  if (size == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (overflow > 0) size = std::numeric_limits<long long>::max();
  if (overflow < 0) size = -1;
  if (size == 0) throw py::value_error("batch_size must not be zero");
  return size;
}

std::vector<RankedPlan> search(const Request& r, const Combinations& c) {
  const bool forced = given(r.forced_sid) || given(r.forced_star) || given(r.forced_iap);
  if (forced && c.set.combinations.size() == 1) {
    auto plans = run_forced(r, c, py::none());
    if (plans.empty()) {
      print_line(radius_message());
      plans = run_forced(r, c, attr("SID_JOIN_RADIUS_FALLBACK"));
    }
    return plans;
  }
  const long long batch_size = checked_batch_size(r.batch_size);
  auto plans = run_all(r, c, batch_size, py::none(), py::none());
  if (plans.empty()) {
    print_line(radius_message());
    plans = run_all(r, c, batch_size, attr("SID_JOIN_RADIUS_FALLBACK"), py::none());
  }
  if (plans.empty()) {
    print_line("⚠️ [Debug] 扩大半径仍无结果，解除方向剪枝 (bearings > " +
               str_text(attr("SID_BEARING_LIMIT")) + "°) 重试...");
    plans =
        run_all(r, c, batch_size, attr("SID_JOIN_RADIUS_FALLBACK"), attr("SID_BEARING_LIMIT_OFF"));
  }
  return plans;
}

std::string dedup_key(const py::dict& plan) {
  py::object route_ids =
      plan.contains("route_ids") ? py::object(plan["route_ids"]) : py::object(py::list());
  if (given(route_ids)) {
    std::string key;
    bool first = true;
    for (py::handle rid : route_ids) {
      if (!first) key += "|";
      key += str_text(rid);
      first = false;
    }
    return key;
  }
  return str_text(plan["sid"]) + "|" + str_text(plan["star"]) + "|" + str_text(plan["approach"]);
}

std::vector<py::dict> unique_best(std::vector<RankedPlan> plans) {
  std::stable_sort(plans.begin(), plans.end(), [](const RankedPlan& a, const RankedPlan& b) {
    return a.distance < b.distance;
  });
  std::vector<py::dict> unique;
  std::vector<std::string> seen;
  for (const RankedPlan& p : plans) {
    std::string key = dedup_key(p.record);
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
    seen.push_back(std::move(key));
    unique.push_back(p.record);
    if (unique.size() == 4) break;
  }
  return unique;
}

void report(const py::dict& best, std::size_t alternatives) {
  const double distance = to_real(best["distance"], "distance");
  const std::string star = given(best["star"]) ? str_text(best["star"]) : "DIRECT";
  const std::string approach = str_text(best["approach"]);
  print_line("🎉 [Debug] 成功找到航路! 总距离: " +
             str_text(py::int_(py::float_(std::trunc(distance)))) + " km");
  print_line("   👉 路由详情: SID[" + str_text(best["sid"]) + "] -> STAR[" + star + "] -> APPR[" +
             approach + "]");
  if (alternatives > 0) print_line("   📋 另有 " + std::to_string(alternatives) + " 条替代方案");
  if (star == "DIRECT" && approach == "N/A")
    print_line("   ⚠️ 注意: 此航路为直飞跑道，未连接任何进近程序。");
}

py::object generate_flight_plan(py::object dep_icao, py::object arr_icao, py::object batch_size,
                                py::object forced_sid, py::object forced_star,
                                py::object forced_iap, py::object forced_dep_rwy,
                                py::object forced_arr_rwy) {
  Request r;
  r.dep = dep_icao;
  r.arr = arr_icao;
  r.forced_sid = forced_sid;
  r.forced_star = forced_star;
  r.forced_iap = forced_iap;
  r.forced_dep_rwy = forced_dep_rwy;
  r.forced_arr_rwy = forced_arr_rwy;
  r.batch_size = batch_size;
  print_line("\n🔍 [Debug] 开始计算: " + str_text(dep_icao) + " -> " + str_text(arr_icao));
  py::object holder;
  NetworkHandle* network = global_network(holder);
  if (!network) {
    print_line("❌ [Debug] 错误:  (GLOBAL_NETWORK) 未加载!");
    return py::none();
  }
  r.net = network->snapshot();  // this call keeps routing on it whatever the host rebinds
  choose_runways(r);
  if (!load_sids(r)) return py::none();
  load_arrivals(r);
  print_line("⏳ 正在计算最佳路径 (多线程)...");
  const Combinations combinations = build_combinations(r);
  const std::vector<py::dict> unique = unique_best(search(r, combinations));
  if (unique.empty()) {
    print_line("❌ [Debug] 失败: 遍历了所有组合，但无法找到有效连通路径。");
    return py::make_tuple(py::none(), py::list());
  }
  py::list alternatives;
  for (std::size_t i = 1; i < unique.size(); ++i) alternatives.append(unique[i]);
  report(unique.front(), alternatives.size());
  return py::make_tuple(unique.front(), alternatives);
}

}  // namespace

void def_plan_generation(py::module_& m) {
  def_process_batch(m);
  m.def("generate_flight_plan", &generate_flight_plan, py::arg("dep_icao"), py::arg("arr_icao"),
        py::arg("batch_size") = 20, py::arg("forced_sid") = py::none(),
        py::arg("forced_star") = py::none(), py::arg("forced_iap") = py::none(),
        py::arg("forced_dep_rwy") = py::none(), py::arg("forced_arr_rwy") = py::none());
}

}  // namespace core_calc::module
