// A formatted route in the formats flight-planning tools import. Each export reads
// the record (its airports, runways, procedure names and waypoints, with the kinds
// of waypoint_kind.h); the flight-plan files also read what the database adds
// (route_facts.h) and list the points of export_points.h. Coordinates must be
// finite; a waypoint that is not throws std::invalid_argument naming it.
#pragma once

#include <string>

#include "planning/api_record.h"
#include "planning/route_facts.h"

namespace core_calc::planning {

// ICAO flight-plan Item 15 (route), without the aerodromes and the approach: the
// SID and the fix where it ends, each airway followed by the fix where it is left,
// "DCT" before every fix reached off the airways, and the STAR. A direct departure
// ("DCT") is written "DCT" and the fix it joins the airways at; a direct arrival
// ("DIRECT") adds nothing after the last en-route fix.
std::string route_icao(const ApiRecord& record);

// GeoJSON (RFC 7946) FeatureCollection as JSON text: first the route as a
// LineString of [longitude, latitude] positions (when there are two waypoints or
// more), cut into a MultiLineString where it crosses the antimeridian (RFC 7946
// section 3.1.9: each part ends at longitude 180 or -180 where the leg's great
// circle crosses it), then one Point per waypoint with the properties "name",
// "airway" and "kind" (waypoint_kind.h).
std::string route_geojson(const ApiRecord& record);

// GPX 1.1 document with one <rte>: one <rtept lat lon> per waypoint, with its name,
// its airway as <desc> and its kind as <type>.
std::string route_gpx(const ApiRecord& record);

// X-Plane 11 flight plan, format 1100: header, CYCLE of the data (left out when
// unknown), the departure and destination blocks (ADEP, DEPRWY, SID, ADES, DESRWY,
// STAR, APP) where known, NUMENR and one line per point: type (1 airport, 2 NDB,
// 3 VOR or DME, 11 named fix or a point the database does not type, 28 unnamed),
// ident, via (ADEP, ADES, DRCT or the airway), altitude 0, latitude, longitude.
// Procedures are named only with their runway, which X-Plane needs to load them;
// runways are named by DEPRWY and DESRWY, never as waypoints.
std::string route_fms(const ApiRecord& record, const RouteFacts& facts);

// Microsoft Flight Simulator flight plan (.pln, AceXML): the departure and
// destination with their positions, the departure runway, then one ATCWaypoint per
// point with its type (Airport, VOR, NDB, Intersection, or User for an unnamed
// point), position (degrees, minutes and seconds), airway, the SID or STAR it
// belongs to with that end's runway, and its ICAO ident and region.
std::string route_pln(const ApiRecord& record, const RouteFacts& facts);

// Garmin flight plan, FlightPlan v1 (.fpl): a waypoint table holding each point
// once and the route through them. Identifiers are upper-case letters and digits,
// at most 12 (a name that must be changed to fit becomes a USER WAYPOINT, as does
// a second point of one identifier elsewhere); types AIRPORT, VOR, NDB, INT or
// USER WAYPOINT. A route of more than 300 points, the format's limit, throws
// std::invalid_argument.
std::string route_fpl(const ApiRecord& record, const RouteFacts& facts);

}  // namespace core_calc::planning
