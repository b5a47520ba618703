#include "navdata/wind_report.h"

#include <nlohmann/json.hpp>

#include "common/number_text.h"
#include "common/plan_texts.h"

namespace core_calc::navdata {
namespace {

using nlohmann::json;

// Scans brackets outside strings. Unbalanced closing brackets mean the body is
// not JSON at all, so they end the scan as well.
bool nesting_within(std::string_view body, int max_depth) {
  int depth = 0;
  bool in_string = false;
  bool escaped = false;
  for (const char c : body) {
    if (in_string) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > max_depth) return false;
    } else if (c == ']' || c == '}') {
      if (--depth < 0) return false;
    }
  }
  return true;
}

// The object under `key`: a missing member reads as an empty object, a member of
// any other kind makes the report unreadable (nullptr).
const json* object_member(const json& object, const char* key) {
  static const json kEmpty = json::object();
  const auto it = object.find(key);
  if (it == object.end()) return &kEmpty;
  return it->is_object() ? &*it : nullptr;
}

// Every decimal digit of the text, in order, as one number. Values above 360 are
// out of range whatever digits follow, so the reading saturates there instead of
// overflowing on long texts.
std::optional<int> direction_from_text(std::string_view text) {
  if (text.find("VRB") != std::string_view::npos) return std::nullopt;  // variable wind
  constexpr int kOutOfRange = 361;
  bool any_digit = false;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') continue;
    any_digit = true;
    value = value * 10 + (c - '0');
    if (value > 360) value = kOutOfRange;
  }
  if (!any_digit || value > 360) return std::nullopt;
  return value;
}

// A number gives its integer part; the range is checked on the value itself so
// that -0.5 or 360.5 are not mistaken for 0 or 360.
std::optional<int> direction_from_number(double value) {
  if (!(value >= 0.0 && value <= 360.0)) return std::nullopt;
  return static_cast<int>(value);
}

void read_direction(const json& wind, WindReport& report) {
  report.kind = WindReport::Kind::kText;  // a report without a direction shows ""
  const auto it = wind.find("direction");
  if (it == wind.end()) return;
  switch (it->type()) {
    case json::value_t::string:
      report.text = it->get<std::string>();
      report.direction_deg = direction_from_text(report.text);
      break;
    case json::value_t::number_integer:
      report.kind = WindReport::Kind::kInteger;
      report.integer = it->get<std::int64_t>();
      report.direction_deg = direction_from_number(static_cast<double>(report.integer));
      break;
    case json::value_t::number_unsigned:
      report.kind = WindReport::Kind::kUnsigned;
      report.unsigned_integer = it->get<std::uint64_t>();
      report.direction_deg = direction_from_number(static_cast<double>(report.unsigned_integer));
      break;
    case json::value_t::number_float:
      report.kind = WindReport::Kind::kReal;
      report.real = it->get<double>();
      report.direction_deg = direction_from_number(report.real);
      break;
    default:
      // null, booleans, arrays and objects are no direction: shown like a missing one.
      break;
  }
}

}  // namespace

WindReport parse_wind_report(std::string_view body, const std::string& icao_upper) {
  WindReport report;
  if (!nesting_within(body, kMaxJsonDepth)) return report;
  const json data = json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (data.is_discarded() || !data.is_object()) return report;
  const auto airport = data.find(icao_upper);
  if (airport == data.end() || !airport->is_object()) return report;
  const json* parsed = object_member(*airport, "parsed");
  if (!parsed) return report;
  const json* wind = object_member(*parsed, "wind");
  if (!wind) return report;
  read_direction(*wind, report);
  return report;
}

std::string wind_display_text(const WindReport& wind) {
  switch (wind.kind) {
    case WindReport::Kind::kText:
      return wind.text;
    case WindReport::Kind::kInteger:
      return std::to_string(wind.integer);
    case WindReport::Kind::kUnsigned:
      return std::to_string(wind.unsigned_integer);
    case WindReport::Kind::kReal:
      return float_text(wind.real);
    case WindReport::Kind::kNoReport:
      break;
  }
  return kNotAvailable;
}

}  // namespace core_calc::navdata
