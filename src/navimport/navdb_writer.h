// The navigation database an import produces, written as one transaction into a
// new file beside the target ("<db_path>.import-<pid>-<n>") that replaces the
// target only once complete (commit, flush to disk, rename). Until then the target
// is untouched; an unfinished writer deletes its file.
//
// Tables and columns are those the module reads, with the indexes its queries use:
//   airway_segments / tbl_enroute_airways  (the same rows; segment_uid only in the first)
//   airports, tbl_runways, tbl_sids, tbl_stars, tbl_iaps
// and what the route exports read besides:
//   waypoints          every fix and navaid read, with its type (common/waypoint_type.h)
//                      and ICAO region (null when the format gives none)
//   navdata_metadata   key/value pairs: "cycle", the AIRAC cycle ("1310") the data
//                      files name in their headers, when they name one
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/waypoint_type.h"
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
  void waypoint(std::string_view ident, LatLon position, WaypointType type,
                std::string_view region);
  void metadata(std::string_view key, std::string_view value);

  // Builds the indexes, commits and puts the file in place. Rows per table, in
  // table order.
  TableCounts commit();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace core_calc::navimport
