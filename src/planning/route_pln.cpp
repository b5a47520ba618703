// Microsoft Flight Simulator flight plan (.pln): an AceXML document with one
// FlightPlan.FlightPlan holding the flight's ends and an ATCWaypoint per point,
// indented as the simulator writes its own. Positions are degrees, minutes and
// seconds to 1/100 s (under 0.3 m), altitude 0 ("+000000.00").
#include <cmath>
#include <cstdint>

#include "planning/export_coordinates.h"
#include "planning/export_points.h"
#include "planning/export_xml.h"
#include "planning/route_export.h"

namespace core_calc::planning {
namespace {

// One axis as `N54° 22' 38.40"`.
std::string dms(double degrees, char positive, char negative) {
  const auto hundredths = static_cast<std::int64_t>(std::llround(std::fabs(degrees) * 360000.0));
  const std::int64_t whole = hundredths / 360000;
  const std::int64_t minutes = hundredths / 6000 % 60;
  const double seconds = static_cast<double>(hundredths % 6000) / 100.0;
  return std::string(1, degrees < 0 ? negative : positive) + std::to_string(whole) + "\xC2\xB0 " +
         std::to_string(minutes) + "' " + fixed_text(seconds, 2) + "\"";
}

std::string world_position(double lat, double lon) {
  return dms(lat, 'N', 'S') + "," + dms(lon, 'E', 'W') + ",+000000.00";
}

const char* waypoint_type(const ExportPoint& p) {
  if (p.role != PointRole::kWaypoint) return "Airport";
  if (p.ident.empty()) return "User";
  if (!p.known) return "Intersection";
  switch (p.known->type) {
    case WaypointType::kVor:
    case WaypointType::kDme:
      return "VOR";
    case WaypointType::kNdb:
      return "NDB";
    case WaypointType::kFix:
      return "Intersection";
  }
  return "Intersection";
}

// "30R" as number and designator.
void runway_elements(std::string& out, const std::string& runway, const std::string& indent) {
  std::size_t digits = 0;
  while (digits < runway.size() && runway[digits] >= '0' && runway[digits] <= '9') ++digits;
  if (digits == 0) return;
  out += indent;
  xml_element(out, "RunwayNumberFP", runway.substr(0, digits));
  out += "\n";
  const std::string side = runway.substr(digits);
  const char* designator = side == "L"   ? "LEFT"
                           : side == "R" ? "RIGHT"
                           : side == "C" ? "CENTER"
                                         : nullptr;
  if (designator) {
    out += indent;
    xml_element(out, "RunwayDesignatorFP", designator);
    out += "\n";
  }
}

std::string point_id(const ExportPoint& p, std::size_t index) {
  return p.ident.empty() ? "WP" + std::to_string(index) : p.ident;
}

void waypoint(std::string& out, const ExportPoint& p, std::size_t index, const ApiRecord& record,
              const ExportRunways& runways) {
  const std::string in = "            ";
  out += "        <ATCWaypoint id=\"" + xml_text(point_id(p, index)) + "\">\n";
  out += in;
  xml_element(out, "ATCWaypointType", waypoint_type(p));
  out += "\n" + in;
  xml_element(out, "WorldPosition", world_position(p.lat, p.lon));
  out += "\n";
  if (p.role == PointRole::kWaypoint) {
    if (p.kind == WaypointKind::kEnroute && p.airway && *p.airway != kDirectLeg) {
      out += in;
      xml_element(out, "ATCAirway", *p.airway);
      out += "\n";
    }
    const ApiProcedures& procs = record.procedures;
    if (p.kind == WaypointKind::kSid && procs.sid != kDirectLeg) {
      out += in;
      xml_element(out, "DepartureFP", procs.sid);
      out += "\n";
      runway_elements(out, runways.departure, in);
    } else if (p.kind == WaypointKind::kStar && procs.star != kNoStar) {
      out += in;
      xml_element(out, "ArrivalFP", procs.star);
      out += "\n";
      runway_elements(out, runways.arrival, in);
    }
  }
  if (!p.ident.empty()) {
    out += in + "<ICAO>\n";
    if (p.known && !p.known->region.empty()) {
      out += in + "    ";
      xml_element(out, "ICAORegion", p.known->region);
      out += "\n";
    }
    out += in + "    ";
    xml_element(out, "ICAOIdent", p.ident);
    out += "\n" + in + "</ICAO>\n";
  }
  out += "        </ATCWaypoint>\n";
}

void line(std::string& out, const char* tag, const std::string& text) {
  out += "        ";
  xml_element(out, tag, text);
  out += "\n";
}

}  // namespace

std::string route_pln(const ApiRecord& record, const RouteFacts& facts) {
  require_finite_coordinates(record);
  const auto points = export_points(record, facts);
  const ExportRunways runways = export_runways(record);
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<SimBase.Document Type=\"AceXML\" version=\"1,0\">\n"
      "    <Descr>AceXML Document</Descr>\n"
      "    <FlightPlan.FlightPlan>\n";
  line(out, "Title", record.origin + " to " + record.destination);
  line(out, "FPType", uses_airways(record) ? "IFR" : "VFR");
  for (const ExportPoint& p : points) {
    if (p.role == PointRole::kDeparture) {
      line(out, "DepartureID", p.ident);
      line(out, "DepartureLLA", world_position(p.lat, p.lon));
    } else if (p.role == PointRole::kArrival) {
      line(out, "DestinationID", p.ident);
      line(out, "DestinationLLA", world_position(p.lat, p.lon));
    }
  }
  line(out, "Descr", record.origin + ", " + record.destination);
  if (!runways.departure.empty()) line(out, "DeparturePosition", runways.departure);
  out +=
      "        <AppVersion>\n"
      "            <AppVersionMajor>10</AppVersionMajor>\n"
      "            <AppVersionBuild>61472</AppVersionBuild>\n"
      "        </AppVersion>\n";
  for (std::size_t i = 0; i < points.size(); ++i) waypoint(out, points[i], i, record, runways);
  out += "    </FlightPlan.FlightPlan>\n</SimBase.Document>\n";
  return out;
}

}  // namespace core_calc::planning
