// Direct departures and arrivals for airports without procedures: two-point
// procedures between the airport and each of the nearest network waypoints, and
// the lines that report them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "network/direct_candidates.h"
#include "planning/plan_sources.h"

namespace core_calc::planning {

// A grid node without a coordinate map entry (only hand-built networks have them).
struct CandidateWithoutCoordinate : std::runtime_error {
  explicit CandidateWithoutCoordinate(network::NodeId node)
      : std::runtime_error("a direct candidate has no coordinates"), node(node) {}
  network::NodeId node;
};

// Departure: [ICAO+"APT" at (lat, lon) seq 10, candidate seq 20]; arrival: the
// candidate seq 10, then the airport seq 20. All named `name`.
std::vector<ProcedurePtr> direct_procedures(
    DirectKind kind, const std::string& icao, double lat, double lon, const std::string& name,
    const std::vector<network::DirectCandidate>& candidates);

// The line printed when no waypoint lies within the radius; `radius_text` is the
// radius as the caller writes it ("100.0").
std::string no_candidate_line(DirectKind kind, std::string_view icao, std::string_view radius_text);

// The line listing the candidates as "NAME(12.3km), ...".
std::string candidate_line(DirectKind kind, std::string_view icao,
                           const std::vector<network::DirectCandidate>& candidates);

}  // namespace core_calc::planning
