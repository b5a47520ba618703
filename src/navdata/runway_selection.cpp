#include "navdata/runway_selection.h"

#include <algorithm>
#include <cmath>

namespace core_calc::navdata {
namespace {

// A bearing as a real number; text must spell one and blobs are read as their
// bytes, as the host's float() reads them. NaN and infinities are no bearing.
std::optional<double> bearing_of(const SqlValue& value) {
  double bearing = 0.0;
  const bool number = value.kind == SqlValue::Kind::kBlob ? text_to_real(value.text, bearing)
                                                          : to_real(value, bearing);
  if (!number || !std::isfinite(bearing)) return std::nullopt;
  return bearing;
}

struct Candidate {
  const SqlValue* id;
  double angle;
};

}  // namespace

std::vector<RunwayRow> read_runway_rows(const Database& db, const std::string& runway_table,
                                        const std::string& icao_upper) {
  Statement query(db, "SELECT runway_identifier, runway_magnetic_bearing FROM " + runway_table +
                          " WHERE airport_identifier = ?");
  query.bind_text(1, icao_upper);
  std::vector<RunwayRow> rows;
  while (query.step()) {
    const std::optional<double> bearing = bearing_of(query.column_value(1));
    if (bearing) rows.push_back({query.column_value(0), *bearing});
  }
  return rows;
}

double wind_angle(int wind_deg, double bearing) {
  // The remainder keeps bearings stored outside 0..360 on the circle; for bearings
  // within it the difference is already below 360 and stays unchanged.
  const double diff = std::fmod(std::fabs(wind_deg - bearing), 360.0);
  return std::min(diff, 360.0 - diff);
}

RunwayChoice rank_runways(const std::vector<RunwayRow>& rows, std::optional<int> wind_deg) {
  RunwayChoice choice;
  if (!wind_deg) {
    for (const RunwayRow& row : rows) choice.runways.push_back(row.id);
    return choice;
  }
  std::vector<Candidate> candidates;
  candidates.reserve(rows.size());
  for (const RunwayRow& row : rows)
    candidates.push_back({&row.id, wind_angle(*wind_deg, row.bearing)});
  if (candidates.empty()) return choice;
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) { return a.angle < b.angle; });
  for (const Candidate& c : candidates) {
    if (c.angle > kMaxWindAngle || choice.runways.size() == kMaxWindRunways) break;
    choice.runways.push_back(*c.id);
  }
  // Every runway has a tailwind: the one with the least still serves.
  if (choice.runways.empty()) choice.runways.push_back(*candidates.front().id);
  return choice;
}

RunwayChoice choose_runways(ConnectionPool& pool, const std::string& db_path,
                            const std::string& runway_table, const std::string& icao_upper,
                            const WindReport& wind) {
  // Outside the guard: the caller learns that the file cannot be opened.
  const ConnectionPool::Lease lease = pool.lease(db_path);
  std::vector<RunwayRow> rows;
  try {
    rows = read_runway_rows(lease.db(), runway_table, icao_upper);
  } catch (const DatabaseError&) {
    return {};
  }
  return rank_runways(rows, wind.direction_deg);
}

}  // namespace core_calc::navdata
