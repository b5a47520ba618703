#include "common/text_repr.h"

#include <cstdint>
#include <cstdio>

namespace core_calc {
namespace {

// Decodes one UTF-8 sequence at `i`; malformed bytes come back as themselves
// (below 0x100) so they are escaped rather than lost.
char32_t next_code_point(std::string_view s, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i);
  int length = lead < 0x80           ? 1
               : (lead >> 5) == 0x6  ? 2
               : (lead >> 4) == 0xE  ? 3
               : (lead >> 3) == 0x1E ? 4
                                     : 0;
  if (length == 0 || i + length > s.size()) {
    ++i;
    return lead;
  }
  char32_t cp = length == 1 ? lead : lead & (0x3F >> (length - 1));
  for (int k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return lead;
    }
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  i += length;
  return cp;
}

// Non-ASCII code points the host escapes: separators, format characters,
// C1 controls, surrogates and private use.
bool prints(char32_t c) {
  if (c < 0x20 || c == 0x7F) return false;
  if (c < 0x7F) return true;
  if (c <= 0xA0 || c == 0xAD) return false;
  if (c == 0x1680 || c == 0x180E || (c >= 0x2000 && c <= 0x200F) || (c >= 0x2028 && c <= 0x202F) ||
      (c >= 0x205F && c <= 0x206F) || c == 0x3000 || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB))
    return false;
  if ((c >= 0x600 && c <= 0x605) || c == 0x61C || c == 0x6DD || c == 0x70F) return false;
  if ((c >= 0xD800 && c <= 0xF8FF) || c >= 0xF0000) return false;
  return true;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void append_escape(std::string& out, char32_t c) {
  char buf[16];
  if (c < 0x100)
    std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(c));
  else if (c < 0x10000)
    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
  else
    std::snprintf(buf, sizeof buf, "\\U%08x", static_cast<unsigned>(c));
  out += buf;
}

}  // namespace

std::string quoted_text(std::string_view utf8) {
  const bool has_single = utf8.find('\'') != std::string_view::npos;
  const bool has_double = utf8.find('"') != std::string_view::npos;
  const char quote = has_single && !has_double ? '"' : '\'';
  std::string out(1, quote);
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t c = next_code_point(utf8, i);
    if (c == static_cast<char32_t>(quote) || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (prints(c)) {
      append_utf8(out, c);
    } else {
      append_escape(out, c);
    }
  }
  out += quote;
  return out;
}

}  // namespace core_calc
