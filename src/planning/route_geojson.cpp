// GeoJSON of a route: positions are [longitude, latitude] (RFC 7946), features in
// flight order, and the member order fixed so equal records give equal texts.
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

Json route_line(const ApiRecord& record) {
  Json coordinates = Json::array();
  for (const ApiWaypoint& w : record.detailed_waypoints) coordinates.push_back(position(w));
  Json properties;
  properties["origin"] = record.origin;
  properties["destination"] = record.destination;
  properties["route_string"] = record.route_string;
  return feature({{"type", "LineString"}, {"coordinates", std::move(coordinates)}},
                 std::move(properties));
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
