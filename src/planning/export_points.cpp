#include "planning/export_points.h"

namespace core_calc::planning {
namespace {

bool known(const std::string& value) {
  return !value.empty() && value != kNotAvailable;
}

std::string designator(const std::string& runway) {
  return runway.starts_with("RW") ? runway.substr(2) : runway;
}

// The runway point a procedure starts (departure) or ends (arrival) at.
const ApiWaypoint* runway_point(const ApiRecord& record, bool departure) {
  const auto& w = record.detailed_waypoints;
  const auto kinds = waypoint_kinds(record);
  if (departure) {
    for (std::size_t i = 0; i < w.size() && kinds[i] == WaypointKind::kSid; ++i)
      if (is_runway_point(w[i].name)) return &w[i];
    return nullptr;
  }
  for (std::size_t i = w.size(); i > 0; --i) {
    if (kinds[i - 1] != WaypointKind::kStar && kinds[i - 1] != WaypointKind::kApproach) break;
    if (is_runway_point(w[i - 1].name)) return &w[i - 1];
  }
  return nullptr;
}

struct Place {
  double lat;
  double lon;
};

// The airport's position when the database has none: its own point, the runway
// point its procedure starts (ends) at, or the waypoint at that end.
std::optional<Place> record_position(const ApiRecord& record, const std::string& icao,
                                     bool departure) {
  const auto& w = record.detailed_waypoints;
  if (w.empty()) return std::nullopt;
  for (const ApiWaypoint& p : w)
    if (is_aerodrome_point(p.name, icao)) return Place{p.lat, p.lon};
  if (const ApiWaypoint* runway = runway_point(record, departure))
    return Place{runway->lat, runway->lon};
  const ApiWaypoint& end = departure ? w.front() : w.back();
  return Place{end.lat, end.lon};
}

std::optional<ExportPoint> airport_point(const ApiRecord& record, const RouteFacts& facts,
                                         bool departure) {
  const std::string& icao = departure ? record.origin : record.destination;
  if (icao.empty()) return std::nullopt;
  const auto& stored = departure ? facts.origin : facts.destination;
  std::optional<Place> place;
  if (stored)
    place = Place{stored->lat, stored->lon};
  else
    place = record_position(record, icao, departure);
  if (!place) return std::nullopt;
  ExportPoint p;
  p.role = departure ? PointRole::kDeparture : PointRole::kArrival;
  p.ident = icao;
  p.lat = place->lat;
  p.lon = place->lon;
  p.kind = departure ? WaypointKind::kSid : WaypointKind::kApproach;
  return p;
}

}  // namespace

bool is_runway_point(const std::string& name) {
  if (name.size() < 4 || name.size() > 5 || !name.starts_with("RW")) return false;
  if (name[2] < '0' || name[2] > '3' || name[3] < '0' || name[3] > '9') return false;
  return name.size() == 4 || name[4] == 'L' || name[4] == 'R' || name[4] == 'C';
}

std::vector<ExportPoint> export_points(const ApiRecord& record, const RouteFacts& facts) {
  std::vector<ExportPoint> points;
  if (auto departure = airport_point(record, facts, true)) points.push_back(std::move(*departure));
  const auto& w = record.detailed_waypoints;
  const auto kinds = waypoint_kinds(record);
  for (std::size_t i = 0; i < w.size(); ++i) {
    if (is_aerodrome_point(w[i].name, record.origin) ||
        is_aerodrome_point(w[i].name, record.destination) || is_runway_point(w[i].name))
      continue;
    ExportPoint p;
    p.ident = w[i].name;
    p.lat = w[i].lat;
    p.lon = w[i].lon;
    p.kind = kinds[i];
    p.airway = w[i].airway;
    p.known = known_waypoint(facts, i);
    points.push_back(std::move(p));
  }
  if (auto arrival = airport_point(record, facts, false)) points.push_back(std::move(*arrival));
  return points;
}

ExportRunways export_runways(const ApiRecord& record) {
  ExportRunways out;
  if (record.extension && record.extension->runways) {
    const PlanRunways& flown = *record.extension->runways;
    if (known(flown.departure)) out.departure = designator(flown.departure);
    if (known(flown.arrival)) out.arrival = designator(flown.arrival);
  }
  if (out.departure.empty() && known(record.dep_runway))
    out.departure = designator(record.dep_runway);
  if (out.arrival.empty() && known(record.arr_runway)) out.arrival = designator(record.arr_runway);
  if (const ApiWaypoint* p = out.departure.empty() ? runway_point(record, true) : nullptr)
    out.departure = designator(p->name);
  if (const ApiWaypoint* p = out.arrival.empty() ? runway_point(record, false) : nullptr)
    out.arrival = designator(p->name);
  return out;
}

bool uses_airways(const ApiRecord& record) {
  const ApiProcedures& p = record.procedures;
  if ((!p.sid.empty() && p.sid != kDirectLeg) || (!p.star.empty() && p.star != kNoStar))
    return true;
  for (const ApiWaypoint& w : record.detailed_waypoints)
    if (w.airway && *w.airway != kDirectLeg) return true;
  return false;
}

}  // namespace core_calc::planning
