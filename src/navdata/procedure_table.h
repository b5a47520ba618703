// Rows of the procedure tables (SIDs, STARs, approaches) and the readings of their
// stored values shared by the procedure and approach readers. The tables are read
// with "SELECT *", so the columns are found by name; a column that a reader needs
// but the table lacks is an error only when the reader reaches it.
#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "navdata/database.h"

namespace core_calc::navdata {

enum class Column : std::size_t {
  kProcedure,   // procedure_identifier
  kTransition,  // transition_identifier
  kSeqno,       // seqno
  kWaypoint,    // waypoint_identifier
  kLatitude,    // waypoint_latitude
  kLongitude,   // waypoint_longitude
};
inline constexpr std::size_t kColumnCount = 6;

// A needed column is absent from the result.
struct MissingColumn : std::runtime_error {
  using std::runtime_error::runtime_error;
};

using ProcedureRow = std::array<SqlValue, kColumnCount>;

struct ProcedureRows {
  std::array<bool, kColumnCount> present{};
  std::vector<ProcedureRow> rows;  // in the order the database returned them

  // Throws MissingColumn ("no such column: seqno") when the result lacks the column.
  void require(Column column) const;
  static const SqlValue& value(const ProcedureRow& row, Column column) {
    return row[static_cast<std::size_t>(column)];
  }
};

// Runs `sql` with the texts bound to its placeholders in order and keeps, of every
// row, the first column of each needed name.
ProcedureRows read_procedure_rows(const Database& db, const std::string& sql,
                                  const std::vector<std::string>& params);

// `text` with every occurrence of `part` removed, scanning left to right without
// overlaps, as the host's str.replace(part, "") does.
std::string remove_all(std::string_view text, std::string_view part);

// The host's str() of a stored value: integers in decimal, reals in the host's
// float form, texts and blob bytes as they are, null as "None".
std::string stored_text(const SqlValue& value);

// `utf8` without leading and trailing white space, as the host's str.strip()
// sees white space (ASCII and the Unicode spaces and separators).
std::string_view strip_space(std::string_view utf8);

// The host's float() of a stored value: integers and reals convert, texts and blob
// bytes must spell a number, null fails. Returns false when there is no number.
bool stored_real(const SqlValue& value, double& out);

}  // namespace core_calc::navdata
