#include "navimport/navdata_import.h"

#include <chrono>
#include <unordered_map>
#include <unordered_set>

#include "navimport/airport_parser.h"
#include "navimport/airway_chains.h"
#include "navimport/airway_parser.h"
#include "navimport/cifp_parser.h"
#include "navimport/fix_parser.h"
#include "navimport/line_reader.h"
#include "navimport/nav_points.h"
#include "navimport/navaid_parser.h"
#include "navimport/procedure_rows.h"
#include "navimport/record_walk.h"

namespace core_calc::navimport {
namespace {

using Clock = std::chrono::steady_clock;

class Ticker : public WalkTicker {
 public:
  explicit Ticker(ImportObserver* observer) : observer_(observer) {}
  void tick() override {
    if (observer_) observer_->still_working();
  }

 private:
  ImportObserver* observer_;
};

// One import: the tables read so far and the database being written.
class Import {
 public:
  Import(const std::string& db_path, ImportObserver* observer)
      : out_(db_path), observer_(observer), ticker_(observer) {}

  void run(const std::vector<SourceFile>& files);
  TableCounts commit() { return out_.commit(); }

 private:
  FileReport start(const SourceFile& file) const;
  // The file's version; the first cycle a header names becomes the data's.
  int header(LineReader& lines, DataKind kind);
  void done(FileReport& report, Clock::time_point started);

  void read_points(const SourceFile& file);
  void read_airports(const SourceFile& file);
  void read_airways(const SourceFile& file);
  void write_airways();
  void read_procedures(const SourceFile& file);
  void write_waypoints();

