// The wind reported for one airport: the direction as the service sent it (for
// display) and, when usable, the direction in whole degrees for ranking runways.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace core_calc::navdata {

struct WindReport {
  // What the service sent as the direction, with its kind: kNoReport when no
  // report was read, kText also for a report without a direction ("").
  enum class Kind { kNoReport, kText, kInteger, kUnsigned, kReal };
  Kind kind = Kind::kNoReport;
  std::string text;
  std::int64_t integer = 0;
  std::uint64_t unsigned_integer = 0;
  double real = 0.0;

  // Direction the wind blows from, 0 to 360; none for a variable wind, a missing
  // or unreadable direction, or a value outside that range.
  std::optional<int> direction_deg;
};

// The direction as a diagnostic line shows it: the text or number as sent, "N/A"
// without a report.
std::string wind_display_text(const WindReport& wind);

// Deepest nesting of arrays and objects accepted in a reply; deeper bodies are
// refused before parsing so no parser recursion depends on the service.
inline constexpr int kMaxJsonDepth = 64;

// The report in a body with status 200: member `icao_upper` -> "parsed" -> "wind"
// -> "direction". Anything unreadable gives the report read so far.
WindReport parse_wind_report(std::string_view body, const std::string& icao_upper);

}  // namespace core_calc::navdata
