// Formatting sources of the core: a loaded network with its airway metadata, and
// the runways as texts. Nothing here touches a host, so a formatter fed by these
// runs on any thread; both shared objects are immutable once loaded.
#pragma once

#include <memory>
#include <string>

#include "network/airway_meta.h"
#include "network/route_network.h"
#include "planning/api_format.h"

namespace core_calc::planning {

// The metadata of `node` on `route_id` (none: the null route id); both fields none
// when the node or route is unknown or the point has no entry.
AirwayPointMeta find_airway_point(const network::AirwayMeta& meta,
                                  const std::optional<std::string>& route_id, const PlanNode& node);

class NetworkFormatSources final : public FormatSources {
 public:
  // `meta` may be null (no metadata: every airway point reads as unknown); a null
  // `network` makes a departure connector fix given by name an error.
  NetworkFormatSources(std::shared_ptr<const network::AirwayMeta> meta,
                       std::shared_ptr<const network::RouteNetwork> network,
                       std::string departure_runway, std::string arrival_runway);

  AirwayPointMeta airway_point(const std::optional<std::string>& route_id,
                               const PlanNode& node) override;
  std::optional<GeoPoint> network_position(const std::string& fix) override;
  std::string departure_runway() override { return departure_runway_; }
  std::string arrival_runway() override { return arrival_runway_; }

 private:
  std::shared_ptr<const network::AirwayMeta> meta_;
  std::shared_ptr<const network::RouteNetwork> network_;
  std::string departure_runway_;
  std::string arrival_runway_;
};

}  // namespace core_calc::planning
