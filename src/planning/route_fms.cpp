// X-Plane 11 flight plan (.fms, format 1100). Fields are separated by single
// spaces, so idents and airway names have their blanks replaced by "_".
#include <cctype>
#include <cstdio>

#include "planning/export_coordinates.h"
#include "planning/route_export.h"
#include "planning/waypoint_kind.h"

namespace core_calc::planning {
namespace {

// Waypoint type codes of the format.
constexpr int kAirport = 1;
constexpr int kNamedFix = 11;
constexpr int kLatLon = 28;

std::string field(const std::string& text) {
  std::string out = text;
  for (char& ch : out)
    if (std::isspace(static_cast<unsigned char>(ch))) ch = '_';
  return out;
}

bool known(const std::string& value) {
  return !value.empty() && value != kNotAvailable;
}

// The runway as X-Plane names it: "RW" and the designator.
std::string runway_field(const std::string& runway) {
  return field(runway.starts_with("RW") ? runway : "RW" + runway);
}

std::string coordinate(double degrees) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", degrees);
  return buf;
}

struct FmsRunways {
  std::string departure;
  std::string arrival;
};

// The runways flown when plan generation supplied them, else the record's.
FmsRunways runways(const ApiRecord& record) {
  FmsRunways out{record.dep_runway, record.arr_runway};
  if (record.extension && record.extension->runways) {
    const PlanRunways& flown = *record.extension->runways;
    if (known(flown.departure)) out.departure = flown.departure;
    if (known(flown.arrival)) out.arrival = flown.arrival;
  }
  return out;
}

void header(std::string& out, const ApiRecord& record, const std::string& cycle) {
  const FmsRunways rwy = runways(record);
  const ApiProcedures& p = record.procedures;
  out += "I\n1100 Version\nCYCLE " + field(cycle) + "\n";
  out += "ADEP " + field(record.origin) + "\n";
  if (known(rwy.departure)) {
    out += "DEPRWY " + runway_field(rwy.departure) + "\n";
    if (!p.sid.empty() && p.sid != kDirectLeg) out += "SID " + field(p.sid) + "\n";
  }
  out += "ADES " + field(record.destination) + "\n";
  if (known(rwy.arrival)) {
    out += "DESRWY " + runway_field(rwy.arrival) + "\n";
    if (!p.star.empty() && p.star != kNoStar) out += "STAR " + field(p.star) + "\n";
    if (known(p.iap)) out += "APP " + field(p.iap) + "\n";
  }
}

std::string waypoint_line(const ApiRecord& record, std::size_t i, WaypointKind kind) {
  const auto& w = record.detailed_waypoints;
  const ApiWaypoint& point = w[i];
  int type = point.name.empty() ? kLatLon : kNamedFix;
  std::string ident =
      point.name.empty() ? coordinate(point.lat) + "_" + coordinate(point.lon) : field(point.name);
  std::string via = "DRCT";
  if (kind == WaypointKind::kEnroute && point.airway && *point.airway != kDirectLeg)
    via = field(*point.airway);
  if (i == 0 && is_aerodrome_point(point.name, record.origin)) {
    type = kAirport;
    ident = field(record.origin);
    via = "ADEP";
  } else if (i + 1 == w.size() && is_aerodrome_point(point.name, record.destination)) {
    type = kAirport;
    ident = field(record.destination);
    via = "ADES";
  }
  return std::to_string(type) + " " + ident + " " + via + " 0.000000 " + coordinate(point.lat) +
         " " + coordinate(point.lon) + "\n";
}

}  // namespace

std::string route_fms(const ApiRecord& record, const std::string& cycle) {
  require_finite_coordinates(record);
  std::string out;
  header(out, record, cycle);
  const auto kinds = waypoint_kinds(record);
  out += "NUMENR " + std::to_string(kinds.size()) + "\n";
  for (std::size_t i = 0; i < kinds.size(); ++i) out += waypoint_line(record, i, kinds[i]);
  return out;
}

// Cycles last 28 days; cycle 2001 took effect on 2 January 2020. The first cycle
// taking effect in a year is number 01 of that year.
std::string airac_cycle(std::chrono::sys_days day) {
  using namespace std::chrono;
  constexpr sys_days kReference = sys_days{year{2020} / January / 2};
  const long days = (day - kReference).count();
  const long cycles = days >= 0 ? days / 28 : -((-days + 27) / 28);
  const sys_days start = kReference + std::chrono::days{cycles * 28};
  const year_month_day ymd{start};
  const auto number =
      static_cast<int>((start - sys_days{ymd.year() / January / 1}).count() / 28 + 1);
  const int yy = static_cast<int>(ymd.year()) % 100;
  return std::string{char('0' + yy / 10), char('0' + yy % 10), char('0' + number / 10),
                     char('0' + number % 10)};
}

}  // namespace core_calc::planning
