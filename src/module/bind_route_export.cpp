// route_icao, route_geojson, route_gpx, route_fms, route_pln, route_fpl: a record
// from format_for_api (or the same record read back from JSON) in the formats
// flight-planning tools import. The record is read into native form with the GIL
// held; the export, and the database reading of the flight-plan files, run without it.
#include "module/api_record_convert.h"
#include "module/bindings.h"
#include "planning/route_export.h"
#include "planning/route_facts.h"

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

// What DB_PATH knows of the record's points. The exports do not need it: a
// database that cannot be read leaves them with the record alone.
planning::RouteFacts read_facts(const planning::ApiRecord& record, const std::string& db_path) {
  try {
    const navdata::ConnectionPool::Lease lease = connection_pool().lease(db_path);
    return planning::read_route_facts(lease.db(), record);
  } catch (const navdata::DatabaseError&) {
    return {};
  }
}

// A flight-plan file: the record, DB_PATH's facts (the cycle as the caller gives it,
// when given) and the export.
template <class Export>
py::str flight_plan_text(py::handle record, std::optional<std::string> cycle, Export&& write) {
  const planning::ApiRecord native = record_input(record);
  const std::string db_path = database_path();
  std::string text;
  {
    py::gil_scoped_release release;
    planning::RouteFacts facts = read_facts(native, db_path);
    if (cycle) facts.cycle = std::move(cycle);
    text = write(native, facts);
  }
  return to_text(text);
}

std::optional<std::string> cycle_input(py::handle cycle) {
  if (cycle.is_none()) return std::nullopt;
  std::string text = from_text(cycle, "cycle");
  const bool digits = text.size() == 4 && text.find_first_not_of("0123456789") == std::string::npos;
  if (!digits) throw py::value_error("cycle must be four digits (year and cycle, e.g. '2501')");
  return text;
}

constexpr const char* kRecordFields = R"doc(

`record` is a dict as format_for_api returns it, also after json.dumps/json.loads;
"origin", "destination", "procedures" and "detailed_waypoints" are required. A
field of the wrong kind is a TypeError, a missing one or a coordinate that is not
finite a ValueError, each naming the field.)doc";

const std::string kRecordNote = std::string(kRecordFields) + " Reads no module attribute.";

// The flight-plan files read what the database records of the route's points.
const std::string kFileNote = std::string(kRecordFields) + R"doc(

Reads DB_PATH at the call: the type of each waypoint (VOR, NDB, fix) as
import_navdata records it, the airports' reference points and the data's AIRAC
cycle. A database without them, or one that cannot be read, leaves each named
waypoint a fix and each airport at its point in the record.)doc";

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

Header "I" and "1100 Version", "CYCLE" with `cycle` (four digits; None: the cycle
the database records, the line left out when it records none), ADEP, DEPRWY and
SID, ADES, DESRWY, STAR and APP where known (a procedure only with its runway,
which X-Plane needs to load it; the runways flown when the record has "runways"),
NUMENR, then one line per point: the departure airport (via ADEP), the waypoints
without the airports' own points and the runways, the destination airport (via
ADES). Each line: type (1 airport, 2 NDB, 3 VOR or DME, 11 fix, 28 unnamed
point), ident, via (ADEP, ADES, DRCT or the airway), altitude 0, latitude and
longitude in degrees.)doc") +
    kFileNote;

const std::string kPlnDoc =
    std::string(R"doc(The route as a Microsoft Flight Simulator flight plan (.pln XML text).

An AceXML SimBase.Document: title, FPType (IFR with airways or procedures, else
VFR), DepartureID and DestinationID with their positions, the departure runway
as DeparturePosition, then one ATCWaypoint per point: the departure airport, the
waypoints without the airports' own points and the runways, the destination
airport. Each has its ATCWaypointType (Airport, VOR, NDB, Intersection, or User
for an unnamed point), WorldPosition (degrees, minutes, seconds), ATCAirway on an
airway, DepartureFP or ArrivalFP with RunwayNumberFP and RunwayDesignatorFP on a
SID or STAR, and ICAO (ICAORegion when recorded, ICAOIdent).)doc") +
    kFileNote;

const std::string kFplDoc =
    std::string(R"doc(The route as a Garmin flight plan, FlightPlan v1 (.fpl XML text).

A waypoint table holding each point once (identifier, type, country code, lat,
lon in degrees, comment: the airway) and the route through them in flight order:
the departure airport, the waypoints without the airports' own points and the
runways, the destination airport. Identifiers are upper-case letters and digits,
at most 12: a name that does not fit, or a second point of one identifier
elsewhere, becomes a USER WAYPOINT under a fitting or numbered identifier. Types
are AIRPORT, VOR (also a DME), NDB, INT and USER WAYPOINT. A route of more than
300 points, the format's limit, raises ValueError.)doc") +
    kFileNote;

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
        return flight_plan_text(record, cycle_input(cycle), planning::route_fms);
      },
      py::arg("record"), py::arg("cycle") = py::none(), kFmsDoc.c_str());
  m.def(
      "route_pln",
      [](py::handle record) { return flight_plan_text(record, std::nullopt, planning::route_pln); },
      py::arg("record"), kPlnDoc.c_str());
  m.def(
      "route_fpl",
      [](py::handle record) { return flight_plan_text(record, std::nullopt, planning::route_fpl); },
      py::arg("record"), kFplDoc.c_str());
}

}  // namespace core_calc::module
