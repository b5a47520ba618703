#include "geo/cell_index.h"

#include <cmath>

namespace core_calc::geo {
namespace {

std::int64_t to_index(double whole) {
  if (std::isnan(whole)) throw std::invalid_argument("cannot convert float NaN to integer");
  if (std::isinf(whole)) throw std::overflow_error("cannot convert float infinity to integer");
  if (std::fabs(whole) >= kMaxCellIndex) throw std::overflow_error("grid cell index out of range");
  return static_cast<std::int64_t>(whole);
}

}  // namespace

std::int64_t floor_to_index(double quotient) {
  return to_index(std::floor(quotient));
}
std::int64_t ceil_to_index(double quotient) {
  return to_index(std::ceil(quotient));
}

double divide(double numerator, double denominator) {
  if (denominator == 0.0) throw ZeroDivision("float division by zero");
  return numerator / denominator;
}

CellKey cell_of(double lat, double lon, double grid_size) {
  return {floor_to_index(divide(lat, grid_size)), floor_to_index(divide(lon, grid_size))};
}

std::int64_t search_radius(double max_dist_km, double grid_size, bool round_up) {
  const double quotient = divide(max_dist_km, grid_size * 111.0);
  if (std::isnan(quotient)) throw std::invalid_argument("cannot convert float NaN to integer");
  if (std::isinf(quotient)) throw std::overflow_error("cannot convert float infinity to integer");
  // A radius wider than any grid can hold scans the same cells as this one.
  constexpr double kWidest = kMaxCellIndex;
  const double whole = round_up ? std::ceil(quotient) : std::floor(quotient);
  if (whole > kWidest) return static_cast<std::int64_t>(kWidest);
  if (whole < -kWidest) return -static_cast<std::int64_t>(kWidest);
  return static_cast<std::int64_t>(whole);
}

}  // namespace core_calc::geo
