// X-Plane 11 flight plan (.fms, format 1100). Fields are separated by single
// spaces, so idents and airway names have their blanks replaced by "_".
#include <cctype>

#include "planning/export_coordinates.h"
#include "planning/export_points.h"
#include "planning/route_export.h"

namespace core_calc::planning {
namespace {

// Waypoint type codes of the format.
constexpr int kAirport = 1;
constexpr int kNdb = 2;
constexpr int kVor = 3;
constexpr int kNamedFix = 11;
constexpr int kLatLon = 28;

std::string field(const std::string& text) {
  std::string out = text;
  for (char& ch : out)
    if (std::isspace(static_cast<unsigned char>(ch))) ch = '_';
  return out;
}

std::string coordinate(double degrees) {
  return fixed_text(degrees, 6);
}

void header(std::string& out, const ApiRecord& record, const RouteFacts& facts) {
  const ExportRunways rwy = export_runways(record);
  const ApiProcedures& p = record.procedures;
  out += "I\n1100 Version\n";
  if (facts.cycle) out += "CYCLE " + field(*facts.cycle) + "\n";
  out += "ADEP " + field(record.origin) + "\n";
  if (!rwy.departure.empty()) {
    out += "DEPRWY RW" + field(rwy.departure) + "\n";
    if (!p.sid.empty() && p.sid != kDirectLeg) out += "SID " + field(p.sid) + "\n";
  }
  out += "ADES " + field(record.destination) + "\n";
  if (!rwy.arrival.empty()) {
    out += "DESRWY RW" + field(rwy.arrival) + "\n";
    if (!p.star.empty() && p.star != kNoStar) out += "STAR " + field(p.star) + "\n";
    if (!p.iap.empty() && p.iap != kNotAvailable) out += "APP " + field(p.iap) + "\n";
  }
}

// A DME on its own is filed with the VOR class, where X-Plane keeps DMEs too.
int type_code(const ExportPoint& point) {
  if (point.role != PointRole::kWaypoint) return kAirport;
  if (point.ident.empty()) return kLatLon;
  if (!point.known) return kNamedFix;
  switch (point.known->type) {
    case WaypointType::kVor:
    case WaypointType::kDme:
      return kVor;
    case WaypointType::kNdb:
      return kNdb;
    case WaypointType::kFix:
      return kNamedFix;
  }
  return kNamedFix;
}

std::string waypoint_line(const ExportPoint& point) {
  std::string ident = point.ident.empty() ? coordinate(point.lat) + "_" + coordinate(point.lon)
                                          : field(point.ident);
  std::string via = "DRCT";
  if (point.role == PointRole::kDeparture)
    via = "ADEP";
  else if (point.role == PointRole::kArrival)
    via = "ADES";
  else if (point.kind == WaypointKind::kEnroute && point.airway && *point.airway != kDirectLeg)
    via = field(*point.airway);
  return std::to_string(type_code(point)) + " " + ident + " " + via + " 0.000000 " +
         coordinate(point.lat) + " " + coordinate(point.lon) + "\n";
}

}  // namespace

std::string route_fms(const ApiRecord& record, const RouteFacts& facts) {
  require_finite_coordinates(record);
  std::string out;
  header(out, record, facts);
  const auto points = export_points(record, facts);
  out += "NUMENR " + std::to_string(points.size()) + "\n";
  for (const ExportPoint& point : points) out += waypoint_line(point);
  return out;
}

}  // namespace core_calc::planning
