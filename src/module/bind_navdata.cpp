// Readers of procedures, approaches and airport positions, and direct candidates.
// Each reader leases its database connection with the GIL released, reads into
// native records and builds the host records only at the end.
#include <initializer_list>

#include "module/bindings.h"
#include "module/network_handle.h"
#include "module/own_readers.h"
#include "module/record_convert.h"
#include "navdata/airport_position.h"
#include "navdata/approach_reader.h"
#include "navdata/procedure_reader.h"
#include "network/direct_candidates.h"
#include "planning/direct_procedures.h"

namespace core_calc::module {
namespace {

// The text of an argument, or why there is none. The readers report that reason
// like any other load failure, after the database was opened.
struct TextArgument {
  std::string text;
  std::string problem;
};

TextArgument text_argument(py::handle value, const char* what) {
  if (PyUnicode_Check(value.ptr())) return {from_text(value, what), {}};
  return {{}, std::string(what) + " must be text, not " + Py_TYPE(value.ptr())->tp_name};
}

// The result of a host call that should give text; a raised error is kept as its
// message. Interruptions and exits are no load failures and go on to the caller.
template <class Call>
TextArgument text_from_call(Call&& call, const char* what) {
  try {
    return text_argument(call(), what);
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_Exception)) throw;
    return {{}, str_text(e.value())};
  }
}

std::string first_problem(std::initializer_list<const TextArgument*> arguments) {
  for (const TextArgument* argument : arguments)
    if (!argument->problem.empty()) return argument->problem;
  return {};
}

}  // namespace

std::vector<navdata::ProcedureRecord> own_procedures(py::handle icao, py::handle table_name,
                                                     py::handle runway, const LineOut& out) {
  const std::string db_path = database_path();
  const TextArgument code = text_argument(icao, "icao");
  const TextArgument table = text_argument(table_name, "table_name");
  const TextArgument rwy = runway.is_none() ? TextArgument{} : text_argument(runway, "runway");
  const std::string problem = first_problem({&code, &table, &rwy});
  navdata::ProcedureLoad load;
  {
    py::gil_scoped_release release;
    // Failing to open is the caller's error; a missing file fails in the guard.
    const auto lease = connection_pool().lease(db_path);
    if (problem.empty())
      load = navdata::read_procedures(lease.db(), code.text, table.text, rwy.text);
  }
  if (!problem.empty())
    load.failure = navdata::procedure_failure_line(str_text(table_name), str_text(icao), problem);
  if (!load.failure.empty()) out(load.failure);
  return std::move(load.procedures);
}

std::vector<navdata::ApproachRecord> own_approaches(py::handle icao, py::handle runway,
                                                    const LineOut& out) {
  const std::string db_path = database_path();
  const TextArgument code = text_argument(icao, "icao");
  const TextArgument table =
      text_from_call([] { return attr("_tn")("tbl_iaps"); }, "the approach table name");
  const TextArgument rwy = text_argument(runway, "runway");
  const std::string problem = first_problem({&code, &table, &rwy});
  navdata::ApproachLoad load;
  {
    py::gil_scoped_release release;
    const auto lease = connection_pool().lease(db_path);
    if (problem.empty())
      load = navdata::read_approaches(lease.db(), code.text, table.text, rwy.text);
  }
  if (!problem.empty()) load.failure = navdata::approach_failure_line(str_text(icao), problem);
  if (!load.failure.empty()) out(load.failure);
  return std::move(load.approaches);
}

std::optional<navdata::Position> own_reference_point(py::handle icao, const LineOut& out) {
  const std::string db_path = database_path();
  // The host's own upper-casing, so any code reads as the host would bind it.
  const TextArgument code = text_from_call([&] { return icao.attr("upper")(); }, "icao");
  const std::string passed = str_text(icao);
  navdata::AirportPositionLoad load;
  {
    py::gil_scoped_release release;
    const auto lease = connection_pool().lease(db_path);
    if (code.problem.empty()) load = navdata::read_airport_position(lease.db(), code.text, passed);
  }
  if (!code.problem.empty())
    load.failure = navdata::airport_position_failure_line(passed, code.problem);
  if (!load.failure.empty()) out(load.failure);
  return load.position;
}

