// The command line of an import, as the core-calc-import command runs it (the
// native program and the module's console script alike):
//
//     core-calc-import SOURCE... -o DB [-q]
//
// One line per file read (none with -q), then the database written and its rows
// per table. Exit status 0 on success, 1 when the data or a path is at fault
// (nothing is written then), 2 for a command line that is not of this form, 130
// when the output's still_working() stops the import with ImportInterrupted.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "navimport/navdata_import.h"

namespace core_calc::navimport {

// Where the command writes: lines without their line break.
class CommandOutput {
 public:
  virtual ~CommandOutput() = default;
  virtual void out(std::string_view line) = 0;
  virtual void err(std::string_view line) = 0;
  // Called now and then while files are read; throws ImportInterrupted to stop.
  virtual void still_working() {}
};

struct ImportInterrupted : std::runtime_error {
  ImportInterrupted() : std::runtime_error("interrupted") {}
};

// `args` without the program name.
int import_command(const std::vector<std::string>& args, CommandOutput& output);

// The progress line of one file, e.g.
// "fixes       1200  earth_fix.dat: 198,612 fixes (198,620 lines, 0.12 s)".
std::string file_line(const FileReport& report);

}  // namespace core_calc::navimport
