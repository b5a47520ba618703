// The loop every data file shares: records one per line after the header, blank
// lines ignored, "99" closing the file. A parser sees only the text of a record;
// its LineError becomes a DataError naming the file and the line.
#pragma once

#include <cstddef>
#include <string_view>

#include "navimport/import_errors.h"
#include "navimport/text_fields.h"

namespace core_calc::navimport {

// Called every kTickLines lines, so that a long file can be interrupted.
struct WalkTicker {
  virtual ~WalkTicker() = default;
  virtual void tick() = 0;
};

inline constexpr std::size_t kTickLines = std::size_t{1} << 18;

struct WalkCounts {
  std::size_t lines = 0;  // lines read, header included
};

// Feeds every record line to parser.line(text). With `closed` the file must end with
// the "99" line: a file without it was cut short, and lines after it are ignored.
template <class Lines, class Parser>
WalkCounts walk_records(Lines& lines, Parser& parser, bool closed, WalkTicker* ticker) {
  std::string_view line;
  bool ended = false;
  while (lines.next(line)) {
    if (ticker && lines.line_number() % kTickLines == 0) ticker->tick();
    const std::string_view text = trim(line);
    if (text.empty()) continue;
    if (closed && text == "99") {
      ended = true;
      break;
    }
    try {
      parser.line(text);
    } catch (const LineError& e) {
      throw DataError(lines.path(), lines.line_number(), e.what());
    }
  }
  if (closed && !ended)
    throw DataError(lines.path(), lines.line_number(),
                    "the file ends without its closing \"99\" line (it is incomplete)");
  return WalkCounts{lines.line_number()};
}

}  // namespace core_calc::navimport
