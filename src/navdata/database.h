// RAII access to the navigation database: one connection per reading call,
// statements with bound parameters, values kept with their stored kinds.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace core_calc::navdata {

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
  // Opens read-write and creates a missing file, like a default connection.
  explicit Database(const std::string& path);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  sqlite3* handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
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
  sqlite3* db_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Real-number reading of a stored value as the host's float() would do it:
// integers and reals convert, text must spell a number, null and blobs fail.
// Returns false when the value is not a number.
bool to_real(const SqlValue& value, double& out);
bool text_to_real(std::string_view text, double& out);

}  // namespace core_calc::navdata
