#include "navdata/approach_reader.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <utility>

#include "navdata/procedure_table.h"

namespace core_calc::navdata {
namespace {

// A stored coordinate that is present but is not a number.
struct CoordinateError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

bool is_capital_or_digit(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// True when `id` is one or more capitals or digits followed by `runway`, then
// anything: the runway starts at some position p >= 1 with only capitals and digits
// before it. The first occurrence from position 1 on decides, so a long or odd
// runway text costs one substring search.
bool names_runway(std::string_view id, std::string_view runway) {
  std::size_t prefix = 0;
  while (prefix < id.size() && is_capital_or_digit(id[prefix])) ++prefix;
  if (prefix == 0) return false;
  if (runway.empty()) return true;
  const std::size_t at = id.find(runway, 1);
  return at != std::string_view::npos && at <= prefix;
}

bool contains_runway(std::string_view id, std::string_view runway) {
  return id.find(runway) != std::string_view::npos;
}

struct Candidate {
  const ProcedureRow* row;
  std::string procedure;
};

// Rows of the approaches that serve the runway, falling back to every approach
// whose identifier merely contains it. Null identifiers belong to no approach.
std::vector<Candidate> select_rows(const ProcedureRows& table, std::string_view runway) {
  table.require(Column::kProcedure);
  std::vector<Candidate> all;
  for (const ProcedureRow& row : table.rows) {
    const SqlValue& id = ProcedureRows::value(row, Column::kProcedure);
    if (!id.is_null()) all.push_back({&row, stored_text(id)});
  }
  std::vector<Candidate> chosen;
  for (const Candidate& c : all)
    if (names_runway(c.procedure, runway)) chosen.push_back(c);
  if (!chosen.empty()) return chosen;
  for (const Candidate& c : all)
    if (contains_runway(c.procedure, runway)) chosen.push_back(c);
  return chosen;
}

struct ApproachRow {
  const ProcedureRow* row;
  std::string waypoint;    // stripped text; a null identifier reads "None"
  std::string transition;  // "" for the main route (null or empty)
  double seq;              // the sequence number as a real, 0.0 when it is none
};

double sequence_value(const SqlValue& seqno) {
  double value = 0.0;
  return stored_real(seqno, value) ? value : 0.0;
}

ApproachRow approach_row(const ProcedureRow& row) {
  const SqlValue& transition = ProcedureRows::value(row, Column::kTransition);
  return {&row, std::string(strip_space(stored_text(ProcedureRows::value(row, Column::kWaypoint)))),
          transition.is_null() ? std::string() : stored_text(transition),
          sequence_value(ProcedureRows::value(row, Column::kSeqno))};
}

// Ascending, with a not-a-number value after every number.
void sort_by_sequence(std::vector<const ApproachRow*>& rows) {
  std::stable_sort(rows.begin(), rows.end(), [](const ApproachRow* a, const ApproachRow* b) {
    return !std::isnan(a->seq) && (std::isnan(b->seq) || a->seq < b->seq);
  });
}

double coordinate(const SqlValue& stored) {
  double value = 0.0;
  if (!stored_real(stored, value))
    throw CoordinateError("could not convert string to float: '" + stored_text(stored) + "'");
  return value;
}

// The point of a row with both coordinates; a row lacking one has no point.
std::optional<ProcedurePoint> approach_point(const ApproachRow& r) {
  const SqlValue& lat = ProcedureRows::value(*r.row, Column::kLatitude);
  const SqlValue& lon = ProcedureRows::value(*r.row, Column::kLongitude);
  if (lat.is_null() || lon.is_null()) return std::nullopt;
  SqlValue seq;
  seq.kind = SqlValue::Kind::kReal;
  seq.real = r.seq;
  const double lat_deg = coordinate(lat);
  return ProcedurePoint{r.waypoint, lat_deg, coordinate(lon), std::move(seq)};
}

using Segment = std::vector<ProcedurePoint>;

// The main route restarts wherever a row repeats the sequence value before it.
std::vector<Segment> main_segments(std::vector<const ApproachRow*> rows) {
  sort_by_sequence(rows);
  std::vector<Segment> segments;
  Segment current;
  double last_seq = -1.0;
  for (const ApproachRow* r : rows) {
    if (r->seq <= last_seq && !current.empty()) segments.push_back(std::exchange(current, {}));
    if (auto point = approach_point(*r)) current.push_back(std::move(*point));
    last_seq = r->seq;
  }
  if (!current.empty()) segments.push_back(std::move(current));
  return segments;
}

// The segment a transition flows into: the one starting at its last fix, else the first.
const Segment* joined_segment(const std::vector<Segment>& segments, const std::string& trans_end) {
  if (segments.empty()) return nullptr;
  for (const Segment& segment : segments)
    if (segment.front().name == trans_end) return &segment;
  return &segments.front();
}

std::vector<std::string> transitions_in_order(const std::vector<ApproachRow>& rows) {
  std::vector<std::string> names;
  for (const ApproachRow& r : rows)
    if (!r.transition.empty() && std::find(names.begin(), names.end(), r.transition) == names.end())
      names.push_back(r.transition);
  return names;
}

Segment transition_points(const std::vector<ApproachRow>& rows, const std::string& transition) {
  std::vector<const ApproachRow*> own;
  for (const ApproachRow& r : rows)
    if (r.transition == transition) own.push_back(&r);
  sort_by_sequence(own);
  Segment points;
  for (const ApproachRow* r : own)
    if (auto point = approach_point(*r)) points.push_back(std::move(*point));
  return points;
}

// Appends the records of one procedure as they are completed, so a fault further
// on leaves the earlier ones in place.
void build_procedure(const std::string& proc, const std::vector<ApproachRow>& rows,
                     const std::string& runway, std::vector<ApproachRecord>& out) {
  std::vector<const ApproachRow*> main;
  for (const ApproachRow& r : rows)
    if (r.transition.empty()) main.push_back(&r);
  const std::vector<Segment> segments = main_segments(std::move(main));
  const std::vector<std::string> transitions = transitions_in_order(rows);
  for (const std::string& transition : transitions) {
    Segment points = transition_points(rows, transition);
    if (points.empty()) continue;
    if (const Segment* joined = joined_segment(segments, points.back().name)) {
      // The junction fix ends the transition and starts the segment: keep it once.
      auto from = joined->begin();
      if (from->name == points.back().name) ++from;
      points.insert(points.end(), from, joined->end());
    }
    std::string first = points.front().name;
    out.push_back({proc + "." + transition, runway, std::move(first), std::move(points)});
  }
  // Without transitions each main-route segment is a way in of its own.
  if (!transitions.empty()) return;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const std::string suffix = segments.size() == 1 ? ".MAIN" : ".MAIN" + std::to_string(i + 1);
    out.push_back({proc + suffix, runway, segments[i].front().name, segments[i]});
  }
}

void build_approaches(const ProcedureRows& table, const std::string& runway,
                      std::vector<ApproachRecord>& out) {
  if (table.rows.empty()) return;
  const std::vector<Candidate> selected = select_rows(table, remove_all(runway, "RW"));
  if (selected.empty()) return;
  for (Column needed : {Column::kWaypoint, Column::kTransition, Column::kSeqno, Column::kLatitude,
                        Column::kLongitude})
    table.require(needed);
  std::map<std::string, std::vector<ApproachRow>> groups;
  for (const Candidate& c : selected) groups[c.procedure].push_back(approach_row(*c.row));
  for (const auto& [proc, rows] : groups) build_procedure(proc, rows, runway, out);
}

}  // namespace

std::string approach_failure_line(std::string_view icao, std::string_view error) {
  return "Error loading IAPs for " + std::string(icao) + ": " + std::string(error);
}

ApproachLoad read_approaches(const Database& db, const std::string& icao, const std::string& table,
                             const std::string& runway) {
  ApproachLoad load;
  try {
    const std::string sql = "SELECT * FROM " + table + " WHERE airport_identifier = ?";
    build_approaches(read_procedure_rows(db, sql, {icao}), runway, load.approaches);
  } catch (const std::exception& e) {
    load.failure = approach_failure_line(icao, e.what());
  }
  return load;
}

ApproachLoad load_approaches(ConnectionPool& pool, const std::string& db_path,
                             const std::string& icao, const std::string& table,
                             const std::string& runway) {
  const ConnectionPool::Lease lease = pool.lease(db_path);
  return read_approaches(lease.db(), icao, table, runway);
}

}  // namespace core_calc::navdata
