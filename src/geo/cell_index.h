// Conversion of coordinates to whole-number grid cells. The rules follow floor
// division of reals followed by conversion to an integer: a NaN or infinite
// quotient cannot become a cell index and is reported, never wrapped.
#pragma once

#include <compare>
#include <cstdint>
#include <stdexcept>

namespace core_calc::geo {

// Raised for a division by a zero grid size.
struct ZeroDivision : std::domain_error {
  using std::domain_error::domain_error;
};

struct CellKey {
  std::int64_t x;  // from the latitude
  std::int64_t y;  // from the longitude
  auto operator<=>(const CellKey&) const = default;
};

// Largest magnitude of a cell index; beyond it no real grid can have cells.
inline constexpr double kMaxCellIndex = 2305843009213693952.0;  // 2^61

std::int64_t floor_to_index(double quotient);
std::int64_t ceil_to_index(double quotient);
double divide(double numerator, double denominator);

// Cell of a position for cells of grid_size degrees.
CellKey cell_of(double lat, double lon, double grid_size);

// Number of cell rings around the own cell that a query of max_dist_km scans.
// `round_up` selects the ceiling of the quotient instead of its floor.
std::int64_t search_radius(double max_dist_km, double grid_size, bool round_up);

}  // namespace core_calc::geo
