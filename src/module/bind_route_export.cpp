// route_icao, route_geojson, route_gpx, route_fms: a record from format_for_api (or
// the same record read back from JSON) in the formats flight-planning tools import.
// The record is read into native form with the GIL held; the export runs without it.
#include <chrono>

#include "module/api_record_convert.h"
#include "module/bindings.h"
#include "planning/route_export.h"

namespace core_calc::module {
namespace {

template <class Export>
py::str export_text(py::handle record, Export&& write) {
  const planning::ApiRecord native = record_input(record);
  std::string text;
  {
    py::gil_scoped_release release;
    text = write(native);
  }
  return to_text(text);
}

// The cycle to write: the caller's, or the one in effect today (UTC).
std::string cycle_input(py::handle cycle) {
  if (cycle.is_none())
    return planning::airac_cycle(
        std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now()));
  std::string text = from_text(cycle, "cycle");
  const bool digits = text.size() == 4 && text.find_first_not_of("0123456789") == std::string::npos;
  if (!digits) throw py::value_error("cycle must be four digits (year and cycle, e.g. '2501')");
  return text;
}

constexpr const char* kRecordNote = R"doc(

`record` is a dict as format_for_api returns it, also after json.dumps/json.loads;
"origin", "destination", "procedures" and "detailed_waypoints" are required. A
field of the wrong kind is a TypeError, a missing one or a coordinate that is not
finite a ValueError, each naming the field. Reads no module attribute.)doc";

const std::string kIcaoDoc = std::string(R"doc(The route as ICAO flight-plan Item 15 (text).

The SID and the fix where it ends, each airway followed by the fix where the route
leaves it, DCT before every fix reached off the airways, then the STAR; no
aerodromes and no approach. A direct departure (SID "DCT") is written as DCT and
the fix where it joins the airways; a direct arrival (STAR "DIRECT") adds nothing
after the last en-route fix.)doc") +
                             kRecordNote;

const std::string kGeojsonDoc =
    std::string(R"doc(The route as GeoJSON (RFC 7946), returned as JSON text.

A FeatureCollection: first a LineString of every waypoint as [longitude, latitude]
in degrees (when there are two or more), with the properties origin, destination
and route_string; then one Point per waypoint with the properties name, airway and
kind, where kind is "sid", "connector" (reached by a direct leg between the
procedures and the airways), "enroute", "star" or "approach".)doc") +
    kRecordNote;

const std::string kGpxDoc = std::string(R"doc(The route as a GPX 1.1 document (text).

One <rte> named ORIGIN-DESTINATION with the route string as <desc>, and one
<rtept lat lon> (degrees) per waypoint with <name>, the airway as <desc> and the
waypoint kind (as in route_geojson) as <type>.)doc") +
                            kRecordNote;

const std::string kFmsDoc =
    std::string(R"doc(The route as an X-Plane 11 flight plan, format 1100 (text).

Header "I" and "1100 Version", "CYCLE" with `cycle` (four digits; None: the AIRAC
cycle in effect today, UTC), ADEP, DEPRWY and SID, ADES, DESRWY, STAR and APP where
known (a procedure only with its runway, which X-Plane needs to load it; the
runways flown when the record has "runways"), NUMENR, then one line per waypoint:
type (1 airport, 11 named fix, 28 unnamed point), ident, via (ADEP, ADES, DRCT or
the airway), altitude 0, latitude and longitude in degrees.)doc") +
    kRecordNote;

}  // namespace

void def_route_export(py::module_& m) {
  m.def(
      "route_icao", [](py::handle record) { return export_text(record, planning::route_icao); },
      py::arg("record"), kIcaoDoc.c_str());
  m.def(
      "route_geojson",
      [](py::handle record) { return export_text(record, planning::route_geojson); },
      py::arg("record"), kGeojsonDoc.c_str());
  m.def(
      "route_gpx", [](py::handle record) { return export_text(record, planning::route_gpx); },
      py::arg("record"), kGpxDoc.c_str());
  m.def(
      "route_fms",
      [](py::handle record, py::handle cycle) {
        const std::string text = cycle_input(cycle);
        return export_text(
            record, [&](const planning::ApiRecord& r) { return planning::route_fms(r, text); });
      },
      py::arg("record"), py::arg("cycle") = py::none(), kFmsDoc.c_str());
}

}  // namespace core_calc::module
