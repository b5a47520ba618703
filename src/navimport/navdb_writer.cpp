#include "navimport/navdb_writer.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "navimport/import_errors.h"

namespace core_calc::navimport {
namespace {

constexpr const char* kSchema = R"sql(
CREATE TABLE airway_segments (route_identifier TEXT, waypoint_identifier TEXT,
    waypoint_latitude REAL, waypoint_longitude REAL, seqno INTEGER,
    direction_restriction TEXT, segment_uid INTEGER);
CREATE TABLE tbl_enroute_airways (route_identifier TEXT, waypoint_identifier TEXT,
    waypoint_latitude REAL, waypoint_longitude REAL, seqno INTEGER,
    direction_restriction TEXT);
CREATE TABLE airports (airport_identifier TEXT, airport_name TEXT,
    airport_ref_latitude REAL, airport_ref_longitude REAL);
CREATE TABLE tbl_runways (airport_identifier TEXT, runway_identifier TEXT,
    runway_latitude REAL, runway_longitude REAL, runway_magnetic_bearing REAL);
CREATE TABLE tbl_sids (airport_identifier TEXT, procedure_identifier TEXT,
    transition_identifier TEXT, seqno INTEGER, waypoint_identifier TEXT,
    waypoint_latitude REAL, waypoint_longitude REAL, route_type TEXT);
CREATE TABLE tbl_stars (airport_identifier TEXT, procedure_identifier TEXT,
    transition_identifier TEXT, seqno INTEGER, waypoint_identifier TEXT,
    waypoint_latitude REAL, waypoint_longitude REAL, route_type TEXT);
CREATE TABLE tbl_iaps (airport_identifier TEXT, procedure_identifier TEXT,
    transition_identifier TEXT, seqno INTEGER, waypoint_identifier TEXT,
    waypoint_latitude REAL, waypoint_longitude REAL, route_type TEXT);
CREATE TABLE waypoints (waypoint_identifier TEXT, waypoint_latitude REAL,
    waypoint_longitude REAL, waypoint_type TEXT, icao_region TEXT);
CREATE TABLE navdata_metadata (key TEXT PRIMARY KEY, value TEXT);
)sql";

constexpr const char* kIndexes = R"sql(
CREATE INDEX idx_airway_segments_uid_seq ON airway_segments (segment_uid, seqno);
CREATE INDEX idx_enroute_airways_route ON tbl_enroute_airways (route_identifier, seqno);
CREATE INDEX idx_airports_ident ON airports (airport_identifier);
CREATE INDEX idx_runways_apt ON tbl_runways (airport_identifier);
CREATE INDEX idx_sids_apt ON tbl_sids (airport_identifier);
CREATE INDEX idx_stars_apt ON tbl_stars (airport_identifier);
CREATE INDEX idx_iaps_apt ON tbl_iaps (airport_identifier);
CREATE INDEX idx_waypoints_ident ON waypoints (waypoint_identifier);
)sql";

enum Table {
  kAirways,
  kEnroute,
  kAirports,
  kRunways,
  kSids,
  kStars,
  kIaps,
  kWaypoints,
  kMetadata,
  kTables
};
constexpr const char* kTableNames[kTables] = {
    "airway_segments", "tbl_enroute_airways", "airports", "tbl_runways",
    "tbl_sids",        "tbl_stars",           "tbl_iaps", "waypoints",
    "navdata_metadata"};
constexpr const char* kInserts[kTables] = {"INSERT INTO airway_segments VALUES (?,?,?,?,?,?,?)",
                                           "INSERT INTO tbl_enroute_airways VALUES (?,?,?,?,?,?)",
                                           "INSERT INTO airports VALUES (?,?,?,?)",
                                           "INSERT INTO tbl_runways VALUES (?,?,?,?,?)",
                                           "INSERT INTO tbl_sids VALUES (?,?,?,?,?,?,?,?)",
                                           "INSERT INTO tbl_stars VALUES (?,?,?,?,?,?,?,?)",
                                           "INSERT INTO tbl_iaps VALUES (?,?,?,?,?,?,?,?)",
                                           "INSERT INTO waypoints VALUES (?,?,?,?,?)",
                                           "INSERT OR REPLACE INTO navdata_metadata VALUES (?,?)"};

