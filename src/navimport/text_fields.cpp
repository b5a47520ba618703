#include "navimport/text_fields.h"

#include <charconv>
#include <cmath>

#include "navimport/import_errors.h"

namespace core_calc::navimport {
namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view without_plus(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  return text;
}

// Length of the UTF-8 sequence starting at `p`, or 0 when it is not valid.
std::size_t utf8_sequence(const unsigned char* p, std::size_t left) {
  const unsigned char c = p[0];
  std::size_t n = 0;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2;
  else if (c >= 0xE0 && c <= 0xEF)
    n = 3;
  else if (c >= 0xF0 && c <= 0xF4)
    n = 4;
  else
    return 0;
  if (left < n) return 0;
  for (std::size_t i = 1; i < n; ++i)
    if ((p[i] & 0xC0) != 0x80) return 0;
  return n;
}

}  // namespace

std::string_view Fields::rest(std::size_t i) const {
  if (i >= count || i >= kMax) return {};
  const std::size_t from = static_cast<std::size_t>(at[i].data() - line.data());
  return trim(line.substr(from));
}

void split_blanks(std::string_view line, Fields& out) {
  out.line = line;
  out.count = 0;
  std::size_t i = 0;
  const std::size_t n = line.size();
  while (i < n) {
    while (i < n && is_blank(line[i])) ++i;
    if (i == n) break;
    const std::size_t start = i;
    while (i < n && !is_blank(line[i])) ++i;
    if (out.count < Fields::kMax) out.at[out.count] = line.substr(start, i - start);
    ++out.count;
  }
}

std::size_t split_commas(std::string_view text, std::string_view* out, std::size_t max) {
  std::size_t count = 0;
  std::size_t start = 0;
  while (count < max) {
    const std::size_t comma = count + 1 == max ? std::string_view::npos : text.find(',', start);
    const std::string_view piece =
        comma == std::string_view::npos ? text.substr(start) : text.substr(start, comma - start);
    out[count++] = trim(piece);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return count;
}

std::string_view trim(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

bool parse_real(std::string_view text, double& out) {
  text = without_plus(text);
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(out);
}

bool parse_integer(std::string_view text, long& out) {
  text = without_plus(text);
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

double real_field(std::string_view text, const char* what) {
  double value = 0.0;
  if (!parse_real(text, value))
    throw LineError(std::string(what) + " " + quote(text) + " is not a number");
  return value;
}

long integer_field(std::string_view text, const char* what) {
  long value = 0;
  if (!parse_integer(text, value))
    throw LineError(std::string(what) + " " + quote(text) + " is not a whole number");
  return value;
}

double latitude_field(std::string_view text) {
  const double lat = real_field(text, "latitude");
  if (lat < -90.0 || lat > 90.0) throw LineError("latitude " + quote(text) + " is out of range");
  return lat;
}

double longitude_field(std::string_view text) {
  const double lon = real_field(text, "longitude");
  if (lon < -180.0 || lon > 180.0) throw LineError("longitude " + quote(text) + " is out of range");
  return lon;
}

void check_position(double lat, double lon) {
  if (lat < -90.0 || lat > 90.0 || lon < -180.0 || lon > 180.0)
    throw LineError("coordinates out of range");
}

void require_fields(const Fields& fields, std::size_t needed, const char* record) {
  if (fields.count < needed)
    throw LineError(std::string(record) + " has " + std::to_string(fields.count) + " fields, " +
                    std::to_string(needed) + " expected");
}

std::string quote(std::string_view text) {
  std::string out(1, '\'');
  out += utf8_text(text);
  out += '\'';
  return out;
}

std::string utf8_text(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t n = utf8_sequence(p + i, text.size() - i);
    if (n == 0) break;
    i += n;
  }
  if (i == text.size()) return std::string(text);
  std::string out;
  out.reserve(text.size() * 2);
  for (const unsigned char c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace core_calc::navimport
