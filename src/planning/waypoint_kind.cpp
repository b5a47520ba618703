#include "planning/waypoint_kind.h"

namespace core_calc::planning {
namespace {

// Approach points carry the approach's full name: "I09", "I09.MAIN", "I09.ABC".
bool flown_by_approach(const ApiWaypoint& w, const ApiProcedures& p) {
  if (!w.airway || p.iap == kNotAvailable) return false;
  const std::string& airway = *w.airway;
  return airway == p.iap ||
         (airway.size() > p.iap.size() && airway.starts_with(p.iap) && airway[p.iap.size()] == '.');
}

}  // namespace

const char* kind_name(WaypointKind kind) {
  switch (kind) {
    case WaypointKind::kSid:
      return "sid";
    case WaypointKind::kConnector:
      return "connector";
    case WaypointKind::kEnroute:
      return "enroute";
    case WaypointKind::kStar:
      return "star";
    case WaypointKind::kApproach:
      return "approach";
  }
  return "enroute";
}

// The procedures are matched from the ends inwards, so an airway that happens to
// share a procedure's name in the middle of the route stays en route.
std::vector<WaypointKind> waypoint_kinds(const ApiRecord& record) {
  const auto& w = record.detailed_waypoints;
  const ApiProcedures& p = record.procedures;
  std::vector<WaypointKind> kinds(w.size(), WaypointKind::kEnroute);
  std::size_t end = w.size();
  while (end > 0 && flown_by_approach(w[end - 1], p)) kinds[--end] = WaypointKind::kApproach;
  while (end > 0 && w[end - 1].airway == p.star) kinds[--end] = WaypointKind::kStar;
  std::size_t begin = 0;
  while (begin < end && w[begin].airway == p.sid) kinds[begin++] = WaypointKind::kSid;
  for (std::size_t i = begin; i < end; ++i)
    if (w[i].airway == kDirectLeg) kinds[i] = WaypointKind::kConnector;
  return kinds;
}

bool is_aerodrome_point(const std::string& name, const std::string& icao) {
  return !icao.empty() && name.size() == icao.size() + 3 && name.starts_with(icao) &&
         name.ends_with("APT");
}

}  // namespace core_calc::planning
