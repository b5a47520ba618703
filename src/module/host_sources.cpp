#include "module/host_sources.h"

#include "module/own_readers.h"
#include "module/record_convert.h"
#include "planning/flight_plan.h"

namespace core_calc::module {
namespace {

using planning::DirectKind;
using planning::Setting;

const char* setting_name(Setting which) {
  switch (which) {
    case Setting::kSidJoinRadius:
      return "SID_JOIN_RADIUS";
    case Setting::kSidJoinRadiusFallback:
      return "SID_JOIN_RADIUS_FALLBACK";
    case Setting::kSidBearingLimit:
      return "SID_BEARING_LIMIT";
    case Setting::kSidBearingLimitOff:
      return "SID_BEARING_LIMIT_OFF";
    case Setting::kGridSize:
      break;
  }
  return "GRID_SIZE";
}

// Runs a read that the request may guard: a host Exception or a native failure
// becomes a SourceError carrying it; interrupts and exits pass unchanged.
template <class Read>
auto guarded(Read&& read) {
  try {
    return read();
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_Exception)) throw;
    throw planning::SourceError(str_text(e.value()), std::current_exception());
  } catch (const planning::SourceError&) {
    throw;
  } catch (const std::exception& e) {
    throw planning::SourceError(e.what(), std::current_exception());
  }
}

}  // namespace

HostSources::HostSources(bool announce_runways, py::object report_callable)
    : announce_runways_(announce_runways), report_(std::move(report_callable)) {}

HostSources::~HostSources() = default;

planning::ProcedurePtr HostSources::remember(py::handle host_record) {
  auto native = std::make_shared<const navdata::ProcedureRecord>(procedure_record(host_record));
  hosts_[native.get()] = py::reinterpret_borrow<py::object>(host_record);
  keep_.push_back(native);
  return native;
}

planning::RunwayRanking HostSources::runways(const std::string& icao) {
  py::gil_scoped_acquire gil;
  if (is_own("get_best_runway_and_wind")) return own_runways(to_text(icao));
  py::tuple result = py::tuple(attr("get_best_runway_and_wind")(to_text(icao)));
  planning::RunwayRanking ranking;
  for (py::handle rwy : py::list(result[0])) ranking.runways.push_back(str_text(rwy));
  ranking.wind = str_text(result[1]);
  return ranking;
}

std::pair<planning::RunwayRanking, planning::RunwayRanking> HostSources::runways_of_both(
    const std::string& departure, const std::string& arrival) {
  {
    py::gil_scoped_acquire gil;
    if (is_own("get_best_runway_and_wind"))
      return own_runways_of_both(to_text(departure), to_text(arrival));
  }
  return PlanSources::runways_of_both(departure, arrival);
}

planning::ProcedureList HostSources::procedures(const std::string& icao,
                                                planning::ProcedureTable table,
                                                const std::optional<std::string>& runway) {
  py::gil_scoped_acquire gil;
  return guarded([&] {
    py::object table_name = attr("_tn")(planning::table_base(table));
    py::object rwy = runway ? py::object(to_text(*runway)) : py::object(py::none());
    planning::ProcedureList list;
    if (is_own("build_procedures_from_db")) {
      for (navdata::ProcedureRecord& record :
           own_procedures(to_text(icao), table_name, rwy, lines())) {
        std::string key = record.name;
        list.emplace_back(std::move(key),
                          std::make_shared<const navdata::ProcedureRecord>(std::move(record)));
      }
      return list;
    }
    py::object result = attr("build_procedures_from_db")(to_text(icao), table_name, rwy);
    if (!truthy(result)) return list;
    for (auto item : py::dict(result))
      list.emplace_back(str_text(item.first), remember(item.second));
    return list;
  });
}