namespace {

// The defaults of radius and k of the direct builders: the constants' values when
// the module loads. Written once, while the module executes.
// Strong references kept for the life of the process.
PyObject* g_direct_radius = nullptr;
PyObject* g_direct_count = nullptr;

py::dict build_procedures_from_db(py::object icao, py::object table_name, py::object runway) {
  py::dict procs;
  for (const navdata::ProcedureRecord& record :
       own_procedures(icao, table_name, runway, print_line))
    procs[to_text(record.name)] = procedure_object(record);
  return procs;
}

py::list build_iaps_from_db(py::object icao, py::object runway) {
  py::list iaps;
  for (const navdata::ApproachRecord& record : own_approaches(icao, runway, print_line))
    iaps.append(approach_object(record));
  return iaps;
}

py::object get_airport_ref_coord(py::object icao) {
  const auto position = own_reference_point(icao, print_line);
  if (!position) return py::none();
  return py::make_tuple(position->lat, position->lon);
}

// A count used like a slice bound: None keeps everything, huge values clamp.
std::int64_t candidate_count(py::handle k) {
  if (k.is_none()) return INT64_MAX;
  const Py_ssize_t count = PyNumber_AsSsize_t(k.ptr(), nullptr);
  if (count == -1 && PyErr_Occurred()) throw py::error_already_set();
  return static_cast<std::int64_t>(count);
}

// Network fixes within `radius` of the point, or none (and the line saying so).
std::vector<network::DirectCandidate> find_candidates(const network::RouteNetwork& net,
                                                      planning::DirectKind kind,
                                                      const std::string& code, double lat_deg,
                                                      double lon_deg, py::handle radius,
                                                      py::handle k, const LineOut& out) {
  const double radius_km = to_real(radius, "radius");
  const std::int64_t count = candidate_count(k);
  const double grid_size = attr_real("GRID_SIZE");
  std::vector<network::DirectCandidate> candidates;
  {
    py::gil_scoped_release release;
    candidates = network::direct_candidates(net, lat_deg, lon_deg, radius_km, count, grid_size);
  }
  if (candidates.empty()) out(planning::no_candidate_line(kind, code, str_text(radius)));
  for (const network::DirectCandidate& c : candidates)
    if (!c.has_coord) raise_missing_coordinate(net, c.node);
  return candidates;
}

const char* direct_name_attribute(planning::DirectKind kind) {
  return kind == planning::DirectKind::kDeparture ? "DIRECT_SID_NAME" : "DIRECT_ARR_NAME";
}

py::list build_direct(planning::DirectKind kind, py::object icao, py::object lat, py::object lon,
                      py::object radius, py::object k) {
  const std::shared_ptr<const network::RouteNetwork> net = global_network();
  if (!net) return py::list();
  const std::string code = from_text(icao, "icao");
  const auto candidates = find_candidates(*net, kind, code, to_real(lat, "lat"),
                                          to_real(lon, "lon"), radius, k, print_line);
  if (candidates.empty()) return py::list();
  const bool departure = kind == planning::DirectKind::kDeparture;
  py::object name = attr(direct_name_attribute(kind));
  py::object procedure = attr("Procedure");
  py::list procs;
  for (const network::DirectCandidate& c : candidates) {
    // The airport point keeps the caller's coordinate values unchanged.
    py::tuple airport = py::make_tuple(to_text(code + "APT"), lat, lon, departure ? 10 : 20);
    py::tuple entry = py::make_tuple(to_text(c.name), c.lat, c.lon, departure ? 20 : 10);
    py::list points = departure ? py::list(py::make_tuple(airport, entry))
                                : py::list(py::make_tuple(entry, airport));
    procs.append(procedure(icao, name, points));
  }
  print_line(planning::candidate_line(kind, code, candidates));
  return procs;
}

}  // namespace

std::vector<planning::ProcedurePtr> own_direct_procedures(planning::DirectKind kind,
                                                          const std::string& icao, double lat,
                                                          double lon, const LineOut& out) {
  const std::shared_ptr<const network::RouteNetwork> net = global_network();
  if (!net) return {};
  const auto candidates =
      find_candidates(*net, kind, icao, lat, lon, g_direct_radius, g_direct_count, out);
  if (candidates.empty()) return {};
  const std::string name = str_text(attr(direct_name_attribute(kind)));
  auto procs = planning::direct_procedures(kind, icao, lat, lon, name, candidates);
  out(planning::candidate_line(kind, icao, candidates));
  return procs;
}

void def_procedure_readers(py::module_& m) {
  m.def("build_procedures_from_db", &build_procedures_from_db, py::arg("icao"),
        py::arg("table_name"), py::arg("runway") = py::none(), doc::kProcedures);
  m.def("build_iaps_from_db", &build_iaps_from_db, py::arg("icao"), py::arg("runway"),
        doc::kApproaches);
}

void def_airport_readers(py::module_& m) {
  m.def("get_airport_ref_coord", &get_airport_ref_coord, py::arg("icao"), doc::kRefCoord);
  // The defaults of radius and k are the constants' values when the module loads.
  py::object radius = attr("DIRECT_CONNECT_RADIUS");
  py::object k = attr("DIRECT_ENTRY_CANDIDATES");
  g_direct_radius = py::object(radius).release().ptr();
  g_direct_count = py::object(k).release().ptr();
  m.def(
      "build_direct_sid",
      [](py::object icao, py::object lat, py::object lon, py::object radius, py::object k) {
        return build_direct(planning::DirectKind::kDeparture, icao, lat, lon, radius, k);
      },
      py::arg("icao"), py::arg("lat"), py::arg("lon"), py::arg("radius") = radius, py::arg("k") = k,
      doc::kDirectSid);
  m.def(
      "build_direct_star",
      [](py::object icao, py::object lat, py::object lon, py::object radius, py::object k) {
        return build_direct(planning::DirectKind::kArrival, icao, lat, lon, radius, k);
      },
      py::arg("icao"), py::arg("lat"), py::arg("lon"), py::arg("radius") = radius, py::arg("k") = k,
      doc::kDirectStar);
}

}  // namespace core_calc::module
