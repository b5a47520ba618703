// Great-circle distance, initial bearing and turn angle on a spherical Earth.
// Every distance in the system comes from haversine_km, so the operation order
// below is part of the contract: cached values elsewhere must match it bit for bit.
#pragma once

#include <cmath>
#include <numbers>

namespace core_calc::geo {

inline constexpr double kEarthRadiusKm = 6371.0;
inline constexpr double kDegToRad = std::numbers::pi / 180.0;
inline constexpr double kRadToDeg = 180.0 / std::numbers::pi;

inline double haversine_km(double lat1, double lon1, double lat2, double lon2) {
  const double phi1 = lat1 * kDegToRad, lam1 = lon1 * kDegToRad;
  const double phi2 = lat2 * kDegToRad, lam2 = lon2 * kDegToRad;
  const double dlat = phi2 - phi1;
  const double dlon = lam2 - lam1;
  const double s_lat = std::sin(dlat / 2.0);
  const double s_lon = std::sin(dlon / 2.0);
  const double a = s_lat * s_lat + std::cos(phi1) * std::cos(phi2) * (s_lon * s_lon);
  return kEarthRadiusKm * (2.0 * std::asin(std::sqrt(a)));
}

// Remainder with the sign of the divisor, as the host language's float modulo.
inline double floor_mod(double value, double divisor) {
  double mod = std::fmod(value, divisor);
  if (mod != 0.0) {
    if ((divisor < 0) != (mod < 0)) mod += divisor;
  } else {
    mod = std::copysign(0.0, divisor);
  }
  return mod;
}

// Initial bearing from point 1 to point 2 in degrees, [0, 360).
inline double bearing_deg(double lat1, double lon1, double lat2, double lon2) {
  const double phi1 = lat1 * kDegToRad, lam1 = lon1 * kDegToRad;
  const double phi2 = lat2 * kDegToRad, lam2 = lon2 * kDegToRad;
  const double dlon = lam2 - lam1;
  const double y = std::sin(dlon) * std::cos(phi2);
  const double x =
      std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(dlon);
  const double brng = std::atan2(y, x) * kRadToDeg;
  return floor_mod(brng + 360.0, 360.0);
}

// Difference of two bearings folded into [0, 180].
inline double bearing_difference(double in_bearing, double out_bearing) {
  double diff = std::fabs(in_bearing - out_bearing);
  if (diff > 180.0) diff = 360.0 - diff;
  return diff;
}

// Turn at the current point between the legs previous->current and current->next:
// 0 is straight on, 180 a reversal.
inline double turn_angle_deg(double p_lat, double p_lon, double c_lat, double c_lon, double n_lat,
                             double n_lon) {
  return bearing_difference(bearing_deg(p_lat, p_lon, c_lat, c_lon),
                            bearing_deg(c_lat, c_lon, n_lat, n_lon));
}

}  // namespace core_calc::geo
