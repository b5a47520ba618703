// Fuzz target: the weather service's reply body as the wind-report parser reads it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "navdata/wind_report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  const core_calc::navdata::WindReport report = core_calc::navdata::parse_wind_report(body, "KJFK");
  // A direction is only ever given within the compass.
  if (report.direction_deg && (*report.direction_deg < 0 || *report.direction_deg > 360))
    __builtin_trap();
  return 0;
}
