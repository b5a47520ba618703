#include "navimport/procedure_rows.h"

#include <algorithm>

namespace core_calc::navimport {
namespace {

enum class Part { kRunway, kCommon, kEnroute, kLeftOut };

bool is_runway_name(std::string_view t) {
  if (t.size() < 4 || t.size() > 5 || t.substr(0, 2) != "RW") return false;
  if (t[2] < '0' || t[2] > '9' || t[3] < '0' || t[3] > '9') return false;
  return t.size() == 4 || (t[4] >= 'A' && t[4] <= 'Z');
}

Part part_by_name(std::string_view transition) {
  if (transition.empty() || transition == "ALL") return Part::kCommon;
  return is_runway_name(transition) ? Part::kRunway : Part::kEnroute;
}

// ARINC 424 route types of departures and arrivals.
Part part_of(const CifpLeg& leg) {
  const char t = leg.route_type;
  if (leg.kind == ProcedureKind::kSid) {
    if (t == '0') return Part::kLeftOut;  // engine-out departure
    if (t == '1' || t == '4' || t == 'F' || t == 'T') return Part::kRunway;
    if (t == '2' || t == '5' || t == 'M') return Part::kCommon;
    if (t == '3' || t == '6' || t == 'S' || t == 'V') return Part::kEnroute;
  } else {
    if (t == '3' || t == '6' || t == '9' || t == 'S') return Part::kRunway;
    if (t == '2' || t == '5' || t == '8' || t == 'M') return Part::kCommon;
    if (t == '1' || t == '4' || t == '7' || t == 'F') return Part::kEnroute;
  }
  return part_by_name(leg.transition);
}

PointKind point_kind(char section, char subsection) {
  if (section == 'D') return subsection == 'B' ? PointKind::kNdb : PointKind::kVhf;
  if (section == 'E' && subsection == 'A') return PointKind::kFix;
  if (section == 'P') {
    if (subsection == 'C') return PointKind::kFix;
    if (subsection == 'N') return PointKind::kNdb;
    if (subsection == 'I') return PointKind::kLocalizer;
  }
  return PointKind::kAny;
}

bool same_transition(const CifpLeg& a, const CifpLeg& b) {
  return a.kind == b.kind && a.route_type == b.route_type && a.procedure == b.procedure &&
         a.transition == b.transition;
}

// Positions of the fixes one airport's procedures name.
class FixResolver {
 public:
  FixResolver(const CifpFile& file, std::string_view airport, const AirportSite* site,
              const NavPointTable& points)
      : airport_(airport), points_(points) {
    for (const CifpRunway& r : file.runways) runways_.emplace_back(r.ident, r.threshold);
    if (site) runways_.insert(runways_.end(), site->runways.begin(), site->runways.end());
    if (site && site->reference) {
      position_ = site->reference;
    } else if (!file.runways.empty()) {
      MeanPosition mean;
      for (const CifpRunway& r : file.runways) mean.add(r.threshold);
      position_ = mean.mean();
    }
  }

  std::optional<LatLon> resolve(const CifpLeg& leg) const {
    if (leg.section == 'P' && leg.subsection == 'G') return runway(leg.fix);
    if (leg.section == 'P' && leg.subsection == 'A') return position_;
    PointQuery query;
    query.ident = leg.fix;
    query.region = leg.region;
    query.airport = airport_;
    query.kind = point_kind(leg.section, leg.subsection);
    if (position_) query.near = std::make_pair(position_->lat, position_->lon);
    const NavPoint* point = points_.find(query);
    if (!point) return std::nullopt;
    return LatLon{point->lat, point->lon};
  }

  // "RW16B" stands for every parallel runway 16: "RW16L", "RW16C", "RW16R".
  std::vector<std::string> runway_transitions(std::string_view name) const {
    std::vector<std::string> names;
    if (is_runway_name(name) && name.size() == 5 && name[4] == 'B') {
      for (const auto& [ident, threshold] : runways_) {
        if (ident.size() == 5 && ident.compare(0, 4, name.substr(0, 4)) == 0 &&
            (ident[4] == 'L' || ident[4] == 'C' || ident[4] == 'R') &&
            std::find(names.begin(), names.end(), ident) == names.end())
          names.push_back(ident);
      }
      std::sort(names.begin(), names.end());
    }
    if (names.empty()) names.emplace_back(name);
    return names;
  }

 private:
  std::optional<LatLon> runway(std::string_view ident) const {
    for (const auto& [name, threshold] : runways_)
      if (name == ident) return threshold;
    return std::nullopt;
  }

  std::string_view airport_;
  const NavPointTable& points_;
  std::vector<std::pair<std::string, LatLon>> runways_;
  std::optional<LatLon> position_;
};

}  // namespace

ProcedureCounts procedure_rows(const CifpFile& file, std::string_view airport,
                               const AirportSite* site, const NavPointTable& points,
                               const std::function<void(const ProcedureRow&)>& sink) {
  const FixResolver resolver(file, airport, site, points);
  ProcedureCounts counts;
  const std::vector<CifpLeg>& legs = file.legs;
  std::size_t first = 0;
  while (first < legs.size()) {
    std::size_t last = first + 1;
    while (last < legs.size() && same_transition(legs[last], legs[first])) ++last;
    const CifpLeg& head = legs[first];
    const Part part = head.kind == ProcedureKind::kApproach ? Part::kCommon : part_of(head);
    if (part == Part::kLeftOut) {
      first = last;
      continue;
    }
    // Names the rows of this transition are written under (none: an approach's final part).
    std::vector<std::string> names;
    const bool named = head.kind != ProcedureKind::kApproach || head.route_type == 'A';
    if (head.kind == ProcedureKind::kApproach) {
      if (named) names.push_back(head.transition);
    } else if (head.transition.empty()) {
      names.emplace_back("ALL");
    } else {
      names = resolver.runway_transitions(head.transition);
    }
    std::string_view previous_fix;
    for (std::size_t i = first; i < last; ++i) {
      const CifpLeg& leg = legs[i];
      if (leg.kind == ProcedureKind::kApproach && leg.description[2] == 'M') break;  // missed
      if (leg.fix.empty() || leg.fix == previous_fix) continue;
      const std::optional<LatLon> position = resolver.resolve(leg);
      if (!position) {
        ++counts.unresolved;
        continue;
      }
      ++counts.resolved;
      previous_fix = leg.fix;
      ProcedureRow row{leg.kind, leg.procedure, std::nullopt,  leg.seq,
                       leg.fix,  *position,     leg.route_type};
      if (!named) {
        sink(row);
        ++counts.rows;
      }
      for (const std::string& name : names) {
        row.transition = name;
        sink(row);
        ++counts.rows;
      }
    }
    first = last;
  }
  return counts;
}

}  // namespace core_calc::navimport
