#include "navimport/import_errors.h"

namespace core_calc::navimport {
namespace {

std::string located(const std::string& path, std::size_t line, const std::string& reason) {
  if (line == 0) return path + ": " + reason;
  return path + ":" + std::to_string(line) + ": " + reason;
}

}  // namespace

DataError::DataError(std::string path, std::size_t line, const std::string& reason)
    : std::runtime_error(located(path, line, reason)), path_(std::move(path)), line_(line) {}

SourceError::SourceError(std::string path, int errno_value, const std::string& reason)
    : std::runtime_error(path + ": " + reason), path_(std::move(path)), errno_(errno_value) {}

}  // namespace core_calc::navimport
