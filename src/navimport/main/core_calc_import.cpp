// core-calc-import as a native program: the import command on standard output and
// standard error (navimport/import_command.h).
#include <iostream>
#include <string>
#include <vector>

#include "navimport/import_command.h"

namespace {

class StandardStreams : public core_calc::navimport::CommandOutput {
 public:
  void out(std::string_view line) override { std::cout << line << std::endl; }
  void err(std::string_view line) override { std::cerr << line << std::endl; }
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  StandardStreams streams;
  return core_calc::navimport::import_command(args, streams);
}
