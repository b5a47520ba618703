// The weather service request: one HTTP(S) GET with the access-key header, a
// hard time limit and a bounded body, because the service lies outside our trust.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "navdata/wind_report.h"

namespace core_calc::navdata {

// Limits of one weather request.
inline constexpr long kWeatherTimeoutMs = 2000;          // whole request, connect included
inline constexpr std::size_t kMaxWeatherBody = 1 << 20;  // larger bodies count as no reply

struct HttpReply {
  long status = 0;
  std::string body;
};

// Every byte other than ASCII letters, digits and "-._~" as %XX, so a code from an
// API client can neither end the query nor add parameters or headers.
std::string percent_encode(std::string_view bytes);

// True for "http://..." and "https://..." (scheme in any letter case) without
// control characters or spaces; nothing else is ever requested.
bool is_allowed_service_url(std::string_view url);

// base_url + "/map/get_weather.php?icao=" + the encoded code.
std::string weather_request_url(std::string_view base_url, std::string_view icao_upper);

// One GET of `url` with the header "name: value". No redirects are followed and TLS
// certificates are verified. Returns no reply for a disallowed URL or header, a
// transport failure, the time limit, or a body above kMaxWeatherBody. Safe to call
// from several threads at once; it never raises signals.
std::optional<HttpReply> http_get(const std::string& url, std::string_view header_name,
                                  std::string_view header_value);

// The weather request for one airport; no reply when no service is configured
// (empty base URL) or the request fails as above.
std::optional<HttpReply> request_weather(const std::string& base_url, const std::string& api_key,
                                         const std::string& icao_upper);

// One request to the service at `base_url` and its report; never throws.
WindReport fetch_wind_report(const std::string& base_url, const std::string& api_key,
                             const std::string& icao_upper);

}  // namespace core_calc::navdata
