#include "network/direct_candidates.h"

namespace core_calc::network {

std::vector<DirectCandidate> direct_candidates(const RouteNetwork& net, double lat, double lon,
                                               double radius_km, std::int64_t k, double grid_size) {
  std::vector<DirectCandidate> found;
  for (const geo::GridHit& hit : net.grid().k_nearest(lat, lon, radius_km, k, grid_size)) {
    const bool has_coord = net.has_coord(hit.id);
    const geo::GridPosition at = has_coord ? net.coord(hit.id) : geo::GridPosition{0.0, 0.0};
    found.push_back({hit.id, std::string(net.names().text(net.node(hit.id).name)), hit.dist_km,
                     has_coord, at.lat, at.lon});
  }
  return found;
}

}  // namespace core_calc::network
