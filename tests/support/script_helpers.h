// The statement lists read straight from their data files' text, without the
// program's parser: one statement a line, "--" lines are comments or
// directives, and "--@if-probe" ... "--@end-if" hold the probe's block.
#pragma once

#include <string>
#include <vector>

#include "scripts/script.h"

namespace sp::testing {

// The text of statement `number` of phase `phase` of the engine.
std::string statement(Engine engine, int phase, int number);

// Every statement a run sends to a data source of the engine, in order,
// leaving out the probe's block unless asked for.
std::vector<std::string> run_statements(Engine engine, bool with_probe_block);

}  // namespace sp::testing
