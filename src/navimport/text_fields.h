// Reading the fields of one data line without copying: the X-Plane formats separate
// fields by blanks (or by commas in procedure files), names may run to the end of
// the line, and every number is read in full or the line is damaged.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace core_calc::navimport {

// Blank-separated fields of a line. Only the first kMax are kept; rest() still
// reaches the end of the line.
struct Fields {
  static constexpr std::size_t kMax = 32;
  std::array<std::string_view, kMax> at;
  std::size_t count = 0;
  std::string_view line;

  // The line from field `i` to its end, trailing blanks removed; empty past the end.
  std::string_view rest(std::size_t i) const;
};

void split_blanks(std::string_view line, Fields& out);

// Comma-separated fields (blanks around each field removed). Returns the count; at
// most `max` are stored, the last one holding the remainder of the text.
std::size_t split_commas(std::string_view text, std::string_view* out, std::size_t max);

std::string_view trim(std::string_view text);

// Whole-text numbers: a leading '+' is allowed, anything left over is not.
bool parse_real(std::string_view text, double& out);
bool parse_integer(std::string_view text, long& out);

// The same, throwing LineError that names `what` and quotes the text.
double real_field(std::string_view text, const char* what);
long integer_field(std::string_view text, const char* what);

// Degrees north/east; outside [-90, 90] / [-180, 180] is damage, not data.
double latitude_field(std::string_view text);
double longitude_field(std::string_view text);
void check_position(double lat, double lon);

// `fields.count` must be at least `needed`; otherwise LineError naming the record.
void require_fields(const Fields& fields, std::size_t needed, const char* record);

// The text in single quotes, as UTF-8, for messages.
std::string quote(std::string_view text);

// Text as UTF-8: valid UTF-8 is kept, anything else is read as Latin-1 (older data
// files carry names in that encoding).
std::string utf8_text(std::string_view text);

}  // namespace core_calc::navimport
