// Native records of departure and arrival procedures and of instrument approaches:
// the readers produce them, the planner consumes them, and the module converts
// them to and from the host's Procedure and Approach records.
#pragma once

#include <string>
#include <vector>

#include "navdata/database.h"

namespace core_calc::navdata {

// One fix of a procedure. `seq` keeps the stored kind of the sequence number
// (integer, real or text), because hosts see the value exactly as stored.
struct ProcedurePoint {
  std::string name;
  double lat;
  double lon;
  SqlValue seq;
};

struct ProcedureRecord {
  std::string airport;
  std::string name;
  std::vector<ProcedurePoint> points;
};

struct ApproachRecord {
  std::string name;
  std::string runway;
  std::string initial_fix;
  std::vector<ProcedurePoint> points;
};

}  // namespace core_calc::navdata
