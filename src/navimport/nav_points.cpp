#include "navimport/nav_points.h"

#include <algorithm>
#include <limits>

#include "geo/geodesy.h"

namespace core_calc::navimport {
namespace {

bool region_matches(const NavPoint& point, std::string_view region) {
  return region.empty() || point.region.empty() || point.region == region;
}

int enroute_rank(const NavPoint& point) {
  if (point.area == "ENRT") return 0;
  return point.area.empty() ? 1 : 2;
}

int procedure_rank(const NavPoint& point, std::string_view airport) {
  if (!airport.empty() && point.area == airport) return 0;
  if (point.area == "ENRT" || point.area.empty()) return 1;
  return 2;
}

}  // namespace

void NavPointTable::finish() {
  by_ident_.resize(points_.size());
  for (std::uint32_t i = 0; i < by_ident_.size(); ++i) by_ident_[i] = i;
  std::stable_sort(by_ident_.begin(), by_ident_.end(), [this](std::uint32_t a, std::uint32_t b) {
    return points_[a].ident < points_[b].ident;
  });
  ranges_.clear();
  ranges_.reserve(points_.size());
  std::uint32_t first = 0;
  for (std::uint32_t i = 1; i <= by_ident_.size(); ++i) {
    if (i < by_ident_.size() && points_[by_ident_[i]].ident == points_[by_ident_[first]].ident)
      continue;
    ranges_.emplace(points_[by_ident_[first]].ident, std::make_pair(first, i));
    first = i;
  }
}

std::pair<const std::uint32_t*, const std::uint32_t*> NavPointTable::named(
    std::string_view ident) const {
  const auto it = ranges_.find(ident);
  if (it == ranges_.end()) return {nullptr, nullptr};
  return {by_ident_.data() + it->second.first, by_ident_.data() + it->second.second};
}

const NavPoint* NavPointTable::find_enroute(std::string_view ident, std::string_view region,
                                            PointKind kind) const {
  const NavPoint* best = nullptr;
  int best_rank = std::numeric_limits<int>::max();
  const auto [first, last] = named(ident);
  for (const std::uint32_t* it = first; it != last; ++it) {
    const NavPoint& point = points_[*it];
    if (point.kind != kind || !region_matches(point, region)) continue;
    const int rank = enroute_rank(point);
    if (rank < best_rank) {
      best = &point;
      best_rank = rank;
    }
  }
  return best;
}

const NavPoint* NavPointTable::find(const PointQuery& query) const {
  const NavPoint* best = nullptr;
  int best_rank = std::numeric_limits<int>::max();
  double best_km = std::numeric_limits<double>::infinity();
  const auto [first, last] = named(query.ident);
  for (const std::uint32_t* it = first; it != last; ++it) {
    const NavPoint& point = points_[*it];
    if (query.kind != PointKind::kAny && point.kind != query.kind) continue;
    if (!region_matches(point, query.region)) continue;
    const int rank = procedure_rank(point, query.airport);
    const double km =
        query.near ? geo::haversine_km(query.near->first, query.near->second, point.lat, point.lon)
                   : 0.0;
    if (rank < best_rank || (rank == best_rank && km < best_km)) {
      best = &point;
      best_rank = rank;
      best_km = km;
    }
  }
  return best;
}

std::string LocalizerCourses::key(std::string_view airport, std::string_view runway) {
  std::string k(airport);
  k += '/';
  k += runway;
  return k;
}

void LocalizerCourses::add(std::string_view airport, std::string_view runway, double magnetic) {
  courses_.emplace(key(airport, runway), magnetic);  // the first localizer of a runway wins
}

std::optional<double> LocalizerCourses::find(std::string_view airport,
                                             std::string_view runway) const {
  const auto it = courses_.find(key(airport, runway));
  if (it == courses_.end()) return std::nullopt;
  return it->second;
}

}  // namespace core_calc::navimport
