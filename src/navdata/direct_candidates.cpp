#include "navdata/direct_candidates.h"

#include "common/number_text.h"

namespace core_calc::navdata {

std::vector<DirectCandidate> direct_candidates(const network::RouteNetwork& net, double lat,
                                               double lon, double radius_km, std::int64_t k,
                                               double grid_size) {
  std::vector<DirectCandidate> found;
  for (const geo::GridHit& hit : net.grid.k_nearest(lat, lon, radius_km, k, grid_size)) {
    const network::Node& node = net.node(hit.id);
    found.push_back({hit.id, std::string(net.names.text(node.key.name)), hit.dist_km,
                     node.has_coord, node.lat, node.lon});
  }
  return found;
}

std::string no_candidate_line(DirectKind kind, std::string_view icao,
                              std::string_view radius_text) {
  const char* what = kind == DirectKind::kDeparture ? "离场" : "进近";
  return "⚠️ [Debug] " + std::string(icao) + " 附近 " + std::string(radius_text) +
         "km 内没有航路点，无法生成直飞" + what + "。";
}

std::string candidate_line(DirectKind kind, std::string_view icao,
                           const std::vector<DirectCandidate>& candidates) {
  std::string names;
  for (const DirectCandidate& c : candidates) {
    if (!names.empty()) names += ", ";
    names += c.name + "(" + fixed_text(c.dist_km, 1) + "km)";
  }
  const char* lead = kind == DirectKind::kDeparture ? "🛫 [Debug] " : "🛬 [Debug] ";
  const char* what =
      kind == DirectKind::kDeparture ? " 无 SID，直飞候选 " : " 无 STAR/IAP，进近候选 ";
  return lead + std::string(icao) + what + names;
}

}  // namespace core_calc::navdata
