#include "navimport/runway_geometry.h"

#include <cmath>

#include "geo/geodesy.h"

namespace core_calc::navimport {

namespace {

double wrapped(double lon) {
  while (lon > 180.0) lon -= 360.0;
  while (lon < -180.0) lon += 360.0;
  return lon;
}

}  // namespace

void MeanPosition::add(LatLon p) {
  if (count_ == 0) first_ = p;
  lat_sum_ += p.lat;
  lon_offset_sum_ += wrapped(p.lon - first_.lon);
  ++count_;
}

LatLon MeanPosition::mean() const {
  return {lat_sum_ / count_, wrapped(first_.lon + lon_offset_sum_ / count_)};
}

LatLon moved_toward(LatLon from, LatLon toward, double meters) {
  if (meters <= 0.0) return from;
  const double course =
      geo::bearing_deg(from.lat, from.lon, toward.lat, toward.lon) * geo::kDegToRad;
  const double d = meters / (geo::kEarthRadiusKm * 1000.0);
  const double phi1 = from.lat * geo::kDegToRad;
  const double lam1 = from.lon * geo::kDegToRad;
  const double phi2 =
      std::asin(std::sin(phi1) * std::cos(d) + std::cos(phi1) * std::sin(d) * std::cos(course));
  const double lam2 = lam1 + std::atan2(std::sin(course) * std::sin(d) * std::cos(phi1),
                                        std::cos(d) - std::sin(phi1) * std::sin(phi2));
  return {phi2 * geo::kRadToDeg, wrapped(lam2 * geo::kRadToDeg)};
}

double true_course(LatLon from, LatLon to) {
  return geo::bearing_deg(from.lat, from.lon, to.lat, to.lon);
}

}  // namespace core_calc::navimport
