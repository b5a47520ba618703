#include "navimport/airway_chains.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "geo/geodesy.h"

namespace core_calc::navimport {
namespace {

constexpr std::int32_t kAbsent = -1;

// One airway's segments as a small graph over its own points.
class AirwayWalk {
 public:
  AirwayWalk(const AirwaySet& set, std::vector<std::int32_t>& local_of)
      : set_(set), local_of_(local_of) {}

  void load(const std::uint32_t* first, const std::uint32_t* last);
  // Trails covering every segment once, in start order (see the header).
  template <class Emit>
  void walk_all(Emit&& emit);
  void unload();

 private:
  std::uint32_t local(std::uint32_t node);
  std::uint32_t other_end(std::uint32_t segment, std::uint32_t local_node) const;
  double course(std::uint32_t from_local, std::uint32_t to_local) const;
  std::int32_t next_segment(std::uint32_t at, std::int32_t arrived_by) const;
  template <class Emit>
  void walk_from(std::uint32_t start, Emit& emit);

  const AirwaySet& set_;
  std::vector<std::int32_t>& local_of_;  // global node -> local index, kAbsent outside
  std::vector<std::uint32_t> nodes_;     // local -> global node
  std::vector<std::uint32_t> segments_;  // local segment -> global segment
  std::vector<std::uint32_t> ends_[2];   // local segment -> local from/to node
  std::vector<std::uint32_t> offsets_;   // CSR of incident segments per local node
  std::vector<std::uint32_t> incident_;
  std::vector<bool> used_;
  std::vector<std::uint32_t> trail_nodes_;
  std::vector<std::uint32_t> trail_segments_;
};

std::uint32_t AirwayWalk::local(std::uint32_t node) {
  if (local_of_[node] == kAbsent) {
    local_of_[node] = static_cast<std::int32_t>(nodes_.size());
    nodes_.push_back(node);
  }
  return static_cast<std::uint32_t>(local_of_[node]);
}

void AirwayWalk::load(const std::uint32_t* first, const std::uint32_t* last) {
  for (const std::uint32_t* it = first; it != last; ++it) {
    const AirwaySegment& s = set_.segments()[*it];
    segments_.push_back(*it);
    ends_[0].push_back(local(s.from));
    ends_[1].push_back(local(s.to));
  }
  offsets_.assign(nodes_.size() + 1, 0);
  for (std::uint32_t s = 0; s < segments_.size(); ++s) {
    ++offsets_[ends_[0][s] + 1];
    ++offsets_[ends_[1][s] + 1];
  }
  for (std::size_t i = 1; i < offsets_.size(); ++i) offsets_[i] += offsets_[i - 1];
  incident_.resize(offsets_.back());
  std::vector<std::uint32_t> fill(offsets_.begin(), offsets_.end() - 1);
  for (std::uint32_t s = 0; s < segments_.size(); ++s) {
    incident_[fill[ends_[0][s]]++] = s;
    incident_[fill[ends_[1][s]]++] = s;
  }
  used_.assign(segments_.size(), false);
}

void AirwayWalk::unload() {
  for (const std::uint32_t node : nodes_) local_of_[node] = kAbsent;
  nodes_.clear();
  segments_.clear();
  ends_[0].clear();
  ends_[1].clear();
}

std::uint32_t AirwayWalk::other_end(std::uint32_t segment, std::uint32_t local_node) const {
  return ends_[0][segment] == local_node ? ends_[1][segment] : ends_[0][segment];
}

double AirwayWalk::course(std::uint32_t from_local, std::uint32_t to_local) const {
  const LatLon a = set_.nodes()[nodes_[from_local]].position;
  const LatLon b = set_.nodes()[nodes_[to_local]].position;
  return geo::bearing_deg(a.lat, a.lon, b.lat, b.lon);
}

// The unused segment to continue on from `at`: the first one at a trail's start,
// otherwise the one with the smallest turn from the arriving course.
std::int32_t AirwayWalk::next_segment(std::uint32_t at, std::int32_t arrived_by) const {
  std::int32_t best = kAbsent;
  double best_turn = std::numeric_limits<double>::infinity();
  double arriving = 0.0;
  if (arrived_by != kAbsent) {
    const std::uint32_t came_from = other_end(static_cast<std::uint32_t>(arrived_by), at);
    arriving = geo::floor_mod(course(at, came_from) + 180.0, 360.0);
  }
  for (std::uint32_t i = offsets_[at]; i < offsets_[at + 1]; ++i) {
    const std::uint32_t s = incident_[i];
    if (used_[s]) continue;
    if (arrived_by == kAbsent) return static_cast<std::int32_t>(s);
    const double turn = geo::bearing_difference(arriving, course(at, other_end(s, at)));
    if (turn < best_turn) {
      best = static_cast<std::int32_t>(s);
      best_turn = turn;
    }
  }
  return best;
}

template <class Emit>
void AirwayWalk::walk_from(std::uint32_t start, Emit& emit) {
  while (next_segment(start, kAbsent) != kAbsent) {
    trail_nodes_.assign(1, start);
    trail_segments_.clear();
    std::uint32_t at = start;
    std::int32_t arrived_by = kAbsent;
    for (;;) {
      const std::int32_t s = next_segment(at, arrived_by);
      if (s == kAbsent) break;
      used_[static_cast<std::uint32_t>(s)] = true;
      at = other_end(static_cast<std::uint32_t>(s), at);
      arrived_by = s;
      trail_nodes_.push_back(at);
      trail_segments_.push_back(static_cast<std::uint32_t>(s));
    }
    emit(trail_nodes_, trail_segments_, nodes_, segments_, ends_[0]);
  }
}

template <class Emit>
void AirwayWalk::walk_all(Emit&& emit) {
  const std::uint32_t n = static_cast<std::uint32_t>(nodes_.size());
  auto degree = [this](std::uint32_t v) { return offsets_[v + 1] - offsets_[v]; };
  for (std::uint32_t v = 0; v < n; ++v)
    if (degree(v) == 1) walk_from(v, emit);
  for (std::uint32_t v = 0; v < n; ++v)
    if (degree(v) % 2 == 1) walk_from(v, emit);
  for (std::uint32_t v = 0; v < n; ++v) walk_from(v, emit);
}

// The restriction of a segment flown as first listed (`along`) or against it.
std::string_view restriction(const AirwaySegment& segment, bool along) {
  const bool forward = segment.allowed & (along ? kForward : kBackward);
  const bool backward = segment.allowed & (along ? kBackward : kForward);
  if (forward && backward) return "";
  if (forward) return "F";
  if (backward) return "B";
  return "FB";
}

}  // namespace

std::size_t chain_airways(const AirwaySet& airways,
                          const std::function<void(const AirwayRow&)>& sink) {
  std::vector<std::uint32_t> order(airways.segments().size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return airways.segments()[a].airway < airways.segments()[b].airway;
  });
  std::vector<std::int32_t> local_of(airways.nodes().size(), kAbsent);
  AirwayWalk walk(airways, local_of);
  long segment_uid = 0;
  std::size_t first = 0;
  while (first < order.size()) {
    const std::uint32_t airway = airways.segments()[order[first]].airway;
    std::size_t last = first;
    while (last < order.size() && airways.segments()[order[last]].airway == airway) ++last;
    const std::string_view route = airways.names()[airway];
    long seqno = 0;
    walk.load(order.data() + first, order.data() + last);
    walk.walk_all([&](const std::vector<std::uint32_t>& trail_nodes,
                      const std::vector<std::uint32_t>& trail_segments,
                      const std::vector<std::uint32_t>& nodes,
                      const std::vector<std::uint32_t>& segments,
                      const std::vector<std::uint32_t>& first_end) {
      ++segment_uid;
      for (std::size_t i = 0; i < trail_nodes.size(); ++i) {
        // Row i's restriction is that of the segment that arrives at it (the first
        // row takes the segment that leaves it).
        const std::uint32_t s = trail_segments[i == 0 ? 0 : i - 1];
        const std::uint32_t from = trail_nodes[i == 0 ? 0 : i - 1];
        const AirwaySegment& segment = airways.segments()[segments[s]];
        seqno += 10;
        sink(AirwayRow{route, &airways.nodes()[nodes[trail_nodes[i]]], seqno,
                       restriction(segment, first_end[s] == from), segment_uid});
      }
    });
    walk.unload();
    first = last;
  }
  return static_cast<std::size_t>(segment_uid);
}

}  // namespace core_calc::navimport
