#include "navimport/cifp_parser.h"

#include "navimport/import_errors.h"
#include "navimport/text_fields.h"

namespace core_calc::navimport {
namespace {

constexpr std::size_t kLegFields = 12;  // up to the path and termination

char one_char(std::string_view text) {
  return text.empty() ? ' ' : text.front();
}

// Degrees from "DD[D]MMSSss" after the hemisphere letter.
double arinc_angle(std::string_view text, std::size_t degree_digits, char positive, char negative,
                   const char* what) {
  const std::string quoted = quote(text);
  if (text.size() != 1 + degree_digits + 6 || (text[0] != positive && text[0] != negative))
    throw LineError(std::string(what) + " " + quoted + " is not an ARINC 424 coordinate");
  long deg = 0, min = 0, hundredths = 0;
  if (!parse_integer(text.substr(1, degree_digits), deg) ||
      !parse_integer(text.substr(1 + degree_digits, 2), min) ||
      !parse_integer(text.substr(3 + degree_digits, 4), hundredths) || min >= 60 ||
      hundredths >= 6000 ||
      text.substr(1).find_first_not_of("0123456789") != std::string_view::npos)
    throw LineError(std::string(what) + " " + quoted + " is not an ARINC 424 coordinate");
  const double value = static_cast<double>(deg) + static_cast<double>(min) / 60.0 +
                       static_cast<double>(hundredths) / 360000.0;
  return text[0] == negative ? -value : value;
}

}  // namespace

double arinc_latitude(std::string_view text) {
  const double lat = arinc_angle(text, 2, 'N', 'S', "latitude");
  if (lat < -90.0 || lat > 90.0) throw LineError("latitude out of range");
  return lat;
}

double arinc_longitude(std::string_view text) {
  const double lon = arinc_angle(text, 3, 'E', 'W', "longitude");
  if (lon < -180.0 || lon > 180.0) throw LineError("longitude out of range");
  return lon;
}

void CifpParser::line(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos)
    throw LineError("a procedure record needs a \"TYPE:\" prefix");
  const std::string_view type = trim(text.substr(0, colon));
  const std::string_view payload = text.substr(colon + 1);
  if (type == "SID")
    leg(ProcedureKind::kSid, payload);
  else if (type == "STAR")
    leg(ProcedureKind::kStar, payload);
  else if (type == "APPCH")
    leg(ProcedureKind::kApproach, payload);
  else if (type == "RWY")
    runway(payload);
  else if (type != "PRDAT")
    ++out_.unknown;
}

void CifpParser::leg(ProcedureKind kind, std::string_view payload) {
  std::string_view f[kLegFields + 1];
  const std::size_t n = split_commas(payload.substr(0, payload.find(';')), f, kLegFields + 1);
  if (n < kLegFields)
    throw LineError("a procedure leg has " + std::to_string(n) + " fields, at least " +
                    std::to_string(kLegFields) + " expected");
  CifpLeg leg;
  leg.kind = kind;
  const long seq = integer_field(f[0], "sequence number");
  if (seq < 0 || seq > 9999) throw LineError("sequence number out of range");
  leg.seq = static_cast<int>(seq);
  if (f[1].size() != 1) throw LineError("route type " + quote(f[1]) + " is not one letter");
  leg.route_type = f[1][0];
  if (f[2].empty()) throw LineError("a procedure leg without a procedure identifier");
  leg.procedure = f[2];
  leg.transition = f[3];
  leg.fix = f[4];
  leg.region = f[5];
  leg.section = one_char(f[6]);
  leg.subsection = one_char(f[7]);
  // The description keeps its columns: find it again untrimmed.
  const std::string_view raw = payload.substr(0, payload.find(';'));
  std::size_t start = 0;
  for (int i = 0; i < 8; ++i) start = raw.find(',', start) + 1;
  const std::string_view description = raw.substr(start, raw.find(',', start) - start);
  for (std::size_t i = 0; i < 4 && i < description.size(); ++i) leg.description[i] = description[i];
  out_.legs.push_back(std::move(leg));
}

void CifpParser::runway(std::string_view payload) {
  const std::size_t semicolon = payload.find(';');
  std::string_view head[2];
  split_commas(payload.substr(0, semicolon), head, 2);
  if (head[0].empty() || semicolon == std::string_view::npos)
    throw LineError("a runway record needs its identifier and a position group");
  std::string_view group = payload.substr(semicolon + 1);
  group = group.substr(0, group.find(';'));
  std::string_view position[3];
  const std::size_t n = split_commas(group, position, 3);
  if (n < 2) throw LineError("a runway record without latitude and longitude");
  CifpRunway rwy;
  rwy.ident = head[0];
  rwy.threshold = {arinc_latitude(position[0]), arinc_longitude(position[1])};
  out_.runways.push_back(std::move(rwy));
}

}  // namespace core_calc::navimport
