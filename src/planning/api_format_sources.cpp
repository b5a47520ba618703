#include "planning/api_format_sources.h"

namespace core_calc::planning {
namespace {

std::optional<std::string> name_text(const network::RouteNetwork& net, network::NameId id) {
  if (id == network::kNoName) return std::nullopt;
  return std::string(net.names().text(id));
}

}  // namespace

AirwayPointMeta find_airway_point(const network::AirwayMeta& meta,
                                  const std::optional<std::string>& route_id,
                                  const PlanNode& node) {
  const network::RouteNetwork& net = meta.network();
  network::NameId route = network::kNoName;
  if (route_id) {
    route = net.names().find(*route_id);
    if (route == network::kNoName) return {};
  }
  const network::NodeId id = net.find_node(node.name, node.lat, node.lon);
  if (id == network::kNoNode) return {};
  const auto value = meta.find(route, id);
  if (!value) return {};
  return {name_text(net, value->seqno), name_text(net, value->restriction)};
}

NetworkFormatSources::NetworkFormatSources(std::shared_ptr<const network::AirwayMeta> meta,
                                           std::shared_ptr<const network::RouteNetwork> network,
                                           std::string departure_runway, std::string arrival_runway)
    : meta_(std::move(meta)),
      network_(std::move(network)),
      departure_runway_(std::move(departure_runway)),
      arrival_runway_(std::move(arrival_runway)) {}

AirwayPointMeta NetworkFormatSources::airway_point(const std::optional<std::string>& route_id,
                                                   const PlanNode& node) {
  if (!meta_) return {};
  return find_airway_point(*meta_, route_id, node);
}

// The coordinate map is keyed by node keys (name, latitude, longitude); a bare
// name is never one of them, so a loaded network places no fix given by name.
std::optional<GeoPoint> NetworkFormatSources::network_position(const std::string& fix) {
  if (!network_) throw no_network_error(fix);
  return std::nullopt;
}

}  // namespace core_calc::planning
