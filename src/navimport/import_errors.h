// The three ways an import fails. Each names what it is about, so the caller can
// tell its user which file and which line to look at; none of them leaves a
// database behind.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace core_calc::navimport {

// A line a parser cannot read. Parsers know only the line, so they throw this and
// the file's reader adds the file and the line number (see DataError).
struct LineError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Damaged data: what() is "PATH:LINE: reason" (LINE 0 when the file as a whole is
// at fault, then "PATH: reason").
class DataError : public std::runtime_error {
 public:
  DataError(std::string path, std::size_t line, const std::string& reason);

  const std::string& path() const { return path_; }
  std::size_t line() const { return line_; }

 private:
  std::string path_;
  std::size_t line_;
};

// A source that cannot be found or read: errno_value is the system's error number.
class SourceError : public std::runtime_error {
 public:
  SourceError(std::string path, int errno_value, const std::string& reason);

  const std::string& path() const { return path_; }
  int errno_value() const { return errno_; }

 private:
  std::string path_;
  int errno_;
};

// The database cannot be written (directory missing, disk full, SQLite failure).
struct OutputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace core_calc::navimport
