#include "navdata/weather_client.h"

#include <curl/curl.h>

#include <memory>

namespace core_calc::navdata {
namespace {

// libcurl must be initialised once per process before the first handle; a
// function-local static makes that happen exactly once even with concurrent callers.
bool curl_ready() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;

// Collects the body and gives up once it exceeds the cap: returning less than
// offered makes libcurl abort the transfer, so an endless body cannot exhaust memory.
struct BodySink {
  std::string body;
  bool too_large = false;

  static std::size_t write(char* data, std::size_t size, std::size_t count, void* self) {
    auto* sink = static_cast<BodySink*>(self);
    const std::size_t bytes = size * count;
    if (sink->body.size() + bytes > kMaxWeatherBody) {
      sink->too_large = true;
      return 0;
    }
    sink->body.append(data, bytes);
    return bytes;
  }
};

bool is_unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// CR, LF or NUL in a header would end it early and let the rest pass as
// another header line.
bool is_safe_header_part(std::string_view part) {
  return part.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// "name;" is libcurl's way to send a header with an empty value; "name:" would
// remove the header instead.
std::string header_line(std::string_view name, std::string_view value) {
  std::string line(name);
  if (value.empty()) return line + ";";
  line += ": ";
  line += value;
  return line;
}

// Applies the options of a weather request; false when libcurl refuses any of
// them, so a library that cannot honour a restriction sends nothing.
bool configure(CURL* curl, const std::string& url, curl_slist* headers, BodySink& sink) {
  bool ok = true;
  auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };
  set(curl_easy_setopt(curl, CURLOPT_URL, url.c_str()));
  set(curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https"));
  set(curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L));
  set(curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers));
  set(curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L));
  set(curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L));
  set(curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L));
  set(curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kWeatherTimeoutMs));
  set(curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kWeatherTimeoutMs));
  // Several host threads may request at once; signals would disturb the host.
  set(curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L));
  // The module is configured only through its attributes, never through proxy
  // variables of the environment.
  set(curl_easy_setopt(curl, CURLOPT_PROXY, ""));
  // Refuses an announced oversized body before any of it is read.
  set(curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxWeatherBody)));
  set(curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &BodySink::write));
  set(curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink));
  return ok;
}

}  // namespace

std::string percent_encode(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (is_unreserved(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

bool is_allowed_service_url(std::string_view url) {
  for (const char ch : url) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F) return false;
  }
  return starts_with_nocase(url, "http://") || starts_with_nocase(url, "https://");
}

std::string weather_request_url(std::string_view base_url, std::string_view icao_upper) {
  std::string url(base_url);
  url += "/map/get_weather.php?icao=";
  url += percent_encode(icao_upper);
  return url;
}

std::optional<HttpReply> http_get(const std::string& url, std::string_view header_name,
                                  std::string_view header_value) {
  if (!is_allowed_service_url(url) || !is_safe_header_part(header_name) ||
      !is_safe_header_part(header_value) || !curl_ready())
    return std::nullopt;
  EasyHandle curl(curl_easy_init());
  if (!curl) return std::nullopt;
  const std::string line = header_line(header_name, header_value);
  HeaderList headers(curl_slist_append(nullptr, line.c_str()));
  if (!headers) return std::nullopt;
  BodySink sink;
  if (!configure(curl.get(), url, headers.get(), sink)) return std::nullopt;
  if (curl_easy_perform(curl.get()) != CURLE_OK || sink.too_large) return std::nullopt;
  HttpReply reply;
  if (curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &reply.status) != CURLE_OK)
    return std::nullopt;
  reply.body = std::move(sink.body);
  return reply;
}

std::optional<HttpReply> request_weather(const std::string& base_url, const std::string& api_key,
                                         const std::string& icao_upper) {
  if (base_url.empty()) return std::nullopt;
  return http_get(weather_request_url(base_url, icao_upper), "X-API-KEY", api_key);
}

WindReport fetch_wind_report(const std::string& base_url, const std::string& api_key,
                             const std::string& icao_upper) {
  // The weather only refines the ranking: any failure here means "no wind".
  try {
    const std::optional<HttpReply> reply = request_weather(base_url, api_key, icao_upper);
    if (!reply || reply->status != 200) return {};
    return parse_wind_report(reply->body, icao_upper);
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace core_calc::navdata
