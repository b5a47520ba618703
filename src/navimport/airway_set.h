// The airway segments of all airway files, before they are chained into rows.
//
// A node is a waypoint by ident and position (to a millionth of a degree), so the
// same fix named by several files or formats is one node. A segment joins two nodes
// on one airway; a segment listed more than once (airways listed once per level, or
// in several files) is kept once, and its allowed directions are the union of the
// listings' directions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "navimport/runway_geometry.h"

namespace core_calc::navimport {

struct AirwayNode {
  std::string ident;
  LatLon position;
};

// Directions a segment may be flown, relative to its first listing (from -> to).
enum : std::uint8_t { kForward = 1, kBackward = 2 };

struct AirwaySegment {
  std::uint32_t airway;  // index into names()
  std::uint32_t from;    // node ids as first listed
  std::uint32_t to;
  std::uint8_t allowed;
};

class AirwaySet {
 public:
  std::uint32_t node(std::string_view ident, LatLon position);
  std::uint32_t airway(std::string_view name);

  // Adds the segment from `from` to `to`, flyable forward (from -> to) and/or
  // backward. Returns false when it repeats a segment already held.
  bool add(std::uint32_t airway, std::uint32_t from, std::uint32_t to, bool forward, bool backward);

  const std::vector<AirwayNode>& nodes() const { return nodes_; }
  const std::vector<std::string>& names() const { return names_; }
  const std::vector<AirwaySegment>& segments() const { return segments_; }

 private:
  struct NodeKey {
    std::string ident;
    std::int64_t lat;
    std::int64_t lon;
    bool operator==(const NodeKey&) const = default;
  };
  struct NodeHash {
    std::size_t operator()(const NodeKey& k) const;
  };
  struct SegmentHash {
    std::size_t operator()(std::uint64_t k) const { return std::hash<std::uint64_t>()(k); }
  };

  std::vector<AirwayNode> nodes_;
  std::unordered_map<NodeKey, std::uint32_t, NodeHash> node_ids_;
  std::vector<std::string> names_;
  std::unordered_map<std::string, std::uint32_t> name_ids_;
  std::vector<AirwaySegment> segments_;
  // (airway, lower node, higher node) -> segment index; one map per airway keeps keys 64-bit.
  std::vector<std::unordered_map<std::uint64_t, std::uint32_t, SegmentHash>> segment_ids_;
};

}  // namespace core_calc::navimport
