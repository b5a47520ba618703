// GPX 1.1 of a route: one <rte> whose <rtept> follow the flight. Element order
// inside <rtept> is the schema's (name, desc, type).
#include "planning/export_coordinates.h"
#include "planning/export_xml.h"
#include "planning/route_export.h"
#include "planning/waypoint_kind.h"

namespace core_calc::planning {
namespace {

// GPX longitudes lie in [-180, 180): the antimeridian is written as -180.
double gpx_longitude(double lon) {
  return lon == 180.0 ? -180.0 : lon;
}

}  // namespace

std::string route_gpx(const ApiRecord& record) {
  require_finite_coordinates(record);
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"core_calc\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
      "  <rte>\n    ";
  xml_element(out, "name", record.origin + "-" + record.destination);
  out += "\n    ";
  xml_element(out, "desc", record.route_string);
  out += "\n";
  const auto kinds = waypoint_kinds(record);
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    const ApiWaypoint& w = record.detailed_waypoints[i];
    out += "    <rtept lat=\"" + decimal_text(w.lat, 8) + "\" lon=\"" +
           decimal_text(gpx_longitude(w.lon), 8) + "\">";
    xml_element(out, "name", w.name);
    if (w.airway) xml_element(out, "desc", *w.airway);
    xml_element(out, "type", kind_name(kinds[i]));
    out += "</rtept>\n";
  }
  out += "  </rte>\n</gpx>\n";
  return out;
}

}  // namespace core_calc::planning
