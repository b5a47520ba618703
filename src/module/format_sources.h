// Formatting sources read from the module attributes at the moment the formatter
// needs them, for format_for_api: AIRWAY_META (on the first airway leg), the
// coordinate map of GLOBAL_NETWORK (for a departure connector fix given by name),
// recommendeddep and recommendedarr. Runway values are kept as the host set them,
// so they pass into the record unchanged. Used with the GIL held.
#pragma once

#include <memory>

#include "module/module_state.h"
#include "network/airway_meta.h"
#include "planning/api_format.h"

namespace core_calc::module {

class HostFormatSources final : public planning::FormatSources {
 public:
  planning::AirwayPointMeta airway_point(const std::optional<std::string>& route_id,
                                         const planning::PlanNode& node) override;
  std::optional<planning::GeoPoint> network_position(const std::string& fix) override;
  std::string departure_runway() override;
  std::string arrival_runway() override;

  // The host values read for the runways; null objects when not read.
  const py::object& departure_value() const { return departure_; }
  const py::object& arrival_value() const { return arrival_; }

 private:
  bool meta_read_ = false;
  py::object meta_table_;  // a mapping the host assigned
  std::shared_ptr<const network::AirwayMeta> native_meta_;
  py::object departure_;
  py::object arrival_;
};

}  // namespace core_calc::module
