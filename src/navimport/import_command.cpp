#include "navimport/import_command.h"

#include <chrono>

#include "common/number_text.h"

namespace core_calc::navimport {
namespace {

constexpr const char* kProgram = "core-calc-import";
constexpr const char* kUsage = "usage: core-calc-import [-h] -o DB [-q] SOURCE [SOURCE ...]";

// 1234567 as "1,234,567".
std::string grouped(std::size_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

std::string padded(std::string text, std::size_t width, bool left) {
  if (text.size() >= width) return text;
  const std::string fill(width - text.size(), ' ');
  return left ? text + fill : fill + text;
}

const char* record_word(DataKind kind) {
  switch (kind) {
    case DataKind::kFixes:
      return "fixes";
    case DataKind::kNavaids:
      return "navaids";
    case DataKind::kAirports:
      return "airports";
    case DataKind::kAirways:
      return "segments";
    case DataKind::kProcedures:
      return "rows";
  }
  return "records";
}

struct Arguments {
  std::vector<std::string> sources;
  std::string output;
  bool quiet = false;
  bool help = false;
  std::string error;  // a command line out of the form
};

Arguments parse(const std::vector<std::string>& args) {
  Arguments a;
  bool options = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options && arg == "--") {
      options = false;
    } else if (options && (arg == "-h" || arg == "--help")) {
      a.help = true;
    } else if (options && (arg == "-q" || arg == "--quiet")) {
      a.quiet = true;
    } else if (options && (arg == "-o" || arg == "--output")) {
      if (++i == args.size()) {
        a.error = "argument -o/--output: expected one argument";
        return a;
      }
      a.output = args[i];
    } else if (options && arg.starts_with("--output=")) {
      a.output = arg.substr(9);
    } else if (options && arg.size() > 2 && arg.starts_with("-o")) {
      a.output = arg.substr(2);
    } else if (options && arg.size() > 1 && arg.front() == '-') {
      a.error = "unrecognized arguments: " + arg;
      return a;
    } else {
      a.sources.push_back(arg);
    }
  }
  if (a.help) return a;
  if (a.output.empty())
    a.error = "the following arguments are required: -o/--output";
  else if (a.sources.empty())
    a.error = "the following arguments are required: SOURCE";
  return a;
}

class Progress : public ImportObserver {
 public:
  Progress(CommandOutput& output, bool quiet) : output_(output), quiet_(quiet) {}
  void file_done(const FileReport& report) override {
    output_.still_working();
    if (!quiet_) output_.out(file_line(report));
  }
  void still_working() override { output_.still_working(); }

 private:
  CommandOutput& output_;
  bool quiet_;
};

void help(CommandOutput& output) {
  output.out(kUsage);
  output.out("");
  output.out("Import X-Plane-format navigation data files into a navigation database.");
  output.out("");
  output.out("positional arguments:");
  output.out("  SOURCE                a data file or a directory holding them");
  output.out("");
  output.out("options:");
  output.out("  -h, --help            show this help message and exit");
  output.out("  -o DB, --output DB    the database to write (replaced when the import succeeds)");
  output.out("  -q, --quiet           print only the summary");
}

}  // namespace

std::string file_line(const FileReport& r) {
  std::string parts = grouped(r.records) + " " + record_word(r.kind);
  for (const auto& [count, word] :
       {std::pair{r.duplicates, "duplicates"}, std::pair{r.unresolved, "unresolved"},
        std::pair{r.skipped, "skipped"}})
    if (count) parts += ", " + grouped(count) + " " + word;
  const std::string version = r.version ? std::to_string(r.version) : "-";
  return padded(kind_name(r.kind), 10, true) + " " + padded(version, 5, false) + "  " + r.path +
         ": " + parts + " (" + grouped(r.lines) + " lines, " + fixed_text(r.seconds, 2) + " s)";
}

int import_command(const std::vector<std::string>& args, CommandOutput& output) {
  const Arguments a = parse(args);
  if (a.help) {
    help(output);
    return 0;
  }
  if (!a.error.empty()) {
    output.err(kUsage);
    output.err(std::string(kProgram) + ": error: " + a.error);
    return 2;
  }
  const auto started = std::chrono::steady_clock::now();
  Progress progress(output, a.quiet);
  TableCounts counts;
  try {
    counts = import_navdata(a.sources, a.output, &progress);
  } catch (const ImportInterrupted&) {
    output.err(std::string(kProgram) + ": interrupted, nothing written");
    return 130;
  } catch (const std::runtime_error& e) {  // DataError, SourceError, OutputError
    output.err(std::string(kProgram) + ": " + e.what());
    output.err(std::string(kProgram) + ": nothing written to " + a.output);
    return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  output.out("wrote " + a.output + " in " + fixed_text(seconds, 2) + " s:");
  for (const auto& [table, rows] : counts)
    output.out("  " + padded(table, 20, true) + " " + padded(grouped(rows), 10, false) + " rows");
  return 0;
}

}  // namespace core_calc::navimport
