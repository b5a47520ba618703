// The extension of an API record: what the flown route measures, leg by leg, and
// the runways behind it. Distances are great circles between the waypoints as the
// record lists them, so they exclude the search penalties that "distance_km" holds.
#include "geo/geodesy.h"
#include "planning/api_format.h"

namespace core_calc::planning {

std::vector<ApiLeg> record_legs(const std::vector<ApiWaypoint>& waypoints) {
  std::vector<ApiLeg> legs;
  if (waypoints.size() < 2) return legs;
  legs.reserve(waypoints.size() - 1);
  for (std::size_t i = 1; i < waypoints.size(); ++i) {
    const ApiWaypoint& a = waypoints[i - 1];
    const ApiWaypoint& b = waypoints[i];
    const double km = geo::haversine_km(a.lat, a.lon, b.lat, b.lon);
    legs.push_back({a.name, b.name, b.airway, geo::bearing_deg(a.lat, a.lon, b.lat, b.lon),
                    km / kKmPerNauticalMile});
  }
  return legs;
}

void extend_record(ApiRecord& record, std::optional<PlanRunways> runways) {
  RecordExtension extension;
  const auto& points = record.detailed_waypoints;
  for (std::size_t i = 1; i < points.size(); ++i)
    extension.flown_distance_km +=
        geo::haversine_km(points[i - 1].lat, points[i - 1].lon, points[i].lat, points[i].lon);
  extension.flown_distance_nm = extension.flown_distance_km / kKmPerNauticalMile;
  extension.legs = record_legs(points);
  extension.runways = std::move(runways);
  record.extension = std::move(extension);
}

}  // namespace core_calc::planning
