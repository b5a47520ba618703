// Direct departures and arrivals for airports without procedures: the nearest
// network waypoints, each the far end of a two-point procedure to or from the
// airport. The caller weighs all candidates by the length of the complete route,
// because the nearest entry is not always the cheapest.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "network/route_network.h"

namespace core_calc::navdata {

enum class DirectKind { kDeparture, kArrival };

struct DirectCandidate {
  network::NodeId node;
  std::string name;  // waypoint name of the node key
  double dist_km;
  bool has_coord;  // the node has a coordinate map entry; lat and lon are valid only then
  double lat;
  double lon;
};

// Up to k network nodes within radius_km of (lat, lon), nearest first, as the
// network grid's k-nearest query finds them with cells of grid_size degrees.
std::vector<DirectCandidate> direct_candidates(const network::RouteNetwork& net, double lat,
                                               double lon, double radius_km, std::int64_t k,
                                               double grid_size);

// The line printed when no waypoint lies within the radius; `radius_text` is the
// radius as the caller writes it ("100.0").
std::string no_candidate_line(DirectKind kind, std::string_view icao, std::string_view radius_text);

// The line listing the candidates as "NAME(12.3km), ...".
std::string candidate_line(DirectKind kind, std::string_view icao,
                           const std::vector<DirectCandidate>& candidates);

}  // namespace core_calc::navdata
