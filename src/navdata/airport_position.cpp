#include "navdata/airport_position.h"

#include <vector>

#include "navdata/procedure_table.h"

namespace core_calc::navdata {
namespace {

// A stored value that is not a number.
struct ConversionError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

double degrees(const SqlValue& stored) {
  double value = 0.0;
  if (!stored_real(stored, value))
    throw ConversionError("could not convert string to float: '" + stored_text(stored) + "'");
  return value;
}

std::optional<Position> reference_point(const Database& db, const std::string& code) {
  Statement st(db,
               "SELECT airport_ref_latitude, airport_ref_longitude FROM airports WHERE "
               "airport_identifier = ?");
  st.bind_text(1, code);
  if (!st.step()) return std::nullopt;  // rows beyond the first are ignored
  const SqlValue lat = st.column_value(0);
  const SqlValue lon = st.column_value(1);
  if (lat.is_null() || lon.is_null()) return std::nullopt;
  const double lat_deg = degrees(lat);
  return Position{lat_deg, degrees(lon)};
}

// Plain means of the degree values: runways of one airport lie close together.
std::optional<Position> runway_mean(const Database& db, const std::string& code) {
  Statement st(db,
               "SELECT runway_latitude, runway_longitude FROM tbl_runways WHERE "
               "airport_identifier = ?");
  st.bind_text(1, code);
  std::vector<Position> points;
  while (st.step()) {
    const SqlValue lat = st.column_value(0);
    const SqlValue lon = st.column_value(1);
    if (lat.is_null() || lon.is_null()) continue;
    const double lat_deg = degrees(lat);
    points.push_back({lat_deg, degrees(lon)});
  }
  if (points.empty()) return std::nullopt;
  double lat_sum = 0.0, lon_sum = 0.0;
  for (const Position& p : points) {
    lat_sum += p.lat;
    lon_sum += p.lon;
  }
  const auto count = static_cast<double>(points.size());
  return Position{lat_sum / count, lon_sum / count};
}

}  // namespace

std::string airport_position_failure_line(std::string_view icao, std::string_view error) {
  return "Error reading airport coord for " + std::string(icao) + ": " + std::string(error);
}

AirportPositionLoad read_airport_position(const Database& db, const std::string& code,
                                          std::string_view code_as_passed) {
  AirportPositionLoad load;
  try {
    load.position = reference_point(db, code);
    if (!load.position) load.position = runway_mean(db, code);
  } catch (const std::exception& e) {
    load.position.reset();
    load.failure = airport_position_failure_line(code_as_passed, e.what());
  }
  return load;
}

AirportPositionLoad load_airport_position(ConnectionPool& pool, const std::string& db_path,
                                          const std::string& code,
                                          std::string_view code_as_passed) {
  const ConnectionPool::Lease lease = pool.lease(db_path);
  return read_airport_position(lease.db(), code, code_as_passed);
}

}  // namespace core_calc::navdata
