// Fuzz target: the SID and STAR reader on an arbitrary database image, departure
// and arrival tables, with and without a runway.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_database.h"
#include "navdata/procedure_reader.h"

namespace {

using core_calc::navdata::ProcedureLoad;

// What every load promises: procedures of two points or more, one per identifier,
// in ascending identifier order.
void check(const ProcedureLoad& load) {
  const std::string* previous = nullptr;
  for (const auto& procedure : load.procedures) {
    if (procedure.points.size() < 2) __builtin_trap();
    if (previous && !(*previous < procedure.name)) __builtin_trap();
    previous = &procedure.name;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const core_calc::fuzz::FuzzDatabase db(data, size);
  for (const char* table : {"tbl_sids", "tbl_stars"})
    for (const char* runway : {"", "RW09L"})
      check(core_calc::navdata::read_procedures(db.get(), "ZSSS", table, runway));
  return 0;
}
