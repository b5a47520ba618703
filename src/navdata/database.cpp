#include "navdata/database.h"

#include <sqlite3.h>

#include <cctype>
#include <cstdlib>
#include <new>

#include "navdata/fork_safe_vfs.h"

namespace core_calc::navdata {

namespace {

// Enough for every query the readers form against one database, with room for
// the table names a host may pass; beyond it statements are simply not kept.
constexpr std::size_t kMaxCachedStatements = 16;

}  // namespace

Database::Database(const std::string& path) {
  if (path.find('\0') != std::string::npos) throw std::invalid_argument("embedded null byte");
  // A connection serves one thread at a time, so SQLite's own per-connection
  // locking is not needed. The file layer keeps a fork from copying a lock call
  // in progress.
  const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                                 fork_safe_vfs());
  if (rc != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    sqlite3_close(db_);
    db_ = nullptr;
    throw DatabaseError(message);
  }
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
}

Database::Database(Missing missing) : missing_reason_(std::move(missing.reason)) {}

Database::~Database() {
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  sqlite3_close_v2(db_);
}

sqlite3_stmt* Database::take_statement(const std::string& sql) const {
  for (auto it = statements_.begin(); it != statements_.end(); ++it) {
    if (it->first != sql) continue;
    sqlite3_stmt* stmt = it->second;
    statements_.erase(it);
    return stmt;
  }
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v3(db_, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                         &stmt, nullptr) != SQLITE_OK)
    throw DatabaseError(sqlite3_errmsg(db_));
  return stmt;  // null for a text without a statement; stepping it fails
}

void Database::give_back(std::string sql, sqlite3_stmt* stmt) const {
  if (!stmt) return;
  sqlite3_reset(stmt);  // ends the read transaction a partly stepped statement holds
  sqlite3_clear_bindings(stmt);
  try {
    if (statements_.size() < kMaxCachedStatements) {
      statements_.emplace_back(std::move(sql), stmt);
      return;
    }
  } catch (const std::bad_alloc&) {
  }
  sqlite3_finalize(stmt);
}

Statement::Statement(const Database& db, std::string_view sql) : db_(db), sql_(sql) {
  if (!db.handle()) throw DatabaseError(db.missing_reason_);
  stmt_ = db.take_statement(sql_);
}

Statement::~Statement() {
  db_.give_back(std::move(sql_), stmt_);
}

void Statement::fail() const {
  throw DatabaseError(sqlite3_errmsg(db_.handle()));
}

void Statement::bind_text(int index, std::string_view text) {
  if (sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()),
                        SQLITE_TRANSIENT) != SQLITE_OK)
    fail();
}

bool Statement::step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  fail();
}

int Statement::column_count() const {
  return sqlite3_column_count(stmt_);
}

std::string Statement::column_name(int col) const {
  const char* name = sqlite3_column_name(stmt_, col);
  return name ? name : "";
}

SqlValue::Kind Statement::column_kind(int col) const {
  switch (sqlite3_column_type(stmt_, col)) {
    case SQLITE_INTEGER:
      return SqlValue::Kind::kInteger;
    case SQLITE_FLOAT:
      return SqlValue::Kind::kReal;
    case SQLITE_TEXT:
      return SqlValue::Kind::kText;
    case SQLITE_BLOB:
      return SqlValue::Kind::kBlob;
    default:
      return SqlValue::Kind::kNull;
  }
}

std::int64_t Statement::column_int(int col) const {
  return sqlite3_column_int64(stmt_, col);
}
double Statement::column_real(int col) const {
  return sqlite3_column_double(stmt_, col);
}

std::string_view Statement::column_text(int col) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
  if (!text) return {};
  return {text, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col))};
}

SqlValue Statement::column_value(int col) const {
  SqlValue v;
  v.kind = column_kind(col);
  switch (v.kind) {
    case SqlValue::Kind::kInteger:
      v.integer = column_int(col);
      break;
    case SqlValue::Kind::kReal:
      v.real = column_real(col);
      break;
    case SqlValue::Kind::kText:
      v.text = std::string(column_text(col));
      break;
    case SqlValue::Kind::kBlob: {
      const auto* blob = static_cast<const char*>(sqlite3_column_blob(stmt_, col));
      v.text.assign(blob ? blob : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col)));
      break;
    }
    case SqlValue::Kind::kNull:
      break;
  }
  return v;
}

bool text_to_real(std::string_view text, double& out) {
  std::size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  if (b == e) return false;
  std::string trimmed(text.substr(b, e - b));
  // Digit group separators are accepted between digits, as the host's float() does.
  std::string cleaned;
  for (std::size_t i = 0; i < trimmed.size(); ++i) {
    const char c = trimmed[i];
    if (c == '_') {
      const bool between = i > 0 && i + 1 < trimmed.size() &&
                           std::isdigit(static_cast<unsigned char>(trimmed[i - 1])) &&
                           std::isdigit(static_cast<unsigned char>(trimmed[i + 1]));
      if (!between) return false;
      continue;
    }
    cleaned += c;
  }
  // Hexadecimal floats are not numbers in this sense.
  for (char c : cleaned)
    if (c == 'x' || c == 'X') return false;
  char* end = nullptr;
  out = std::strtod(cleaned.c_str(), &end);
  return end == cleaned.c_str() + cleaned.size();
}

bool to_real(const SqlValue& value, double& out) {
  switch (value.kind) {
    case SqlValue::Kind::kInteger:
      out = static_cast<double>(value.integer);
      return true;
    case SqlValue::Kind::kReal:
      out = value.real;
      return true;
    case SqlValue::Kind::kText:
      return text_to_real(value.text, out);
    default:
      return false;
  }
}

}  // namespace core_calc::navdata
