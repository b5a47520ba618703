// Plan generation's sources and report over the module attributes, read at the
// moment of use. While an attribute still holds the module's own callable, the
// native reader runs directly and no host record is built; a callable the host
// bound instead is called with the same arguments as ever, and its records are
// remembered so the plans hand back the host's own objects.
//
// The driver runs without the GIL; every method here takes it for itself. An
// object of this type is created and destroyed with the GIL held.
#pragma once

#include <memory>
#include <unordered_map>

#include "module/module_state.h"
#include "module/own_readers.h"
#include "network/route_network.h"
#include "planning/plan_generation.h"

namespace core_calc::module {

class HostSources : public planning::PlanSources, public planning::PlanReport {
 public:
  // With `announce_runways`, the chosen runways go to recommendeddep and
  // recommendedarr; with a report callable, lines go to it instead of sys.stdout.
  HostSources(bool announce_runways, py::object report_callable);
  ~HostSources() override;

  planning::RunwayRanking runways(const std::string& icao) override;
  std::pair<planning::RunwayRanking, planning::RunwayRanking> runways_of_both(
      const std::string& departure, const std::string& arrival) override;
  planning::ProcedureList procedures(const std::string& icao, planning::ProcedureTable table,
                                     const std::optional<std::string>& runway) override;
  std::vector<planning::ApproachPtr> approaches(const std::string& icao,
                                                const std::string& runway) override;
  std::optional<navdata::Position> reference_point(const std::string& icao) override;
  std::vector<planning::ProcedurePtr> direct_procedures(planning::DirectKind kind,
                                                        const std::string& icao, double lat,
                                                        double lon) override;
  double setting(planning::Setting which) override;
  std::string setting_text(planning::Setting which) override;
  std::string direct_name(planning::DirectKind kind) override;

  void line(std::string_view text) override;
  std::string list_text(const std::vector<std::string>& items) override;
  void runways_chosen(const planning::RunwayRanking& departure,
                      const planning::RunwayRanking& arrival) override;

  // The host record of a procedure or approach read through this object: the
  // host's own when a host callable supplied it, else one built now (once).
  py::object procedure_object(const planning::ProcedurePtr& record);
  py::object approach_object(const planning::ApproachPtr& record);

 private:
  // Where the native readers send their lines: the request's report.
  LineOut lines() {
    return [this](std::string_view text) { line(text); };
  }
  planning::ProcedurePtr remember(py::handle host_record);
  template <class Record, class Build>
  py::object host_object(const std::shared_ptr<const Record>& record, Build&& build);

  bool announce_runways_;
  py::object report_;
  std::unordered_map<const void*, py::object> hosts_;  // native record -> host record
  std::vector<std::shared_ptr<const void>> keep_;      // keeps the keys of hosts_ alive
};

}  // namespace core_calc::module