  NavDbWriter out_;
  ImportObserver* observer_;
  Ticker ticker_;
  NavPointTable points_;
  LocalizerCourses courses_;
  std::unordered_map<std::string, AirportSite> sites_;
  AirwaySet airways_;
  std::unordered_set<std::string> procedure_airports_;
  CifpFile cifp_;
  ProcedureCounts procedure_totals_;
  const SourceFile* first_procedure_file_ = nullptr;
  std::string cycle_;
};

void Import::run(const std::vector<SourceFile>& files) {
  for (const DataKind kind : {DataKind::kFixes, DataKind::kNavaids}) {
    for (const SourceFile& file : files)
      if (file.kind == kind) read_points(file);
  }
  points_.finish();
  write_waypoints();
  for (const SourceFile& file : files)
    if (file.kind == DataKind::kAirports) read_airports(file);
  for (const SourceFile& file : files)
    if (file.kind == DataKind::kAirways) read_airways(file);
  write_airways();
  for (const SourceFile& file : files)
    if (file.kind == DataKind::kProcedures) read_procedures(file);
  if (first_procedure_file_ && procedure_totals_.resolved == 0 && procedure_totals_.unresolved > 0)
    throw DataError(first_procedure_file_->path, 0,
                    "none of the procedures' fixes was found; give the fix and navaid files "
                    "(earth_fix.dat, earth_nav.dat) as well");
  if (!cycle_.empty()) out_.metadata("cycle", cycle_);
}

int Import::header(LineReader& lines, DataKind kind) {
  const FileHeader header = read_header(lines, kind);
  if (cycle_.empty()) cycle_ = header.cycle;
  return header.version;
}

// Localizers are runway courses, not waypoints a route names.
void Import::write_waypoints() {
  for (const NavPoint& p : points_.points())
    if (p.kind != PointKind::kLocalizer) out_.waypoint(p.ident, {p.lat, p.lon}, p.type, p.region);
}

FileReport Import::start(const SourceFile& file) const {
  FileReport report;
  report.path = file.path;
  report.kind = file.kind;
  return report;
}

void Import::done(FileReport& report, Clock::time_point started) {
  report.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  if (observer_) observer_->file_done(report);
}

void Import::read_points(const SourceFile& file) {
  const auto started = Clock::now();
  FileReport report = start(file);
  LineReader lines(file.path);
  report.version = header(lines, file.kind);
  if (file.kind == DataKind::kFixes) {
    FixParser parser(report.version, points_);
    report.lines = walk_records(lines, parser, true, &ticker_).lines;
    report.records = parser.fixes();
  } else {
    NavaidParser parser(report.version, points_, courses_);
    report.lines = walk_records(lines, parser, true, &ticker_).lines;
    report.records = parser.navaids();
    report.skipped = parser.unknown();
  }
  done(report, started);
}

void Import::read_airports(const SourceFile& file) {
  const auto started = Clock::now();
  FileReport report = start(file);
  LineReader lines(file.path);
  report.version = header(lines, file.kind);
  AirportParser parser(courses_, [&](const AirportRecord& airport) {
    const auto [site, added] = sites_.try_emplace(airport.ident);
    if (!added) {
      ++report.duplicates;
      return;
    }
    site->second.reference = airport.reference;
    out_.airport(airport.ident, airport.name, airport.reference);
    for (const RunwayEnd& end : airport.runway_ends) {
      const std::string ident = "RW" + end.designator;
      out_.runway(airport.ident, ident, end.threshold, end.bearing);
      site->second.runways.emplace_back(ident, end.threshold);
    }
    ++report.records;
  });
  report.lines = walk_records(lines, parser, true, &ticker_).lines;
  parser.finish();
  done(report, started);
}

void Import::read_airways(const SourceFile& file) {
  const auto started = Clock::now();
  FileReport report = start(file);
  LineReader lines(file.path);
  report.version = header(lines, file.kind);
  AirwayParser parser(report.version, points_, airways_);
  report.lines = walk_records(lines, parser, true, &ticker_).lines;
  report.records = parser.segments();
  report.duplicates = parser.duplicates();
  report.unresolved = parser.unresolved();
  report.skipped = parser.skipped();
  if (report.unresolved > 0 && report.records == 0 && report.duplicates == 0)
    throw DataError(file.path, 0,
                    "none of its airway segments refers to a known fix or navaid; give the fix "
                    "and navaid files (earth_fix.dat, earth_nav.dat) as well");
  done(report, started);
}

void Import::write_airways() {
  chain_airways(airways_, [this](const AirwayRow& row) {
    out_.airway_row(row.route, row.waypoint->ident, row.waypoint->position, row.seqno,
                    row.restriction, row.segment_uid);
  });
}

void Import::read_procedures(const SourceFile& file) {
  const auto started = Clock::now();
  FileReport report = start(file);
  if (!first_procedure_file_) first_procedure_file_ = &file;
  if (!procedure_airports_.insert(file.airport).second) {
    report.duplicates = 1;  // an earlier file already gave this airport's procedures
    done(report, started);
    return;
  }
  LineReader lines(file.path);
  cifp_.clear();
  CifpParser parser(cifp_);
  report.lines = walk_records(lines, parser, false, &ticker_).lines;
  const auto site = sites_.find(file.airport);
  const ProcedureCounts counts =
      procedure_rows(cifp_, file.airport, site == sites_.end() ? nullptr : &site->second, points_,
                     [&](const ProcedureRow& row) {
                       out_.procedure_row(row.kind, file.airport, row.procedure, row.transition,
                                          row.seqno, row.fix, row.position, row.route_type);
                     });
  procedure_totals_.resolved += counts.resolved;
  procedure_totals_.unresolved += counts.unresolved;
  report.records = counts.rows;
  report.unresolved = counts.unresolved;
  report.skipped = cifp_.unknown;
  done(report, started);
}

}  // namespace

TableCounts import_navdata(const std::vector<std::string>& sources, const std::string& db_path,
                           ImportObserver* observer) {
  const std::vector<SourceFile> files = collect_sources(sources);
  Import import(db_path, observer);
  import.run(files);
  return import.commit();
}

}  // namespace core_calc::navimport
