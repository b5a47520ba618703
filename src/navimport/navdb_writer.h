// The navigation database an import produces, written as one transaction into a
// new file beside the target ("<db_path>.import-<pid>-<n>") that replaces the
// target only once complete (commit, flush to disk, rename). Until then the target
// is untouched; an unfinished writer deletes its file.
//
// Tables and columns are those the module reads, with the indexes its queries use:
//   airway_segments / tbl_enroute_airways  (the same rows; segment_uid only in the first)
//   airports, tbl_runways, tbl_sids, tbl_stars, tbl_iaps
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "navimport/cifp_parser.h"
#include "navimport/runway_geometry.h"

namespace core_calc::navimport {

using TableCounts = std::vector<std::pair<std::string, std::size_t>>;

class NavDbWriter {
 public:
  explicit NavDbWriter(std::string db_path);
  ~NavDbWriter();
  NavDbWriter(const NavDbWriter&) = delete;
  NavDbWriter& operator=(const NavDbWriter&) = delete;

  void airway_row(std::string_view route, std::string_view waypoint, LatLon position, long seqno,
                  std::string_view restriction, long segment_uid);
  void airport(std::string_view ident, std::string_view name, std::optional<LatLon> reference);
  void runway(std::string_view airport, std::string_view ident, LatLon threshold, double bearing);
  void procedure_row(ProcedureKind kind, std::string_view airport, std::string_view procedure,
                     std::optional<std::string_view> transition, long seqno, std::string_view fix,
                     LatLon position, char route_type);

  // Builds the indexes, commits and puts the file in place. Rows per table, in
  // table order.
  TableCounts commit();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace core_calc::navimport
