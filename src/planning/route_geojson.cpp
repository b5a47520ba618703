// GeoJSON of a route: positions are [longitude, latitude] (RFC 7946), features in
// flight order, and the member order fixed so equal records give equal texts.
//
// A leg whose longitudes differ by more than 180 degrees is flown across the
// antimeridian; the line is cut there (RFC 7946 section 3.1.9), so that no part
// runs the long way round a map. A position on the antimeridian itself is written
// on the side of the part it belongs to.
#include <cmath>
#include <nlohmann/json.hpp>

#include "planning/export_coordinates.h"
#include "planning/route_export.h"
#include "planning/waypoint_kind.h"

namespace core_calc::planning {
namespace {

using Json = nlohmann::ordered_json;

Json position(const ApiWaypoint& w) {
  return Json::array({w.lon, w.lat});
}

Json optional_text(const std::optional<std::string>& text) {
  return text ? Json(*text) : Json(nullptr);
}

Json feature(Json geometry, Json properties) {
  Json f;
  f["type"] = "Feature";
  f["geometry"] = std::move(geometry);
  f["properties"] = std::move(properties);
  return f;
}

struct LonLat {
  double lon;
  double lat;
};

Json pair(LonLat p) {
  return Json::array({p.lon, p.lat});
}

// Latitude where the great circle through a and b meets the meridian `lon`.
double latitude_at(LonLat a, LonLat b, double lon) {
  constexpr double kRad = 3.14159265358979323846 / 180.0;
  const double f1 = a.lat * kRad, f2 = b.lat * kRad;
  const double l1 = a.lon * kRad, l2 = b.lon * kRad, l = lon * kRad;
  const double num = std::sin(f1) * std::cos(f2) * std::sin(l - l2) -
                     std::sin(f2) * std::cos(f1) * std::sin(l - l1);
  const double den = std::cos(f1) * std::cos(f2) * std::sin(l1 - l2);
  return den == 0.0 ? a.lat : std::atan(num / den) / kRad;
}

bool crosses(LonLat a, LonLat b) {
  return std::fabs(b.lon - a.lon) > 180.0;
}

// The route's positions cut at the antimeridian: one part, or several.
std::vector<std::vector<LonLat>> line_parts(const std::vector<ApiWaypoint>& waypoints) {
  std::vector<LonLat> points;
  for (const ApiWaypoint& w : waypoints) points.push_back({w.lon, w.lat});
  // A position on the antimeridian takes the side of the one before it (the first
  // one the side of the next).
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (std::fabs(points[i].lon) != 180.0) continue;
    const std::size_t ref = i > 0 ? i - 1 : (points.size() > 1 ? 1 : 0);
    if (ref != i && points[ref].lon != 0.0) points[i].lon = std::copysign(180.0, points[ref].lon);
  }
  std::vector<std::vector<LonLat>> parts(1);
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (i > 0 && crosses(points[i - 1], points[i])) {
      const LonLat a = points[i - 1];
      const double edge = std::copysign(180.0, a.lon);
      const double lat = std::fabs(a.lon) == 180.0 ? a.lat : latitude_at(a, points[i], edge);
      if (std::fabs(a.lon) != 180.0) parts.back().push_back({edge, lat});
      parts.push_back({{-edge, lat}});
    }
    parts.back().push_back(points[i]);
  }
  return parts;
}

Json line_geometry(const std::vector<ApiWaypoint>& waypoints) {
  const auto parts = line_parts(waypoints);
  auto coordinates_of = [](const std::vector<LonLat>& part) {
    Json out = Json::array();
    for (const LonLat& p : part) out.push_back(pair(p));
    return out;
  };
  if (parts.size() == 1)
    return {{"type", "LineString"}, {"coordinates", coordinates_of(parts.front())}};
  Json lines = Json::array();
  for (const auto& part : parts) lines.push_back(coordinates_of(part));
  return {{"type", "MultiLineString"}, {"coordinates", std::move(lines)}};
}

Json route_line(const ApiRecord& record) {
  Json properties;
  properties["origin"] = record.origin;
  properties["destination"] = record.destination;
  properties["route_string"] = record.route_string;
  return feature(line_geometry(record.detailed_waypoints), std::move(properties));
}

}  // namespace

std::string route_geojson(const ApiRecord& record) {
  require_finite_coordinates(record);
  Json features = Json::array();
  // A LineString needs two positions or more.
  if (record.detailed_waypoints.size() >= 2) features.push_back(route_line(record));
  const auto kinds = waypoint_kinds(record);
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    const ApiWaypoint& w = record.detailed_waypoints[i];
    Json properties;
    properties["name"] = w.name;
    properties["airway"] = optional_text(w.airway);
    properties["kind"] = kind_name(kinds[i]);
    features.push_back(
        feature({{"type", "Point"}, {"coordinates", position(w)}}, std::move(properties)));
  }
  Json collection;
  collection["type"] = "FeatureCollection";
  collection["features"] = std::move(features);
  // Texts that are not valid UTF-8 are written with replacement characters.
  return collection.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace core_calc::planning
