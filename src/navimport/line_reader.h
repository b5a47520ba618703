// Lines of one data file, plain or gzip-compressed (recognised by its content, not
// its name), read in large blocks so that a file of any size needs little memory.
// A line's view stays valid until the next call; line ends "\n" and "\r\n" are
// removed. Read errors and damaged compression become SourceError / DataError.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace core_calc::navimport {

class LineReader {
 public:
  explicit LineReader(std::string path);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line, or false at the end of the file.
  bool next(std::string_view& line);
  // Number of the line last returned (1-based).
  std::size_t line_number() const { return line_number_; }
  const std::string& path() const { return path_; }

 private:
  bool fill();  // reads more bytes; false at the end of the file
  [[noreturn]] void fail_read() const;

  std::string path_;
  void* file_ = nullptr;  // gzFile
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // first unread byte
  std::size_t end_ = 0;    // one past the last byte read
  bool at_eof_ = false;
  std::size_t line_number_ = 0;
};

// The same interface over bytes already in memory (tests and fuzzing).
class TextLines {
 public:
  explicit TextLines(std::string_view text, std::string path = "<text>")
      : text_(text), path_(std::move(path)) {}

  bool next(std::string_view& line);
  std::size_t line_number() const { return line_number_; }
  const std::string& path() const { return path_; }

 private:
  std::string_view text_;
  std::string path_;
  std::size_t line_number_ = 0;
};

}  // namespace core_calc::navimport
