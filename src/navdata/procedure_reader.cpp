#include "navdata/procedure_reader.h"

#include <algorithm>
#include <map>

#include "navdata/procedure_table.h"
#include "navdata/transition_order.h"

namespace core_calc::navdata {
namespace {

struct Query {
  std::string sql;
  std::vector<std::string> params;
};

Query procedure_query(const std::string& icao, const std::string& table,
                      const std::string& runway) {
  Query query{"SELECT * FROM " + table + " WHERE airport_identifier = ?", {icao}};
  if (runway.empty()) return query;
  // A runway transition is stored as "RW09L"; callers may name the runway either way.
  const std::string clean = remove_all(runway, "RW");
  query.sql += " AND (transition_identifier IN (?,?,?,?))";
  query.params.insert(query.params.end(), {runway, clean, "RW" + clean, "ALL"});
  return query;
}

// Numbers first by value, then texts, then blobs, nulls last: a total order, so
// sequence numbers stored in mixed kinds still sort instead of failing.
int kind_rank(const SqlValue& v) {
  switch (v.kind) {
    case SqlValue::Kind::kInteger:
    case SqlValue::Kind::kReal:
      return 0;
    case SqlValue::Kind::kText:
      return 1;
    case SqlValue::Kind::kBlob:
      return 2;
    case SqlValue::Kind::kNull:
      break;
  }
  return 3;
}

long double number_of(const SqlValue& v) {
  return v.kind == SqlValue::Kind::kInteger ? static_cast<long double>(v.integer)
                                            : static_cast<long double>(v.real);
}

bool seq_less(const SqlValue& a, const SqlValue& b) {
  const int ra = kind_rank(a), rb = kind_rank(b);
  if (ra != rb) return ra < rb;
  if (ra == 0) return number_of(a) < number_of(b);
  if (ra == 1 || ra == 2) return a.text < b.text;
  return false;
}

using Group = std::vector<const ProcedureRow*>;

// Rows with a fix name and both coordinates, by procedure identifier in ascending
// code point order (UTF-8 byte order is code point order).
std::map<std::string, Group> group_usable_rows(const ProcedureRows& table) {
  table.require(Column::kWaypoint);
  table.require(Column::kLatitude);
  table.require(Column::kLongitude);
  table.require(Column::kProcedure);
  std::map<std::string, Group> groups;
  for (const ProcedureRow& row : table.rows) {
    auto v = [&row](Column c) -> const SqlValue& { return ProcedureRows::value(row, c); };
    if (v(Column::kWaypoint).is_null() || v(Column::kLatitude).is_null() ||
        v(Column::kLongitude).is_null() || v(Column::kProcedure).is_null())
      continue;
    groups[stored_text(v(Column::kProcedure))].push_back(&row);
  }
  return groups;
}

// Rank of a row's transition in flying order; a table without the column, like a
// null identifier, has only the common part.
int transition_rank(const ProcedureRow& row, bool arrival) {
  const SqlValue& transition = ProcedureRows::value(row, Column::kTransition);
  const TransitionKind kind =
      transition.is_null() ? TransitionKind::kCommon : transition_kind(stored_text(transition));
  return flying_rank(kind, arrival);
}

// Rows in flying order: by the kind of their transition, then by sequence number.
// The sort is stable, so rows of equal rank and number keep database order.
void sort_in_flying_order(Group& rows, bool arrival) {
  struct Keyed {
    int rank;
    const ProcedureRow* row;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(rows.size());
  for (const ProcedureRow* row : rows) keyed.push_back({transition_rank(*row, arrival), row});
  std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    if (a.rank != b.rank) return a.rank < b.rank;
    return seq_less(ProcedureRows::value(*a.row, Column::kSeqno),
                    ProcedureRows::value(*b.row, Column::kSeqno));
  });
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = keyed[i].row;
}

// Points in flying order; a coordinate that is no number drops its row only.
std::vector<ProcedurePoint> procedure_points(Group rows, bool arrival) {
  sort_in_flying_order(rows, arrival);
  std::vector<ProcedurePoint> points;
  for (const ProcedureRow* row : rows) {
    double lat = 0.0, lon = 0.0;
    if (!stored_real(ProcedureRows::value(*row, Column::kLatitude), lat) ||
        !stored_real(ProcedureRows::value(*row, Column::kLongitude), lon))
      continue;
    const std::string name = stored_text(ProcedureRows::value(*row, Column::kWaypoint));
    points.push_back(
        {std::string(strip_space(name)), lat, lon, ProcedureRows::value(*row, Column::kSeqno)});
  }
  return points;
}

void build_procedures(const std::string& icao, const ProcedureRows& table, bool arrival,
                      std::vector<ProcedureRecord>& out) {
  if (table.rows.empty()) return;
  const std::map<std::string, Group> groups = group_usable_rows(table);
  if (!groups.empty()) table.require(Column::kSeqno);
  for (const auto& [name, rows] : groups) {
    std::vector<ProcedurePoint> points = procedure_points(rows, arrival);
    // A single fix is no procedure that could be flown.
    if (points.size() >= 2) out.push_back({icao, name, std::move(points)});
  }
}

}  // namespace

std::string procedure_failure_line(std::string_view table, std::string_view icao,
                                   std::string_view error) {
  return "Error loading " + std::string(table) + " for " + std::string(icao) + ": " +
         std::string(error);
}

ProcedureLoad read_procedures(const Database& db, const std::string& icao, const std::string& table,
                              const std::string& runway) {
  ProcedureLoad load;
  try {
    const Query query = procedure_query(icao, table, runway);
    build_procedures(icao, read_procedure_rows(db, query.sql, query.params),
                     is_arrival_table(table), load.procedures);
  } catch (const std::exception& e) {
    load.failure = procedure_failure_line(table, icao, e.what());
  }
  return load;
}

ProcedureLoad load_procedures(ConnectionPool& pool, const std::string& db_path,
                              const std::string& icao, const std::string& table,
                              const std::string& runway) {
  const ConnectionPool::Lease lease = pool.lease(db_path);
  return read_procedures(lease.db(), icao, table, runway);
}

}  // namespace core_calc::navdata
