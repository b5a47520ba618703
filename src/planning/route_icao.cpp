// ICAO Item 15 from the waypoint list: walks the kinds in flight order and writes
// designators where a procedure or airway starts and fixes where it is left.
#include <vector>

#include "planning/route_export.h"
#include "planning/waypoint_kind.h"

namespace core_calc::planning {
namespace {

class Item15 {
 public:
  void designator(const std::string& name) { tokens_.push_back(name); }

  // A fix is written once even when two parts of the route meet on it.
  void fix(const std::string& name) {
    if (name == last_fix_) return;
    tokens_.push_back(name);
    last_fix_ = name;
  }

  void direct(const std::string& name) {
    if (name == last_fix_) return;
    tokens_.push_back(kDirectLeg);
    fix(name);
  }

  std::string text() const {
    std::string out;
    for (const std::string& t : tokens_) out += (out.empty() ? "" : " ") + t;
    return out;
  }

 private:
  std::vector<std::string> tokens_;
  std::string last_fix_;
};

bool on_airway(const ApiWaypoint& w) {
  return w.airway && *w.airway != kDirectLeg;
}

}  // namespace

std::string route_icao(const ApiRecord& record) {
  const auto& w = record.detailed_waypoints;
  const auto kinds = waypoint_kinds(record);
  const ApiProcedures& p = record.procedures;
  auto middle = [&](std::size_t i) {
    return i < w.size() &&
           (kinds[i] == WaypointKind::kEnroute || kinds[i] == WaypointKind::kConnector);
  };
  Item15 route;
  std::size_t i = 0;
  const std::size_t sid_begin = i;
  while (i < w.size() && kinds[i] == WaypointKind::kSid) ++i;
  if (i > sid_begin && p.sid == kDirectLeg) {
    for (std::size_t k = sid_begin; k < i; ++k)
      if (!is_aerodrome_point(w[k].name, record.origin)) route.direct(w[k].name);
  } else if (i > sid_begin) {
    route.designator(p.sid);
    route.fix(w[i - 1].name);
  }
  for (; middle(i); ++i) {
    if (!on_airway(w[i])) {
      route.direct(w[i].name);
      continue;
    }
    const bool enters = i == 0 || !middle(i - 1) || w[i - 1].airway != w[i].airway;
    if (enters) route.designator(*w[i].airway);
    if (!middle(i + 1) || w[i + 1].airway != w[i].airway) route.fix(w[i].name);
  }
  const std::size_t star_begin = i;
  while (i < w.size() && kinds[i] == WaypointKind::kStar) ++i;
  if (i > star_begin && p.star == kNoStar) {
    for (std::size_t k = star_begin; k < i; ++k)
      if (!is_aerodrome_point(w[k].name, record.destination)) route.direct(w[k].name);
  } else if (i > star_begin) {
    route.designator(p.star);
  }
  return route.text();
}

}  // namespace core_calc::planning
