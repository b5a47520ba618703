#include "module/record_convert.h"

namespace core_calc::module {
namespace {

std::vector<navdata::ProcedurePoint> points_record(py::handle points) {
  std::vector<navdata::ProcedurePoint> out;
  for (py::handle point : py::reinterpret_borrow<py::iterable>(points)) {
    py::sequence p = py::reinterpret_borrow<py::sequence>(point);
    navdata::ProcedurePoint native{
        str_text(p[0]), to_real(p[1], "point latitude"), to_real(p[2], "point longitude"), {}};
    if (py::len(p) > 3) native.seq = stored_value(p[3]);
    out.push_back(std::move(native));
  }
  return out;
}

std::string optional_text(py::handle value) {
  return value.is_none() ? std::string() : str_text(value);
}

}  // namespace

py::object host_value(const navdata::SqlValue& value) {
  using Kind = navdata::SqlValue::Kind;
  switch (value.kind) {
    case Kind::kInteger:
      return py::int_(value.integer);
    case Kind::kReal:
      return py::float_(value.real);
    case Kind::kText:
      return to_text(value.text);
    case Kind::kBlob:
      return py::bytes(value.text);
    case Kind::kNull:
      break;
  }
  return py::none();
}

navdata::SqlValue stored_value(py::handle value) {
  navdata::SqlValue out;
  using Kind = navdata::SqlValue::Kind;
  if (value.is_none()) return out;
  if (PyLong_Check(value.ptr()) && !PyBool_Check(value.ptr())) {
    int overflow = 0;
    const long long integer = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (!overflow && !(integer == -1 && PyErr_Occurred())) {
      out.kind = Kind::kInteger;
      out.integer = integer;
      return out;
    }
    PyErr_Clear();
  } else if (PyFloat_Check(value.ptr())) {
    out.kind = Kind::kReal;
    out.real = PyFloat_AS_DOUBLE(value.ptr());
    return out;
  } else if (PyBytes_Check(value.ptr())) {
    out.kind = Kind::kBlob;
    out.text.assign(PyBytes_AS_STRING(value.ptr()),
                    static_cast<std::size_t>(PyBytes_GET_SIZE(value.ptr())));
    return out;
  }
  out.kind = Kind::kText;
  out.text = str_text(value);
  return out;
}

py::list points_object(const std::vector<navdata::ProcedurePoint>& points) {
  py::list list(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) {
    const navdata::ProcedurePoint& p = points[i];
    list[i] = py::make_tuple(to_text(p.name), p.lat, p.lon, host_value(p.seq));
  }
  return list;
}

py::object procedure_object(const navdata::ProcedureRecord& record) {
  return attr("Procedure")(to_text(record.airport), to_text(record.name),
                           points_object(record.points));
}

py::object approach_object(const navdata::ApproachRecord& record) {
  return attr("Approach")(to_text(record.name), to_text(record.runway), to_text(record.initial_fix),
                          points_object(record.points));
}

navdata::ProcedureRecord procedure_record(py::handle record) {
  navdata::ProcedureRecord out;
  if (py::hasattr(record, "airport")) out.airport = optional_text(record.attr("airport"));
  out.name = str_text(record.attr("name"));
  out.points = points_record(record.attr("points"));
  return out;
}

navdata::ApproachRecord approach_record(py::handle record) {
  navdata::ApproachRecord out;
  out.name = str_text(record.attr("name"));
  if (py::hasattr(record, "runway")) out.runway = optional_text(record.attr("runway"));
  out.initial_fix = str_text(record.attr("initial_fix"));
  out.points = points_record(record.attr("points"));
  return out;
}

}  // namespace core_calc::module
