#include "planning/api_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "common/number_text.h"

namespace core_calc::planning {
namespace {

// Two consecutive entries with the same name closer than this (degrees, in both
// latitude and longitude) are one fix: the join of two legs listed twice.
constexpr double kRepeatTolerance = 0.001;
constexpr const char* kMainSegment = "MAIN";

using OptText = std::optional<std::string>;

// Nearest double to the value rounded to 8 decimals (exact decimal rounding).
double round8(double value) {
  if (!std::isfinite(value)) return value;
  return std::strtod(fixed_text(value, 8).c_str(), nullptr);
}

// Bytes as the host language writes them: b'...' with escapes.
std::string bytes_text(const std::string& bytes) {
  const bool has_single = bytes.find('\'') != std::string::npos;
  const char quote = has_single && bytes.find('"') == std::string::npos ? '"' : '\'';
  std::string out = std::string("b") + quote;
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (ch == quote || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (ch == '\t') {
      out += "\\t";
    } else if (ch == '\n') {
      out += "\\n";
    } else if (ch == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c >= 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += ch;
    }
  }
  return out + quote;
}

// Sequence numbers are stored as integers (airways, procedures), reals (some
// approach tables) or text; clients always get text or none.
OptText seqno_text(const navdata::SqlValue& seq) {
  using Kind = navdata::SqlValue::Kind;
  switch (seq.kind) {
    case Kind::kInteger:
      return int_text(seq.integer);
    case Kind::kReal:
      return float_text(seq.real);
    case Kind::kText:
      return seq.text;
    case Kind::kBlob:
      return bytes_text(seq.text);
    case Kind::kNull:
      break;
  }
  return std::nullopt;
}

// The first character of a UTF-8 text (the text itself when empty).
std::string first_character(const std::string& text) {
  if (text.empty()) return text;
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return text.substr(0, length);
}

// The ordered waypoint list of one call. A point is dropped when it repeats the
// last entry: a procedure that starts on the fix where the previous leg ended.
class WaypointList {
 public:
  void add(const std::string& name, double lat, double lon, OptText airway,
           OptText seqno = std::nullopt, OptText restriction = std::nullopt) {
    if (repeats_last(name, lat, lon)) return;
    entries_.push_back({name, round8(lat), round8(lon), std::move(airway), std::move(seqno),
                        std::move(restriction)});
  }

  // Procedure points flown by `airway`, each with its own sequence number.
  void add_points(const std::vector<navdata::ProcedurePoint>& points, const std::string& airway) {
    for (const auto& p : points) add(p.name, p.lat, p.lon, airway, seqno_text(p.seq));
  }

  std::vector<ApiWaypoint> take() { return std::move(entries_); }

 private:
  // The stored entry holds rounded coordinates; the new point is compared unrounded.
  bool repeats_last(const std::string& name, double lat, double lon) const {
    if (entries_.empty()) return false;
    const ApiWaypoint& last = entries_.back();
    return last.name == name && std::fabs(last.lat - lat) < kRepeatTolerance &&
           std::fabs(last.lon - lon) < kRepeatTolerance;
  }

  std::vector<ApiWaypoint> entries_;
};

// A fix given by node key carries its position; one given by name is placed by
// the network's coordinate map and, like a node key, named by its first element.
void add_departure_connectors(WaypointList& list, const std::vector<PlanConnector>& connectors,
                              FormatSources& sources) {
  for (const PlanConnector& c : connectors) {
    if (c.fix_key) {
      list.add(c.fix_key->name, c.fix_key->lat, c.fix_key->lon, kDirectLeg);
      continue;
    }
    if (const auto position = sources.network_position(c.fix))
      list.add(first_character(c.fix), position->lat, position->lon, kDirectLeg);
  }
}

// The airway of the leg that enters en-route node i; the last node may have no
// entry of its own, then the leg before it names the airway.
OptText waypoint_route_id(const std::vector<OptText>& route_ids, std::size_t i) {
  if (i < route_ids.size()) return route_ids[i];
  if (i >= 1 && i - 1 < route_ids.size()) return route_ids[i - 1];
  return std::string(kDirectLeg);
}

void add_enroute(WaypointList& list, const FlightPlan& plan, FormatSources& sources) {
  for (std::size_t i = 0; i < plan.enroute.size(); ++i) {
    const PlanNode& node = plan.enroute[i];
    OptText route_id = waypoint_route_id(plan.route_ids, i);
    AirwayPointMeta meta;
    if (route_id != kDirectLeg) meta = sources.airway_point(route_id, node);
    list.add(node.name, node.lat, node.lon, std::move(route_id), std::move(meta.seqno),
             std::move(meta.direction_restriction));
  }
}

const navdata::ProcedurePoint* first_point_named(const std::vector<navdata::ProcedurePoint>& points,
                                                 const std::string& name) {
  if (points.empty() || points.front().name != name) return nullptr;
  return &points.front();
}

// An arrival connector ends on the first point of the STAR (or approach) it joins.
void add_arrival_connectors(WaypointList& list, const FlightPlan& plan) {
  for (const PlanConnector& c : plan.arr_connectors) {
    const navdata::ProcedurePoint* point = first_point_named(plan.points.star, c.fix);
    if (!point) point = first_point_named(plan.points.iap, c.fix);
    if (point) list.add(c.fix, point->lat, point->lon, kDirectLeg);
  }
}

std::vector<ApiWaypoint> waypoints(const FlightPlan& plan, FormatSources& sources) {
  WaypointList list;
  list.add_points(plan.points.sid, plan.sid);
  add_departure_connectors(list, plan.dep_connectors, sources);
  add_enroute(list, plan, sources);
  add_arrival_connectors(list, plan);
  list.add_points(plan.points.star, plan.star);
  list.add_points(plan.points.iap, plan.approach);
  return list.take();
}

// Route tokens in flight-plan notation. Only a route id can be missing (an edge
// without one); writing it is an error that names it.
class RouteTokens {
 public:
  void push(const OptText& token, const char* what) {
    if (!token)
      throw FormatError(FormatError::Kind::kType,
                        std::string("route token ") + what + " must be text, not NoneType");
    parts_.push_back(*token);
  }