std::vector<planning::ApproachPtr> HostSources::approaches(const std::string& icao,
                                                           const std::string& runway) {
  py::gil_scoped_acquire gil;
  return guarded([&] {
    std::vector<planning::ApproachPtr> list;
    if (is_own("build_iaps_from_db")) {
      for (navdata::ApproachRecord& record :
           own_approaches(to_text(icao), to_text(runway), lines()))
        list.push_back(std::make_shared<const navdata::ApproachRecord>(std::move(record)));
      return list;
    }
    py::object result = attr("build_iaps_from_db")(to_text(icao), to_text(runway));
    if (!truthy(result)) return list;
    for (py::handle host : result) {
      auto native = std::make_shared<const navdata::ApproachRecord>(approach_record(host));
      hosts_[native.get()] = py::reinterpret_borrow<py::object>(host);
      keep_.push_back(native);
      list.push_back(std::move(native));
    }
    return list;
  });
}

std::optional<navdata::Position> HostSources::reference_point(const std::string& icao) {
  py::gil_scoped_acquire gil;
  if (is_own("get_airport_ref_coord")) return own_reference_point(to_text(icao), lines());
  py::object ref = attr("get_airport_ref_coord")(to_text(icao));
  if (ref.is_none()) return std::nullopt;
  return navdata::Position{to_real(ref[py::int_(0)], "reference latitude"),
                           to_real(ref[py::int_(1)], "reference longitude")};
}

std::vector<planning::ProcedurePtr> HostSources::direct_procedures(DirectKind kind,
                                                                   const std::string& icao,
                                                                   double lat, double lon) {
  py::gil_scoped_acquire gil;
  const char* builder = kind == DirectKind::kDeparture ? "build_direct_sid" : "build_direct_star";
  if (is_own(builder)) return own_direct_procedures(kind, icao, lat, lon, lines());
  std::vector<planning::ProcedurePtr> list;
  for (py::handle host : attr(builder)(to_text(icao), lat, lon)) list.push_back(remember(host));
  return list;
}

double HostSources::setting(Setting which) {
  py::gil_scoped_acquire gil;
  return attr_real(setting_name(which));
}

std::string HostSources::setting_text(Setting which) {
  py::gil_scoped_acquire gil;
  return str_text(attr(setting_name(which)));
}

std::string HostSources::direct_name(DirectKind kind) {
  py::gil_scoped_acquire gil;
  return str_text(attr(kind == DirectKind::kDeparture ? "DIRECT_SID_NAME" : "DIRECT_ARR_NAME"));
}

void HostSources::line(std::string_view text) {
  py::gil_scoped_acquire gil;
  if (report_.is_none()) {
    print_line(text);
  } else {
    report_(to_text(text));
  }
}

std::string HostSources::list_text(const std::vector<std::string>& items) {
  py::gil_scoped_acquire gil;
  py::list list;
  for (const std::string& item : items) list.append(to_text(item));
  return str_text(py::repr(list));
}

void HostSources::runways_chosen(const planning::RunwayRanking& departure,
                                 const planning::RunwayRanking& arrival) {
  if (!announce_runways_) return;
  py::gil_scoped_acquire gil;
  auto first = [](const planning::RunwayRanking& r) {
    return r.runways.empty() ? py::str(planning::kNotAvailable) : to_text(r.runways.front());
  };
  set_attr("recommendeddep", first(departure));
  set_attr("recommendedarr", first(arrival));
}

template <class Record, class Build>
py::object HostSources::host_object(const std::shared_ptr<const Record>& record, Build&& build) {
  auto it = hosts_.find(record.get());
  if (it != hosts_.end()) return it->second;
  py::object host = build(*record);
  hosts_[record.get()] = host;
  keep_.push_back(record);
  return host;
}

py::object HostSources::procedure_object(const planning::ProcedurePtr& record) {
  return host_object(record, [](const auto& r) { return module::procedure_object(r); });
}

py::object HostSources::approach_object(const planning::ApproachPtr& record) {
  return host_object(record, [](const auto& r) { return module::approach_object(r); });
}

}  // namespace core_calc::module
