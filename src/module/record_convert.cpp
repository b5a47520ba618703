#include "module/record_convert.h"

namespace core_calc::module {

py::object seq_object(const navdata::SqlValue& value) {
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

py::tuple point_object(const navdata::ProcedurePoint& point) {
  return py::make_tuple(to_text(point.name), point.lat, point.lon, seq_object(point.seq));
}

py::list points_object(const std::vector<navdata::ProcedurePoint>& points) {
  py::list list(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) list[i] = point_object(points[i]);
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

}  // namespace core_calc::module
