// Text forms of numbers as the host language writes them, so printed lines and
// returned texts read exactly like the host's own str() of the same value.
#pragma once

#include <cstdint>
#include <string>

namespace core_calc {

// Shortest text that reads back as the same double, with at least one digit after
// the point in fixed notation ("100.0", "0.1", "1e+16", "1.5e-05", "inf", "nan").
std::string float_text(double value);

// Fixed-point text with the given number of decimals, rounded exactly ("12.3").
std::string fixed_text(double value, int decimals);

// The integer part of a value (truncated toward zero) in decimal digits, however
// large: 812.97 gives "812", -0.5 gives "0".
std::string whole_number_text(double value);

inline std::string int_text(std::int64_t value) {
  return std::to_string(value);
}

}  // namespace core_calc
