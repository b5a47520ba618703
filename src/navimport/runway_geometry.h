// Geometry of runway ends on the same sphere the route planner uses.
#pragma once

namespace core_calc::navimport {

struct LatLon {
  double lat = 0.0;
  double lon = 0.0;
};

// Mean of positions that works across the antimeridian: longitudes are averaged as
// offsets from the first one.
class MeanPosition {
 public:
  void add(LatLon p);
  bool empty() const { return count_ == 0; }
  LatLon mean() const;

 private:
  LatLon first_;
  double lat_sum_ = 0.0;
  double lon_offset_sum_ = 0.0;
  int count_ = 0;
};

// The point `meters` from `from` on the great circle towards `toward`.
LatLon moved_toward(LatLon from, LatLon toward, double meters);

// Initial true course from `from` to `to`, degrees in [0, 360).
double true_course(LatLon from, LatLon to);

}  // namespace core_calc::navimport
