#include "navimport/source_files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <set>

namespace core_calc::navimport {
namespace {

namespace fs = std::filesystem;

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool ends_with(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// The file's kind by its name and folder, if it is one this importer reads.
std::optional<SourceFile> recognise(const fs::path& path) {
  std::string name = path.filename().string();
  std::string base = lower(name);
  if (ends_with(base, ".gz")) {
    base.resize(base.size() - 3);
    name.resize(name.size() - 3);
  }
  const std::string p = path.string();
  if (base == "earth_awy.dat" || base == "awy.dat") return SourceFile{p, DataKind::kAirways, {}};
  if (base == "earth_fix.dat" || base == "fix.dat") return SourceFile{p, DataKind::kFixes, {}};
  if (base == "earth_nav.dat" || base == "nav.dat") return SourceFile{p, DataKind::kNavaids, {}};
  if (base == "apt.dat") return SourceFile{p, DataKind::kAirports, {}};
  if (ends_with(base, ".dat") && base.size() > 4 &&
      lower(path.parent_path().filename().string()) == "cifp")
    return SourceFile{p, DataKind::kProcedures, name.substr(0, name.size() - 4)};
  return std::nullopt;
}

std::vector<fs::path> files_below(const fs::path& dir) {
  std::vector<fs::path> files;
  std::error_code ec;
  fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec);
  if (ec) throw SourceError(dir.string(), ec.value(), ec.message());
  for (const fs::recursive_directory_iterator end; it != end; it.increment(ec)) {
    if (ec) throw SourceError(dir.string(), ec.value(), ec.message());
    if (it->is_regular_file(ec)) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

const char* kind_name(DataKind kind) {
  switch (kind) {
    case DataKind::kFixes:
      return "fixes";
    case DataKind::kNavaids:
      return "navaids";
    case DataKind::kAirports:
      return "airports";
    case DataKind::kAirways:
      return "airways";
    case DataKind::kProcedures:
      return "procedures";
  }
  return "?";
}

bool version_supported(DataKind kind, int version) {
  switch (kind) {
    case DataKind::kFixes:
      return version == 600 || version == 1100 || version == 1101 || version == 1200;
    case DataKind::kNavaids:
      return version == 810 || version == 1100 || version == 1150 || version == 1200;
    case DataKind::kAirports:
      // The airport header, runway and metadata rows read here have kept their layout
      // from version 850 on.
      return version >= 850 && version < 1300;
    case DataKind::kAirways:
      return version == 640 || version == 1100 || version == 1101;
    case DataKind::kProcedures:
      return true;  // no header
  }
  return false;
}

std::string supported_versions(DataKind kind) {
  switch (kind) {
    case DataKind::kFixes:
      return "600, 1100, 1101, 1200";
    case DataKind::kNavaids:
      return "810, 1100, 1150, 1200";
    case DataKind::kAirports:
      return "850 to 1299";
    case DataKind::kAirways:
      return "640, 1100, 1101";
    case DataKind::kProcedures:
      return "any";
  }
  return "";
}

std::vector<SourceFile> collect_sources(const std::vector<std::string>& sources) {
  if (sources.empty()) throw DataError("sources", 0, "no source files or directories given");
  std::vector<SourceFile> files;
  std::set<std::string> seen;
  auto take = [&](const SourceFile& file) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(file.path, ec);
    if (seen.insert(ec ? file.path : canonical.string()).second) files.push_back(file);
  };
  for (const std::string& source : sources) {
    std::error_code ec;
    const fs::file_status status = fs::status(source, ec);
    if (ec || !fs::exists(status))
      throw SourceError(source, ec ? ec.value() : ENOENT, "no such file or directory");
    if (fs::is_directory(status)) {
      const std::size_t before = files.size();
      for (const fs::path& path : files_below(source))
        if (const auto file = recognise(path)) take(*file);
      if (files.size() == before)
        throw DataError(source, 0, "no navigation data files found in this directory");
      continue;
    }
    const auto file = recognise(source);
    if (!file)
      throw DataError(source, 0,
                      "not a file this importer reads (earth_awy.dat, awy.dat, earth_fix.dat, "
                      "fix.dat, earth_nav.dat, nav.dat, apt.dat or CIFP/<airport>.dat, "
                      "optionally .gz)");
    take(*file);
  }
  return files;
}

std::string header_cycle(std::string_view version_line) {
  const std::size_t at = version_line.find("cycle ");
  if (at == std::string_view::npos) return {};
  std::string_view rest = version_line.substr(at + 6);
  auto digits = [&rest](std::size_t count) {
    std::string out;
    while (!rest.empty() && rest.front() >= '0' && rest.front() <= '9') {
      out += rest.front();
      rest.remove_prefix(1);
    }
    return out.size() == count ? out : std::string();
  };
  const std::string first = digits(4);
  if (first.empty()) return {};
  if (rest.empty() || rest.front() != '.') return first;  // "1802": year and number
  rest.remove_prefix(1);
  const std::string number = digits(2);  // "2013.10": the full year, then the number
  return number.empty() ? std::string() : first.substr(2) + number;
}

}  // namespace core_calc::navimport
