#pragma once
// The COFF symbol scan: walks a module's symbol records once, in table order, checks each
// record's section number and auxiliary count, and notes what the model needs to know into
// the module's facts.
#include "engine/diagnostics.h"
#include "engine/object_reader.h"

namespace quorv {

// 1 when any error was reported or memory ran short, 0 otherwise. The facts go to work.facts.
int process_symbol_table(const Diagnostics& diagnostics, ModuleWorkingSet& work);

}  // namespace quorv
