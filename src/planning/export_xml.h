// Text inside the XML documents the exports write (GPX, .pln, .fpl).
#pragma once

#include <string>

namespace core_calc::planning {

// Text for XML attribute values (and, with `quotes` false, element content, where
// quotes stand as they are: positions read N54° 22' 38.40" as the simulators write
// them). Control characters other than tab, line feed and carriage return cannot
// appear in XML 1.0 and are left out.
inline std::string xml_text(const std::string& text, bool quotes = true) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    if (!quotes && (ch == '"' || ch == '\'')) {
      out += ch;
      continue;
    }
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        if (static_cast<unsigned char>(ch) >= 0x20 || ch == '\t' || ch == '\n' || ch == '\r')
          out += ch;
    }
  }
  return out;
}

// <tag>text</tag>
inline void xml_element(std::string& out, const char* tag, const std::string& text) {
  out += std::string("<") + tag + ">" + xml_text(text, false) + "</" + tag + ">";
}

}  // namespace core_calc::planning
