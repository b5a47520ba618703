// Small navigation databases for the C++ tests, written row by row into a
// temporary file that is removed with the object.
#pragma once

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace core_calc::testing {

struct Fix {
  std::string name;
  double lat;
  double lon;
};

class TestNavDb {
 public:
  explicit TestNavDb(const std::string& name)
      : path_((std::filesystem::temp_directory_path() /
               (name + "-" + std::to_string(::getpid()) + ".db"))
                  .string()) {
    std::filesystem::remove(path_);
    if (sqlite3_open(path_.c_str(), &db_) != SQLITE_OK) throw std::runtime_error("cannot open");
    exec("PRAGMA journal_mode = MEMORY");  // test files need no durability
    exec("PRAGMA synchronous = OFF");
    const char* procedure =
        "(airport_identifier, procedure_identifier, transition_identifier, "
        "seqno, waypoint_identifier, waypoint_latitude, waypoint_longitude)";
    exec(
        "CREATE TABLE airway_segments (route_identifier, waypoint_identifier, "
        "waypoint_latitude, waypoint_longitude, seqno, direction_restriction, segment_uid)");
    exec("CREATE TABLE airports (airport_identifier, airport_ref_latitude, airport_ref_longitude)");
    exec(
        "CREATE TABLE tbl_runways (airport_identifier, runway_identifier, runway_latitude, "
        "runway_longitude, runway_magnetic_bearing)");
    for (const char* table : {"tbl_sids", "tbl_stars", "tbl_iaps"})
      exec(std::string("CREATE TABLE ") + table + " " + procedure);
  }
  ~TestNavDb() {
    sqlite3_close(db_);
    std::filesystem::remove(path_);
  }
  TestNavDb(const TestNavDb&) = delete;
  TestNavDb& operator=(const TestNavDb&) = delete;

  const std::string& path() const { return path_; }

  void airway(const std::string& route, int segment, const std::vector<Fix>& fixes) {
    for (std::size_t i = 0; i < fixes.size(); ++i)
      exec("INSERT INTO airway_segments VALUES ('" + route + "', '" + fixes[i].name + "', " +
           num(fixes[i].lat) + ", " + num(fixes[i].lon) + ", " + std::to_string(10 * (i + 1)) +
           ", NULL, " + std::to_string(segment) + ")");
  }
  void runway(const std::string& airport, const std::string& runway, double bearing) {
    exec("INSERT INTO tbl_runways VALUES ('" + airport + "', '" + runway + "', NULL, NULL, " +
         num(bearing) + ")");
  }
  void procedure(const std::string& table, const std::string& airport, const std::string& name,
                 const std::string& transition, const std::vector<Fix>& fixes) {
    for (std::size_t i = 0; i < fixes.size(); ++i)
      exec("INSERT INTO " + table + " VALUES ('" + airport + "', '" + name + "', " +
           (transition.empty() ? std::string("NULL") : "'" + transition + "'") + ", " +
           std::to_string(10 * (i + 1)) + ", '" + fixes[i].name + "', " + num(fixes[i].lat) + ", " +
           num(fixes[i].lon) + ")");
  }

 private:
  static std::string num(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", value);
    return buf;
  }
  void exec(const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error ? error : "sqlite error";
      sqlite3_free(error);
      throw std::runtime_error(message + ": " + sql);
    }
  }

  std::string path_;
  sqlite3* db_ = nullptr;
};

}  // namespace core_calc::testing
