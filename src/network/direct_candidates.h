// Network waypoints near a point, nearest first: the far ends of the direct
// departures and arrivals synthesised for airports without procedures. Callers
// weigh all candidates by the length of the complete route, because the nearest
// entry is not always the cheapest.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "network/route_network.h"

namespace core_calc::network {

struct DirectCandidate {
  NodeId node;
  std::string name;  // waypoint name of the node key
  double dist_km;
  bool has_coord;  // the node has a coordinate map entry; lat and lon are valid only then
  double lat;
  double lon;
};

// Up to k network nodes within radius_km of (lat, lon), nearest first, as the
// network grid's k-nearest query finds them with cells of grid_size degrees.
std::vector<DirectCandidate> direct_candidates(const RouteNetwork& net, double lat, double lon,
                                               double radius_km, std::int64_t k, double grid_size);

}  // namespace core_calc::network
