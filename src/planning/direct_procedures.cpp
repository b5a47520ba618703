#include "planning/direct_procedures.h"

#include <memory>

#include "common/number_text.h"

namespace core_calc::planning {
namespace {

navdata::ProcedurePoint point(std::string name, double lat, double lon, std::int64_t seq) {
  navdata::SqlValue value;
  value.kind = navdata::SqlValue::Kind::kInteger;
  value.integer = seq;
  return {std::move(name), lat, lon, std::move(value)};
}

}  // namespace

std::vector<ProcedurePtr> direct_procedures(
    DirectKind kind, const std::string& icao, double lat, double lon, const std::string& name,
    const std::vector<network::DirectCandidate>& candidates) {
  const bool departure = kind == DirectKind::kDeparture;
  std::vector<ProcedurePtr> procs;
  for (const network::DirectCandidate& c : candidates) {
    if (!c.has_coord) throw CandidateWithoutCoordinate(c.node);
    auto record = std::make_shared<navdata::ProcedureRecord>();
    record->airport = icao;
    record->name = name;
    navdata::ProcedurePoint airport = point(icao + "APT", lat, lon, departure ? 10 : 20);
    navdata::ProcedurePoint entry = point(c.name, c.lat, c.lon, departure ? 20 : 10);
    record->points = departure ? std::vector{airport, entry} : std::vector{entry, airport};
    procs.push_back(std::move(record));
  }
  return procs;
}

std::string no_candidate_line(DirectKind kind, std::string_view icao,
                              std::string_view radius_text) {
  const char* what = kind == DirectKind::kDeparture ? "离场" : "进近";
  return "⚠️ [Debug] " + std::string(icao) + " 附近 " + std::string(radius_text) +
         "km 内没有航路点，无法生成直飞" + what + "。";
}

std::string candidate_line(DirectKind kind, std::string_view icao,
                           const std::vector<network::DirectCandidate>& candidates) {
  std::string names;
  for (const network::DirectCandidate& c : candidates) {
    if (!names.empty()) names += ", ";
    names += c.name + "(" + fixed_text(c.dist_km, 1) + "km)";
  }
  const char* lead = kind == DirectKind::kDeparture ? "🛫 [Debug] " : "🛬 [Debug] ";
  const char* what =
      kind == DirectKind::kDeparture ? " 无 SID，直飞候选 " : " 无 STAR/IAP，进近候选 ";
  return lead + std::string(icao) + what + names;
}

}  // namespace core_calc::planning
