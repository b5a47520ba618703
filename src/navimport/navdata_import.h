// Importing X-Plane-format navigation data files into a navigation database the
// module reads: the entry point of this library.
//
// Files are read in dependency order, whatever order they are named in: fixes and
// navaids first (airways and procedures refer to them), then airports, airways and
// procedures. Within a kind the file named first wins where two files describe the
// same thing (an airport, a procedure file of the same airport).
//
// The database is written beside `db_path` and renamed into place only when it is
// complete; any error leaves no database behind and an existing one untouched.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "navimport/import_errors.h"
#include "navimport/navdb_writer.h"
#include "navimport/source_files.h"

namespace core_calc::navimport {

// What one file contributed.
struct FileReport {
  std::string path;
  DataKind kind;
  int version = 0;  // 0 for procedure files (they carry none)
  std::size_t lines = 0;
  std::size_t records = 0;     // fixes, navaids, airports, airway segments or procedure rows kept
  std::size_t duplicates = 0;  // records already given by an earlier line or file
  std::size_t unresolved = 0;  // references to fixes or navaids that were not found
  std::size_t skipped = 0;     // records of types this import does not use
  double seconds = 0.0;
};

// Told about progress; both calls happen on the importing thread. Either may throw
// to stop the import (nothing is left behind).
class ImportObserver {
 public:
  virtual ~ImportObserver() = default;
  virtual void file_done(const FileReport& report) = 0;
  // Called now and then while a large file is read.
  virtual void still_working() {}
};

// Throws DataError (damaged or unrecognised data), SourceError (a source that
// cannot be read) or OutputError (the database cannot be written).
TableCounts import_navdata(const std::vector<std::string>& sources, const std::string& db_path,
                           ImportObserver* observer = nullptr);

}  // namespace core_calc::navimport
