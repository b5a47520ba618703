#include "navimport/airport_parser.h"

#include "navimport/import_errors.h"

namespace core_calc::navimport {
namespace {

LatLon position(const Fields& fields, std::size_t lat_at) {
  return {latitude_field(fields.at[lat_at]), longitude_field(fields.at[lat_at + 1])};
}

}  // namespace

void AirportParser::line(std::string_view text) {
  split_blanks(text, fields_);
  switch (integer_field(fields_.at[0], "row code")) {
    case 1:
    case 16:
    case 17:
      finish();
      start_airport();
      break;
    case 100:
      land_runway();
      break;
    case 101:
      water_runway();
      break;
    case 102:
      helipad();
      break;
    case 1302:
      metadata();
      break;
    default:
      break;  // taxiways, signs, lights, frequencies and the other layout rows
  }
}

void AirportParser::require_airport(const char* record) const {
  if (!open_) throw LineError(std::string(record) + " before the first airport header");
}

void AirportParser::start_airport() {
  require_fields(fields_, 5, "an airport header");
  open_ = true;
  header_ident_ = fields_.at[4];
  record_.name = utf8_text(fields_.rest(5));
  icao_code_.clear();
  datum_lat_.reset();
  datum_lon_.reset();
  land_.clear();
  others_ = {};
}

void AirportParser::land_runway() {
  require_airport("a runway");
  require_fields(fields_, 26, "a land runway");
  LandRunway runway;
  for (int e = 0; e < 2; ++e) {
    const std::size_t base = e == 0 ? 8 : 17;
    runway.designator[e] = fields_.at[base];
    runway.end[e] = position(fields_, base + 1);
    runway.displaced[e] = real_field(fields_.at[base + 3], "displaced threshold");
  }
  land_.push_back(std::move(runway));
}

void AirportParser::water_runway() {
  require_airport("a water runway");
  require_fields(fields_, 9, "a water runway");
  for (const std::size_t at : {std::size_t{4}, std::size_t{7}}) others_.add(position(fields_, at));
}

void AirportParser::helipad() {
  require_airport("a helipad");
  require_fields(fields_, 4, "a helipad");
  others_.add(position(fields_, 2));
}

void AirportParser::metadata() {
  require_airport("airport metadata");
  if (fields_.count < 3) return;  // a key without a value says nothing
  const std::string_view key = fields_.at[1];
  if (key == "datum_lat")
    datum_lat_ = latitude_field(fields_.at[2]);
  else if (key == "datum_lon")
    datum_lon_ = longitude_field(fields_.at[2]);
  else if (key == "icao_code")
    icao_code_ = fields_.at[2];
}

std::optional<double> AirportParser::localizer_course(std::string_view designator) const {
  if (auto course = courses_.find(header_ident_, designator)) return course;
  if (!icao_code_.empty()) return courses_.find(icao_code_, designator);
  return std::nullopt;
}

void AirportParser::finish() {
  if (!open_) return;
  open_ = false;
  record_.ident = icao_code_.empty() ? header_ident_ : icao_code_;
  record_.runway_ends.clear();
  MeanPosition ends;
  for (const LandRunway& runway : land_) {
    for (int e = 0; e < 2; ++e) {
      const LatLon here = runway.end[e];
      const LatLon there = runway.end[1 - e];
      RunwayEnd end;
      end.designator = runway.designator[e];
      end.threshold = moved_toward(here, there, runway.displaced[e]);
      if (const auto course = localizer_course(end.designator)) {
        end.bearing = *course;
        end.magnetic = true;
      } else {
        end.bearing = true_course(here, there);
      }
      record_.runway_ends.push_back(std::move(end));
      ends.add(here);
    }
  }
  if (datum_lat_ && datum_lon_) {
    record_.reference = LatLon{*datum_lat_, *datum_lon_};
  } else if (!ends.empty()) {
    record_.reference = ends.mean();
  } else if (!others_.empty()) {
    record_.reference = others_.mean();
  } else {
    record_.reference.reset();
  }
  ++airports_;
  sink_(record_);
}

}  // namespace core_calc::navimport
