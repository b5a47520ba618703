// Airway segments as rows of continuous pieces, the form the network loader reads:
// consecutive rows of one piece are joined, and the direction restriction of a row
// governs the edge from the previous row to it ("F": only in row order, "B": only
// against it, none: both ways).
//
// Each airway's segments are walked into trails that use every segment exactly
// once. Trails start at the airway's ends (points with one segment), then at other
// points with an odd number of segments, then anywhere (closed loops). Where a
// trail may go on along several segments it takes the straightest, so an airway
// that crosses itself goes straight through the crossing. A branch or a gap starts
// a new piece.
//
// Every piece gets its own segment_uid (counting from 1 across all airways); seqno
// goes up by 10 along the pieces of one airway. The first row of a piece carries the
// restriction of the piece's first segment, so that each waypoint shows the
// restriction of the airway there.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "navimport/airway_set.h"

namespace core_calc::navimport {

struct AirwayRow {
  std::string_view route;
  const AirwayNode* waypoint;
  long seqno;
  std::string_view restriction;  // "", "F" or "B"
  long segment_uid;
};

// Calls `sink` for every row, airway by airway in the order airways were first
// named; returns the number of pieces.
std::size_t chain_airways(const AirwaySet& airways,
                          const std::function<void(const AirwayRow&)>& sink);

}  // namespace core_calc::navimport