// A file beside `target` that did not exist before; created empty.
std::string new_file_beside(const std::string& target) {
  for (int n = 0;; ++n) {
    const std::string path =
        target + ".import-" + std::to_string(::getpid()) + "-" + std::to_string(n);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    if (errno != EEXIST || n > 1000)
      throw OutputError("cannot create a file beside " + target + ": " + std::strerror(errno));
  }
}

void sync_path(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return;  // not every file system lets a directory be opened
  ::fsync(fd);
  ::close(fd);
}

// The new file until it is renamed into place: deleted unless kept.
struct TempFile {
  std::string path;
  bool keep = false;
  ~TempFile() {
    if (!keep) std::remove(path.c_str());
  }
};

// The connection and its prepared inserts, released in the right order.
struct Connection {
  sqlite3* db = nullptr;
  sqlite3_stmt* insert[kTables] = {};

  ~Connection() { close(); }
  void close() {
    for (sqlite3_stmt*& s : insert) {
      sqlite3_finalize(s);
      s = nullptr;
    }
    sqlite3_close(db);
    db = nullptr;
  }
};

}  // namespace

class NavDbWriter::Impl {
 public:
  explicit Impl(std::string target) : target_(std::move(target)), temp_{new_file_beside(target_)} {
    if (sqlite3_open_v2(temp_.path.c_str(), &conn_.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
      fail("cannot open the new database");
    // One writer, one transaction, a file nobody else sees yet: no journal is needed,
    // and the file is flushed once before it is renamed into place.
    exec(
        "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE;"
        "PRAGMA cache_size=-65536; PRAGMA temp_store=MEMORY");
    exec("BEGIN");
    exec(kSchema);
    for (int t = 0; t < kTables; ++t)
      if (sqlite3_prepare_v2(conn_.db, kInserts[t], -1, &conn_.insert[t], nullptr) != SQLITE_OK)
        fail("cannot prepare the inserts");
  }

  sqlite3_stmt* row(Table t) {
    ++counts_[t];
    return conn_.insert[t];
  }

  void text(sqlite3_stmt* s, int i, std::string_view v) {
    sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
  }
  void text_or_null(sqlite3_stmt* s, int i, std::string_view v) {
    if (v.empty())
      sqlite3_bind_null(s, i);
    else
      text(s, i, v);
  }

  void step(sqlite3_stmt* s) {
    if (sqlite3_step(s) != SQLITE_DONE) fail("cannot write a row to");
    sqlite3_reset(s);
  }

  TableCounts commit() {
    exec(kIndexes);
    exec("COMMIT");
    conn_.close();
    sync_path(temp_.path, O_RDONLY);
    if (std::rename(temp_.path.c_str(), target_.c_str()) != 0)
      throw OutputError("cannot rename " + temp_.path + " to " + target_ + ": " +
                        std::strerror(errno));
    temp_.keep = true;
    const std::filesystem::path dir = std::filesystem::path(target_).parent_path();
    sync_path(dir.empty() ? "." : dir.string(), O_RDONLY | O_DIRECTORY);
    TableCounts counts;
    for (int t = 0; t < kTables; ++t) counts.emplace_back(kTableNames[t], counts_[t]);
    return counts;
  }

 private:
  void exec(const char* sql) {
    if (sqlite3_exec(conn_.db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail("cannot write");
  }

  [[noreturn]] void fail(const char* what) {
    throw OutputError(std::string(what) + " " + temp_.path + ": " +
                      (conn_.db ? sqlite3_errmsg(conn_.db) : "out of memory"));
  }

  std::string target_;
  TempFile temp_;
  Connection conn_;
  std::size_t counts_[kTables] = {};
};

NavDbWriter::NavDbWriter(std::string db_path) : impl_(std::make_unique<Impl>(std::move(db_path))) {}

NavDbWriter::~NavDbWriter() = default;

void NavDbWriter::airway_row(std::string_view route, std::string_view waypoint, LatLon position,
                             long seqno, std::string_view restriction, long segment_uid) {
  for (const Table t : {kAirways, kEnroute}) {
    sqlite3_stmt* s = impl_->row(t);
    impl_->text(s, 1, route);
    impl_->text(s, 2, waypoint);
    sqlite3_bind_double(s, 3, position.lat);
    sqlite3_bind_double(s, 4, position.lon);
    sqlite3_bind_int64(s, 5, seqno);
    impl_->text_or_null(s, 6, restriction);
    if (t == kAirways) sqlite3_bind_int64(s, 7, segment_uid);
    impl_->step(s);
  }
}

void NavDbWriter::airport(std::string_view ident, std::string_view name,
                          std::optional<LatLon> reference) {
  sqlite3_stmt* s = impl_->row(kAirports);
  impl_->text(s, 1, ident);
  impl_->text_or_null(s, 2, name);
  if (reference) {
    sqlite3_bind_double(s, 3, reference->lat);
    sqlite3_bind_double(s, 4, reference->lon);
  } else {
    sqlite3_bind_null(s, 3);
    sqlite3_bind_null(s, 4);
  }
  impl_->step(s);
}

void NavDbWriter::runway(std::string_view airport, std::string_view ident, LatLon threshold,
                         double bearing) {
  sqlite3_stmt* s = impl_->row(kRunways);
  impl_->text(s, 1, airport);
  impl_->text(s, 2, ident);
  sqlite3_bind_double(s, 3, threshold.lat);
  sqlite3_bind_double(s, 4, threshold.lon);
  sqlite3_bind_double(s, 5, bearing);
  impl_->step(s);
}

void NavDbWriter::procedure_row(ProcedureKind kind, std::string_view airport,
                                std::string_view procedure,
                                std::optional<std::string_view> transition, long seqno,
                                std::string_view fix, LatLon position, char route_type) {
  const Table t = kind == ProcedureKind::kSid    ? kSids
                  : kind == ProcedureKind::kStar ? kStars
                                                 : kIaps;
  sqlite3_stmt* s = impl_->row(t);
  impl_->text(s, 1, airport);
  impl_->text(s, 2, procedure);
  if (transition)
    impl_->text(s, 3, *transition);
  else
    sqlite3_bind_null(s, 3);
  sqlite3_bind_int64(s, 4, seqno);
  impl_->text(s, 5, fix);
  sqlite3_bind_double(s, 6, position.lat);
  sqlite3_bind_double(s, 7, position.lon);
  impl_->text(s, 8, std::string_view(&route_type, 1));
  impl_->step(s);
}

TableCounts NavDbWriter::commit() {
  return impl_->commit();
}

void NavDbWriter::waypoint(std::string_view ident, LatLon position, WaypointType type,
                           std::string_view region) {
  sqlite3_stmt* s = impl_->row(kWaypoints);
  impl_->text(s, 1, ident);
  sqlite3_bind_double(s, 2, position.lat);
  sqlite3_bind_double(s, 3, position.lon);
  impl_->text(s, 4, waypoint_type_name(type));
  impl_->text_or_null(s, 5, region);
  impl_->step(s);
}

void NavDbWriter::metadata(std::string_view key, std::string_view value) {
  sqlite3_stmt* s = impl_->row(kMetadata);
  impl_->text(s, 1, key);
  impl_->text(s, 2, value);
  impl_->step(s);
}

}  // namespace core_calc::navimport
