// Reading airway rows from the navigation database in query order: the segment
// table when the table suffix is empty, otherwise "tbl_enroute_airways" + suffix
// grouped by airway. Texts are interned into the network's name table as they are
// read, and whether a row continues the segment of the row before it is settled
// here, so a row leaves the reader as a few ids and its two coordinates.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "navdata/database.h"
#include "network/name_table.h"

namespace core_calc::network {

struct AirwayRow {
  NameId route = kNoName;
  NameId waypoint = kNoName;
  float lat = 0.0f;  // nearest 32-bit value of the stored coordinate (NaN for null)
  float lon = 0.0f;
  NameId seqno_text = kNoName;
  NameId restriction = kNoName;   // raw text when non-empty
  bool forbids_forward = false;   // "B" in the upper-cased restriction
  bool forbids_backward = false;  // "F" in the upper-cased restriction
  bool continues = false;         // the row before belongs to the same segment
};

// A coordinate that is stored but is not a number ends the read with this error.
struct CoordinateError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Identifier of one continuous airway segment, compared the way the stored values
// compare: integers and reals by number, texts by content. A null key never
// continues the segment before it.
struct SegmentKey {
  enum class Kind : std::uint8_t { kNull, kInteger, kReal, kText };
  Kind kind = Kind::kNull;
  std::int64_t integer = 0;
  double real = 0.0;
  std::string text;

  bool continues(const SegmentKey& previous) const;
};

class AirwayReader {
 public:
  // Prepares the query; a missing table or column fails here.
  AirwayReader(const navdata::Database& db, const std::string& table_suffix, NameTable& names);

  // Reads up to `count` rows into `out`; fewer than `count` means the rows are exhausted.
  std::size_t read(AirwayRow* out, std::size_t count);

 private:
  void read_row(AirwayRow& row);
  NameId read_route();
  void read_segment(SegmentKey& key) const;

  navdata::Statement st_;
  const bool use_segment_uid_;
  NameTable& names_;
  std::string last_route_text_;  // consecutive rows mostly belong to one airway
  NameId last_route_ = kNoName;
  SegmentKey segment_;          // the key of the current row, reused
  SegmentKey current_segment_;  // the key of the row that started the current segment
  bool in_segment_ = false;
};

}  // namespace core_calc::network
