// Garmin flight plan (.fpl, FlightPlan v1): the waypoint table holds each point
// once, keyed by identifier, type and country code as the format's schema
// requires; the route refers to them in flight order. Texts are restricted as the
// schema restricts them: identifiers [A-Z0-9]{1,12}, the route name and comments
// [A-Z0-9 /]{0,25}. The document has no creation time, so a record always gives
// the same text.
#include <cctype>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "planning/export_coordinates.h"
#include "planning/export_points.h"
#include "planning/export_xml.h"
#include "planning/route_export.h"

namespace core_calc::planning {
namespace {

constexpr std::size_t kMaxRoutePoints = 300;
constexpr std::size_t kMaxIdentifier = 12;
constexpr std::size_t kMaxComment = 25;

// Upper-case letters and digits (and, with `spaced`, blanks and "/"), at most `max`.
std::string restricted(const std::string& text, std::size_t max, bool spaced) {
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) && c < 0x80)
      out += static_cast<char>(std::toupper(c));
    else if (spaced && (ch == ' ' || ch == '/'))
      out += ch;
    if (out.size() == max) break;
  }
  return out;
}

const char* type_of(const ExportPoint& p) {
  if (p.role != PointRole::kWaypoint) return "AIRPORT";
  if (!p.known) return "INT";
  switch (p.known->type) {
    case WaypointType::kVor:
    case WaypointType::kDme:
      return "VOR";
    case WaypointType::kNdb:
      return "NDB";
    case WaypointType::kFix:
      return "INT";
  }
  return "INT";
}

struct Entry {
  std::string identifier;
  std::string type;
  std::string country;
  double lat;
  double lon;
  std::string comment;
};

bool same_place(const Entry& e, const ExportPoint& p) {
  return std::fabs(e.lat - p.lat) <= kMatchDegrees && std::fabs(e.lon - p.lon) <= kMatchDegrees;
}

class WaypointTable {
 public:
  // The entry a point is listed under: an earlier one of the same key and place,
  // or a new one.
  const Entry& entry_for(const ExportPoint& p) {
    std::string identifier = restricted(p.ident, kMaxIdentifier, false);
    std::string type = type_of(p);
    std::string country = restricted(p.known ? p.known->region : "", 2, false);
    if (country.size() != 2) country.clear();
    if (identifier != p.ident || identifier.empty()) {
      type = "USER WAYPOINT";
      country.clear();
    }
    for (const Entry& e : entries_)
      if (e.identifier == identifier && e.type == type && e.country == country) {
        if (same_place(e, p)) return e;
        type = "USER WAYPOINT";  // a second point of this identifier elsewhere
        country.clear();
        identifier = fresh_identifier(identifier);
        break;
      }
    if (identifier.empty()) identifier = fresh_identifier("WPT");
    const std::string comment =
        p.role == PointRole::kWaypoint && p.airway ? restricted(*p.airway, kMaxComment, true) : "";
    entries_.push_back({identifier, type, country, p.lat, p.lon, comment});
    return entries_.back();
  }

  const std::vector<Entry>& entries() const { return entries_; }

 private:
  bool taken(const std::string& identifier) const {
    for (const Entry& e : entries_)
      if (e.identifier == identifier) return true;
    return false;
  }

  // `base` shortened as needed and followed by the first free number.
  std::string fresh_identifier(const std::string& base) const {
    for (int n = 1;; ++n) {
      const std::string number = std::to_string(n);
      const std::string candidate = base.substr(0, kMaxIdentifier - number.size()) + number;
      if (!taken(candidate)) return candidate;
    }
  }

  std::vector<Entry> entries_;
};

void text_line(std::string& out, const char* indent, const char* tag, const std::string& text) {
  out += indent;
  xml_element(out, tag, text);
  out += "\n";
}

}  // namespace

std::string route_fpl(const ApiRecord& record, const RouteFacts& facts) {
  require_finite_coordinates(record);
  const auto points = export_points(record, facts);
  if (points.size() > kMaxRoutePoints)
    throw std::invalid_argument(
        "a Garmin flight plan holds at most 300 route points; this route has " +
        std::to_string(points.size()));
  WaypointTable table;
  std::vector<std::size_t> route;  // entry index per point
  for (const ExportPoint& p : points) {
    const Entry& e = table.entry_for(p);
    route.push_back(static_cast<std::size_t>(&e - table.entries().data()));
  }
  std::string out =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<flight-plan xmlns=\"http://www8.garmin.com/xmlschemas/FlightPlan/v1\">\n"
      "  <waypoint-table>\n";
  for (const Entry& e : table.entries()) {
    out += "    <waypoint>\n";
    text_line(out, "      ", "identifier", e.identifier);
    text_line(out, "      ", "type", e.type);
    text_line(out, "      ", "country-code", e.country);
    text_line(out, "      ", "lat", decimal_text(e.lat, 8));
    text_line(out, "      ", "lon", decimal_text(e.lon, 8));
    text_line(out, "      ", "comment", e.comment);
    out += "    </waypoint>\n";
  }
  out += "  </waypoint-table>\n  <route>\n";
  text_line(out, "    ", "route-name",
            restricted(record.origin + " " + record.destination, kMaxComment, true));
  out += "    <flight-plan-index>1</flight-plan-index>\n";
  for (const std::size_t i : route) {
    const Entry& e = table.entries()[i];
    out += "    <route-point>\n";
    text_line(out, "      ", "waypoint-identifier", e.identifier);
    text_line(out, "      ", "waypoint-type", e.type);
    text_line(out, "      ", "waypoint-country-code", e.country);
    out += "    </route-point>\n";
  }
  out += "  </route>\n</flight-plan>\n";
  return out;
}

}  // namespace core_calc::planning