  // Consecutive repeats (an airway entered where the procedure ended, a fix that
  // closes one part and opens the next) are written once.
  std::string route_string() const {
    std::string out;
    for (std::size_t i = 0; i < parts_.size(); ++i) {
      if (i > 0 && parts_[i] == parts_[i - 1]) continue;
      if (i > 0) out += ' ';  // the first token is always kept
      out += parts_[i];
    }
    return out;
  }

 private:
  std::vector<std::string> parts_;
};

// Airway where it changes, the exit fix where the next leg leaves the airway,
// every fix reached direct, and the last en-route fix.
void push_enroute_tokens(RouteTokens& tokens, const FlightPlan& plan) {
  const auto& ids = plan.route_ids;
  const std::size_t nodes = plan.enroute.size();
  OptText last_airway;
  for (std::size_t i = 0; i < nodes; ++i) {
    const OptText current = i < ids.size() ? ids[i] : OptText(kDirectLeg);
    if (current != last_airway) {
      tokens.push(current, "route id");
      last_airway = current;
    }
    const OptText next = i + 1 < ids.size() ? ids[i + 1] : std::nullopt;
    if (current == kDirectLeg || current != next || i + 1 == nodes)
      tokens.push(plan.enroute[i].name, "en-route fix name");
  }
}

struct ApproachNames {
  std::string procedure;  // the part before the first "."
  OptText token;          // as written in the route; none without an approach
  OptText transition;     // none for the main segment and without an approach
};

// "I35.MAIN" flies the main segment, written as "I35"; any other transition
// ("I35.ABC", "I35.MAIN1") keeps the whole name and is reported on its own.
ApproachNames approach_names(const std::string& approach) {
  ApproachNames names;
  const std::size_t dot = approach.find('.');
  names.procedure = approach.substr(0, dot);
  if (approach == kNotAvailable) return names;
  names.token = approach;
  if (dot == std::string::npos) return names;
  std::string transition = approach.substr(dot + 1);
  if (transition == kMainSegment) {
    names.token = names.procedure;
  } else {
    names.transition = std::move(transition);
  }
  return names;
}

std::string route_string(const FlightPlan& plan, const ApproachNames& approach) {
  RouteTokens tokens;
  tokens.push(plan.departure, "departure");
  tokens.push(plan.sid, "sid");
  if (!plan.points.sid.empty()) tokens.push(plan.points.sid.back().name, "SID exit fix name");
  push_enroute_tokens(tokens, plan);
  if (plan.star != kNoStar) tokens.push(plan.star, "star");
  if (approach.token) tokens.push(approach.token, "approach");
  tokens.push(plan.arrival, "arrival");
  return tokens.route_string();
}

std::int64_t whole_kilometres(double distance_km) {
  using Kind = FormatError::Kind;
  if (std::isnan(distance_km))
    throw FormatError(Kind::kValue, "cannot convert float NaN to integer");
  if (std::isinf(distance_km))
    throw FormatError(Kind::kOverflow, "cannot convert float infinity to integer");
  const double whole = std::trunc(distance_km);
  // 2^63 is exact as a double; every double below it in magnitude fits.
  if (!(std::fabs(whole) < 9223372036854775808.0))
    throw FormatError(Kind::kOverflow, "plan 'distance' " + float_text(distance_km) +
                                           " has more whole kilometres than a record holds");
  return static_cast<std::int64_t>(whole);
}

}  // namespace

FormatError no_network_error(const std::string& fix) {
  return FormatError(FormatError::Kind::kRuntime,
                     "format_for_api needs a loaded network to place departure connector fix '" +
                         fix + "': GLOBAL_NETWORK is None");
}

ApiRecord format_for_api(const FlightPlan& plan, FormatSources& sources) {
  ApiRecord record;
  record.detailed_waypoints = waypoints(plan, sources);
  const ApproachNames approach = approach_names(plan.approach);
  record.route_string = route_string(plan, approach);
  record.distance_km = whole_kilometres(plan.distance_km);
  record.origin = plan.departure;
  record.destination = plan.arrival;
  record.dep_runway = sources.departure_runway();
  const bool approach_has_runway =
      !plan.approach_runway.empty() && plan.approach_runway != kNotAvailable;
  record.arr_runway = approach_has_runway ? plan.approach_runway : sources.arrival_runway();
  record.procedures = {plan.sid, plan.star, approach.procedure, approach.transition};
  return record;
}

}  // namespace core_calc::planning
