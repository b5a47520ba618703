// Which files an import reads: the sources named by the caller (files or
// directories, searched recursively) narrowed to the files recognised by name, and
// the format version each declares in its header.
//
// Names: earth_awy.dat / awy.dat (airways), earth_fix.dat / fix.dat (fixes),
// earth_nav.dat / nav.dat (navaids), apt.dat (airports) and CIFP/<airport>.dat
// (procedures), each optionally with ".gz". The header (an "I" or "A" line, then
// "<version> Version ...") decides the layout, not the name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "navimport/import_errors.h"
#include "navimport/text_fields.h"

namespace core_calc::navimport {

enum class DataKind { kFixes, kNavaids, kAirports, kAirways, kProcedures };

struct SourceFile {
  std::string path;
  DataKind kind;
  std::string airport;  // procedures: the airport named by the file
};

const char* kind_name(DataKind kind);

// Recognised files in the order given (a directory's files in path order), each
// once. A named file that is not recognised, a directory without any, or an empty
// list is a DataError; a missing path a SourceError.
std::vector<SourceFile> collect_sources(const std::vector<std::string>& sources);

bool version_supported(DataKind kind, int version);
std::string supported_versions(DataKind kind);

struct FileHeader {
  int version = 0;
  std::string cycle;  // the AIRAC cycle the header names ("1802"), empty when none
};

// The AIRAC cycle of a version line: "... data cycle 1802, ..." gives "1802", the
// older "data cycle 2013.10" gives "1310"; empty when the line names none.
std::string header_cycle(std::string_view version_line);

// Reads the header lines and returns the declared version (DataError when there is
// none or it is not supported) and the data cycle.
template <class Lines>
FileHeader read_header(Lines& lines, DataKind kind) {
  std::string_view line;
  std::string_view text;
  do {
    if (!lines.next(line)) throw DataError(lines.path(), 0, "the file is empty");
    text = trim(line);
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text = trim(text.substr(3));
  } while (text.empty());
  if (text == "I" || text == "A") {
    if (!lines.next(line)) throw DataError(lines.path(), lines.line_number(), "no version line");
    text = trim(line);
  }
  std::size_t digits = 0;
  while (digits < text.size() && digits < 6 && text[digits] >= '0' && text[digits] <= '9') ++digits;
  long version = 0;
  if (digits == 0 || (digits < text.size() && text[digits] != ' ' && text[digits] != '\t') ||
      !parse_integer(text.substr(0, digits), version))
    throw DataError(lines.path(), lines.line_number(),
                    "the header should give the format version (\"1100 Version ...\")");
  if (!version_supported(kind, static_cast<int>(version)))
    throw DataError(lines.path(), lines.line_number(),
                    "version " + std::to_string(version) + " of " + kind_name(kind) +
                        " is not supported (supported: " + supported_versions(kind) + ")");
  return {static_cast<int>(version), header_cycle(text)};
}

}  // namespace core_calc::navimport
