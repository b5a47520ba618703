// What plan generation reads and where it reports, as interfaces: runways by
// wind, procedures and approaches, airport reference points and direct
// candidates come from a PlanSources; the diagnostic lines go to a PlanReport.
// The core implements both over a database and a network (database_sources.h);
// the module implements them over the host's module attributes.
//
// A source reports a failure that the request's per-runway guards may catch by
// throwing SourceError; any other exception always reaches the caller. When a
// SourceError reaches the caller, the caller rethrows its cause: the failure as
// it happened (a database error, a host exception).
#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "navdata/airport_position.h"
#include "navdata/procedure.h"

namespace core_calc::planning {

struct SourceError : std::runtime_error {
  SourceError(const std::string& what, std::exception_ptr cause)
      : std::runtime_error(what), cause(std::move(cause)) {}
  std::exception_ptr cause;
};

// Runs `read` and turns whatever it throws into a SourceError with that cause.
template <class Read>
auto guarded_read(Read&& read) {
  try {
    return read();
  } catch (const SourceError&) {
    throw;
  } catch (const std::exception& e) {
    throw SourceError(e.what(), std::current_exception());
  }
}

// A table of procedures: departures ("tbl_sids") or arrivals ("tbl_stars"),
// before any table suffix.
enum class ProcedureTable { kSids, kStars };
const char* table_base(ProcedureTable table);

enum class DirectKind { kDeparture, kArrival };

using ProcedurePtr = std::shared_ptr<const navdata::ProcedureRecord>;
using ApproachPtr = std::shared_ptr<const navdata::ApproachRecord>;

// Procedures by identifier, in mapping order.
using ProcedureList = std::vector<std::pair<std::string, ProcedurePtr>>;

struct RunwayRanking {
  std::vector<std::string> runways;  // best first
  std::string wind;                  // the reported wind as displayed, "N/A" without a report
};

// Module constants that plan generation reads at the moment it uses them.
enum class Setting {
  kSidJoinRadius,          // km, the default join radius of a departure
  kSidJoinRadiusFallback,  // km, the wider radius of the retry
  kSidBearingLimit,        // degrees, direction pruning
  kSidBearingLimitOff,     // degrees, the limit that switches pruning off
  kGridSize,               // degrees, cell size of the network grid
};

class PlanSources {
 public:
  virtual ~PlanSources() = default;

  virtual RunwayRanking runways(const std::string& icao) = 0;
  // The rankings of both airports of a request; sources that can ask for both at
  // once do (the two weather requests are independent).
  virtual std::pair<RunwayRanking, RunwayRanking> runways_of_both(const std::string& departure,
                                                                  const std::string& arrival) {
    RunwayRanking dep = runways(departure);
    return {std::move(dep), runways(arrival)};
  }
  // Procedures of `icao` in `table`; a runway keeps only its own transitions and the
  // common part, none keeps everything.
  virtual ProcedureList procedures(const std::string& icao, ProcedureTable table,
                                   const std::optional<std::string>& runway) = 0;
  virtual std::vector<ApproachPtr> approaches(const std::string& icao,
                                              const std::string& runway) = 0;
  virtual std::optional<navdata::Position> reference_point(const std::string& icao) = 0;
  // Two-point procedures between the airport at (lat, lon) and nearby network fixes.
  virtual std::vector<ProcedurePtr> direct_procedures(DirectKind kind, const std::string& icao,
                                                      double lat, double lon) = 0;

  virtual double setting(Setting which) = 0;
  // The setting as the host writes it in a diagnostic line ("5.0", "110").
  virtual std::string setting_text(Setting which) = 0;
  // Procedure name of the synthesised direct candidates ("DCT", "DIRECT").
  virtual std::string direct_name(DirectKind kind) = 0;
};

class PlanReport {
 public:
  virtual ~PlanReport() = default;
  virtual void line(std::string_view text) = 0;
  // A list of texts in the host's list notation: ['RW09', 'RW27'].
  virtual std::string list_text(const std::vector<std::string>& items);
  // The runway lists of both airports once they are known, before any procedure
  // is loaded.
  virtual void runways_chosen(const RunwayRanking& /*departure*/,
                              const RunwayRanking& /*arrival*/) {}
};

}  // namespace core_calc::planning
