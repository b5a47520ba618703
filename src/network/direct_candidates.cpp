#include "network/direct_candidates.h"

namespace core_calc::network {

std::vector<DirectCandidate> direct_candidates(const RouteNetwork& net, double lat, double lon,
                                               double radius_km, std::int64_t k, double grid_size) {
  std::vector<DirectCandidate> found;
  for (const geo::GridHit& hit : net.grid().k_nearest(lat, lon, radius_km, k, grid_size)) {
    const Node& node = net.node(hit.id);
    found.push_back({hit.id, std::string(net.names().text(node.key.name)), hit.dist_km,
                     node.has_coord, node.lat, node.lon});
  }
  return found;
}

}  // namespace core_calc::network
