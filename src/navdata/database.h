// RAII access to the navigation database: read-only connections, statements with
// bound parameters, values kept with their stored kinds.
//
// A connection is used by one thread at a time (the connection pool hands it out
// that way) and keeps the statements it prepared: a Statement takes the prepared
// statement for its SQL text when there is one and gives it back, reset and with
// its bindings cleared, when it ends. An idle connection therefore never holds a
// statement in progress, and with it no read lock on the file.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace core_calc::navdata {

// How long a reading call waits for a writer's lock before it fails, as long as
// a default connection of the host's own sqlite3 module waits.
inline constexpr int kBusyTimeoutMs = 5000;

// Any failure reported by SQLite; what() is SQLite's own message text.
struct DatabaseError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A stored value with its kind, as a row delivers it.
struct SqlValue {
  enum class Kind { kNull, kInteger, kReal, kText, kBlob };
  Kind kind = Kind::kNull;
  std::int64_t integer = 0;
  double real = 0.0;
  std::string text;  // text or blob bytes

  bool is_null() const { return kind == Kind::kNull; }
};

class Database {
 public:
  // Opens the file read-only: a missing file is never created, nothing is ever
  // written. Failing to open throws DatabaseError; a path containing a NUL
  // character throws std::invalid_argument, since no file can have that name.
  explicit Database(const std::string& path);

  // A database that could not be opened because its file does not exist: every
  // statement on it fails with `reason`, so a reader meets the failure where its
  // first query would have run.
  struct Missing {
    std::string reason;
  };
  explicit Database(Missing missing);

  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* handle() const { return db_; }

 private:
  friend class Statement;
  // The prepared statement for `sql`, from the cache or prepared now.
  sqlite3_stmt* take_statement(const std::string& sql) const;
  // Resets the statement and keeps it for the next use of `sql`.
  void give_back(std::string sql, sqlite3_stmt* stmt) const;

  sqlite3* db_ = nullptr;
  std::string missing_reason_;
  // Idle prepared statements by SQL text; one thread uses the connection at a time.
  mutable std::vector<std::pair<std::string, sqlite3_stmt*>> statements_;
};

class Statement {
 public:
  Statement(const Database& db, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  void bind_text(int index, std::string_view text);  // 1-based
  bool step();                                       // true while a row is available

  int column_count() const;
  std::string column_name(int col) const;
  SqlValue::Kind column_kind(int col) const;
  std::int64_t column_int(int col) const;
  double column_real(int col) const;
  std::string_view column_text(int col) const;  // valid until the next step
  SqlValue column_value(int col) const;

 private:
  [[noreturn]] void fail() const;
  const Database& db_;
  std::string sql_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Real-number reading of a stored value as the host's float() would do it:
// integers and reals convert, text must spell a number, null and blobs fail.
// Returns false when the value is not a number.
bool to_real(const SqlValue& value, double& out);
bool text_to_real(std::string_view text, double& out);

}  // namespace core_calc::navdata
