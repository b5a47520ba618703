// A formatted route in the formats flight-planning tools import. Each export reads
// only the record: its airports, runways, procedure names and waypoints (with the
// kinds of waypoint_kind.h). Coordinates must be finite; a waypoint that is not
// throws std::invalid_argument naming it.
#pragma once

#include <chrono>
#include <string>

#include "planning/api_record.h"

namespace core_calc::planning {

// ICAO flight-plan Item 15 (route), without the aerodromes and the approach: the
// SID and the fix where it ends, each airway followed by the fix where it is left,
// "DCT" before every fix reached off the airways, and the STAR. A direct departure
// ("DCT") is written "DCT" and the fix it joins the airways at; a direct arrival
// ("DIRECT") adds nothing after the last en-route fix.
std::string route_icao(const ApiRecord& record);

// GeoJSON (RFC 7946) FeatureCollection as JSON text: first the route as a
// LineString of [longitude, latitude] positions (when there are two waypoints or
// more), then one Point per waypoint with the properties "name", "airway" and
// "kind" (waypoint_kind.h).
std::string route_geojson(const ApiRecord& record);

// GPX 1.1 document with one <rte>: one <rtept lat lon> per waypoint, with its name,
// its airway as <desc> and its kind as <type>.
std::string route_gpx(const ApiRecord& record);

// X-Plane 11 flight plan, format 1100: header, CYCLE `cycle`, the departure and
// destination blocks (ADEP, DEPRWY, SID, ADES, DESRWY, STAR, APP) where known,
// NUMENR and one line per waypoint: type, ident, via, altitude 0, latitude,
// longitude. Procedures are named only with their runway, which X-Plane needs to
// load them; a record with runways from plan generation names the runways flown.
std::string route_fms(const ApiRecord& record, const std::string& cycle);

// The four-digit AIRAC cycle (year, number in the year) in effect on `day`.
std::string airac_cycle(std::chrono::sys_days day);

}  // namespace core_calc::planning
