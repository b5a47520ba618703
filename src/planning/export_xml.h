// Text inside the XML documents the exports write (GPX, .pln, .fpl).
#pragma once

#include <string>

namespace core_calc::planning {

// Text for XML content and attribute values. Control characters other than tab,
// line feed and carriage return cannot appear in XML 1.0 and are left out.
inline std::string xml_text(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
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
  out += std::string("<") + tag + ">" + xml_text(text) + "</" + tag + ">";
}

}  // namespace core_calc::planning
