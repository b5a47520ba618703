// The legs of one airport's CIFP file as rows of the procedure tables, in the form
// the procedure readers expect:
// - transition_identifier: a runway transition is "RW" + designator ("RW16B", all
//   parallel runways, becomes one transition per matching runway of the airport),
//   a common route is "ALL", an en-route transition keeps its name; an approach
//   transition keeps its name and the approach's final part has none (null).
// - seqno: the source sequence number of the leg within its transition (each
//   transition counts from 010, as the data does); the readers put the
//   transitions in flying order by their kind.
// - positions: a leg's fix is resolved by ident, region and kind (runway, airport,
//   waypoint, NDB, VHF navaid); legs ending at no fix (headings, altitudes) have no
//   row, nor does a leg repeating the previous fix of its transition (holds), an
//   engine-out SID, or the missed approach (from the first leg marked as its start).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "navimport/cifp_parser.h"
#include "navimport/nav_points.h"
#include "navimport/runway_geometry.h"

namespace core_calc::navimport {

// What the airport file of an airport told about it (empty when it was not read).
struct AirportSite {
  std::optional<LatLon> reference;
  std::vector<std::pair<std::string, LatLon>> runways;  // "RW16L" -> threshold
};

struct ProcedureRow {
  ProcedureKind kind;
  std::string_view procedure;
  std::optional<std::string_view> transition;
  long seqno;
  std::string_view fix;
  LatLon position;
  char route_type;
};

struct ProcedureCounts {
  std::size_t rows = 0;
  std::size_t unresolved = 0;  // legs whose fix was not found
  std::size_t resolved = 0;    // legs whose fix was found
};

ProcedureCounts procedure_rows(const CifpFile& file, std::string_view airport,
                               const AirportSite* site, const NavPointTable& points,
                               const std::function<void(const ProcedureRow&)>& sink);

}  // namespace core_calc::navimport
