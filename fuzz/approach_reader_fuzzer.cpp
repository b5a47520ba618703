// Fuzz target: the approach reader on an arbitrary database image, for a runway
// given with and without its "RW" prefix and for no runway.
#include <cstddef>
#include <cstdint>

#include "fuzz_database.h"
#include "navdata/approach_reader.h"

namespace {

// Every record is a way in that can be flown: it has points and starts at its
// initial fix.
void check(const core_calc::navdata::ApproachLoad& load) {
  for (const auto& approach : load.approaches)
    if (approach.points.empty() || approach.initial_fix != approach.points.front().name)
      __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const core_calc::fuzz::FuzzDatabase db(data, size);
  for (const char* runway : {"RW09L", "09", ""})
    check(core_calc::navdata::read_approaches(db.get(), "ZSSS", "tbl_iaps", runway));
  return 0;
}
