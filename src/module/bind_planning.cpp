// process_combination and process_batch.
#include <algorithm>
#include <cmath>

#include "module/bindings.h"
#include "module/network_handle.h"
#include "module/plan_convert.h"
#include "module/record_convert.h"
#include "planning/combination_search.h"

namespace core_calc::module {
namespace {

using planning::CombinationSet;

// Runs native routing with the GIL released; a search fault becomes the host's error.
template <class Work>
auto without_gil(const network::RouteNetwork& net, Work&& work) {
  try {
    py::gil_scoped_release release;
    return work();
  } catch (const planning::SearchFaultError& e) {
    raise_search_fault(net, e);
  }
}

std::shared_ptr<const network::RouteNetwork> loaded_network() {
  auto net = global_network();
  if (!net) {
    PyErr_SetString(PyExc_RuntimeError, "GLOBAL_NETWORK is not loaded");
    throw py::error_already_set();
  }
  return net;
}

// A host record as a routing input; an unroutable one is the host's ValueError.
template <class Convert>
auto routing_input(Convert&& convert) {
  try {
    return convert();
  } catch (const planning::InvalidProcedure& e) {
    throw py::value_error(e.what());
  }
}

planning::RouteProcedure procedure_input(py::handle record, const char* what) {
  return routing_input([&] { return planning::route_procedure(procedure_record(record), what); });
}

std::vector<planning::RouteApproach> approach_inputs(py::handle records) {
  std::vector<planning::RouteApproach> out;
  for (py::handle record : py::reinterpret_borrow<py::iterable>(records))
    out.push_back(routing_input([&] { return planning::route_approach(approach_record(record)); }));
  return out;
}

// The chosen approach record of a plan, or None.
py::object approach_of(const planning::CombinationPlan& plan, py::handle approaches) {
  if (plan.approach == planning::kNoApproach) return py::none();
  return py::reinterpret_borrow<py::sequence>(approaches)[static_cast<std::size_t>(plan.approach)];
}

py::object process_combination(py::handle sid, py::handle star, py::handle available_iaps,
                               py::handle dep, py::handle arr, py::handle skip_bearing_check,
                               py::handle penalized_edges, py::handle join_radius,
                               py::handle bearing_limit) {
  const auto net = loaded_network();
  CombinationSet set{net.get(),
                     {procedure_input(sid, "sid")},
                     {},
                     approach_inputs(available_iaps),
                     {{0, planning::kWithoutStar}}};
  if (!star.is_none()) {
    set.stars.push_back(procedure_input(star, "star"));
    set.combinations[0].star = 0;
  }
  const network::EdgePenalties penalties = penalties_input(*net, penalized_edges);
  const planning::RoutingLimits limits =
      routing_limits(skip_bearing_check, join_radius, bearing_limit);
  auto plan = without_gil(*net, [&] {
    network::RouteSearch search(*net);
    planning::CachedSearch uncached(search, nullptr);
    const planning::RouteProcedure* star_input = set.stars.empty() ? nullptr : &set.stars[0];
    return planning::route_combination(*net, uncached, set.sids[0], star_input, set.approaches,
                                       limits, penalties.empty() ? nullptr : &penalties);
  });
  if (!plan) return py::none();
  return plan_object(*net, *plan, dep, arr, sid, star, approach_of(*plan, available_iaps));
}

py::object process_batch(py::handle args) {
  py::sequence unpacked = py::reinterpret_borrow<py::sequence>(args);
  if (py::len(unpacked) != 6)
    throw py::value_error(
        "process_batch takes (batch, iaps, dep, arr, join_radius, bearing_limit)");
  py::object batch = unpacked[0], iaps = unpacked[1], dep = unpacked[2], arr = unpacked[3];
  CombinationSet set{nullptr, {}, {}, approach_inputs(iaps), {}};
  std::vector<std::pair<py::object, py::object>> records;
  for (py::handle pair : py::reinterpret_borrow<py::iterable>(batch)) {
    py::sequence p = py::reinterpret_borrow<py::sequence>(pair);
    py::object sid = p[0], star = p[1];
    set.sids.push_back(procedure_input(sid, "sid"));
    int star_index = planning::kWithoutStar;
    if (!star.is_none()) {
      star_index = static_cast<int>(set.stars.size());
      set.stars.push_back(procedure_input(star, "star"));
    }
    set.combinations.push_back({static_cast<std::uint32_t>(set.sids.size() - 1), star_index});
    records.emplace_back(sid, star);
  }
  if (set.combinations.empty()) return py::none();  // nothing to route, nothing to read
  const auto net = loaded_network();
  set.net = net.get();
  const auto limits = routing_limits(py::bool_(false), unpacked[4], unpacked[5]);
  planning::SearchCache searches;
  set.cache = &searches;
  auto best = without_gil(*net, [&] {
    network::RouteSearch search(*net);
    return planning::best_of_batch(set, search, 0, set.combinations.size(), limits);
  });
  if (!best) return py::none();
  const auto& [sid, star] = records[best->combination];
  return plan_object(*net, best->plan, dep, arr, sid, star, approach_of(best->plan, iaps));
}

}  // namespace

void def_process_combination(py::module_& m) {
  m.def("process_combination", &process_combination, py::arg("sid"), py::arg("star"),
        py::arg("available_iaps"), py::arg("dep"), py::arg("arr"),
        py::arg("skip_bearing_check") = false, py::arg("penalized_edges") = py::none(),
        py::arg("join_radius") = py::none(), py::arg("bearing_limit") = py::none(),
        doc::kProcessCombination);
}

void def_process_batch(py::module_& m) {
  m.def("process_batch", &process_batch, py::arg("args"), doc::kProcessBatch);
}

}  // namespace core_calc::module
