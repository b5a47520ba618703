// Flying order of the transitions merged into one departure or arrival procedure.
// Navigation data numbers the legs of every transition from its own start (runway
// transition 10, 20, 30; common part 10, 20; ...), so sequence numbers alone
// interleave the transitions. The kind of a transition orders them first:
// a departure flies runway transition, common part, en-route transition; an
// arrival the reverse. Data numbered across its transitions already follows that
// order, so it keeps its order.
#pragma once

#include <string_view>

namespace core_calc::navdata {

enum class TransitionKind { kRunway, kCommon, kEnRoute };

// Runway transition: begins with "RW", or is a bare designator (two digits and an
// optional L, R, C, B or T). Common part: "ALL", empty, or none (null). Anything
// else is an en-route transition. Surrounding white space is ignored.
TransitionKind transition_kind(std::string_view transition);

// Arrival tables (STARs) have "star" in their name, in any case; every other table
// holds departures.
bool is_arrival_table(std::string_view table);

// Position of a kind in flying order: 0 is flown first.
int flying_rank(TransitionKind kind, bool arrival);

}  // namespace core_calc::navdata
