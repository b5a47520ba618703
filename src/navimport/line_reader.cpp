#include "navimport/line_reader.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>

#include "navimport/import_errors.h"

namespace core_calc::navimport {
namespace {

constexpr std::size_t kBlock = 1 << 20;

gzFile as_gz(void* file) {
  return static_cast<gzFile>(file);
}

std::string_view without_cr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

LineReader::LineReader(std::string path) : path_(std::move(path)) {
  errno = 0;
  gzFile file = gzopen(path_.c_str(), "rb");
  if (!file) {
    const int err = errno ? errno : ENOMEM;
    throw SourceError(path_, err, std::strerror(err));
  }
  gzbuffer(file, 256 * 1024);
  file_ = file;
  buffer_.resize(kBlock);
}

LineReader::~LineReader() {
  if (file_) gzclose_r(as_gz(file_));
}

void LineReader::fail_read() const {
  int code = Z_OK;
  const char* message = gzerror(as_gz(file_), &code);
  if (code == Z_ERRNO) throw SourceError(path_, errno, std::strerror(errno));
  throw DataError(path_, 0, std::string("damaged compressed data: ") + message);
}

bool LineReader::fill() {
  if (at_eof_) return false;
  if (begin_ > 0) {  // keep the unfinished line at the front
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);  // a very long line
  const std::size_t room = buffer_.size() - end_;
  const int got = gzread(as_gz(file_), buffer_.data() + end_, static_cast<unsigned>(room));
  if (got < 0) fail_read();
  if (got == 0) {
    // A compressed file cut short reads as a clean end unless asked.
    int code = Z_OK;
    gzerror(as_gz(file_), &code);
    if (code != Z_OK && code != Z_BUF_ERROR) fail_read();
    if (code == Z_BUF_ERROR) throw DataError(path_, 0, "compressed data ends unexpectedly");
    at_eof_ = true;
    return false;
  }
  end_ += static_cast<std::size_t>(got);
  return true;
}

bool LineReader::next(std::string_view& line) {
  for (;;) {
    const char* start = buffer_.data() + begin_;
    const void* nl = begin_ < end_ ? std::memchr(start, '\n', end_ - begin_) : nullptr;
    if (nl) {
      const std::size_t len = static_cast<std::size_t>(static_cast<const char*>(nl) - start);
      line = without_cr(std::string_view(start, len));
      begin_ += len + 1;
      ++line_number_;
      return true;
    }
    if (!fill()) {
      if (begin_ == end_) return false;
      line = without_cr(std::string_view(buffer_.data() + begin_, end_ - begin_));
      begin_ = end_;
      ++line_number_;
      return true;
    }
  }
}

bool TextLines::next(std::string_view& line) {
  if (text_.empty()) return false;
  const std::size_t nl = text_.find('\n');
  if (nl == std::string_view::npos) {
    line = without_cr(text_);
    text_ = {};
  } else {
    line = without_cr(text_.substr(0, nl));
    text_.remove_prefix(nl + 1);
  }
  ++line_number_;
  return true;
}

}  // namespace core_calc::navimport
