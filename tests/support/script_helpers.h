// Small helpers for tests that run the statement lists against the fake.
#pragma once

#include <string>
#include <vector>

#include "scripts/script.h"

namespace sp::testing {

// The text of statement `number` of phase `phase` of the engine.
const std::string& statement(Engine engine, int phase, int number);

// The "sql" values of the dry run's JSON Lines, in order, leaving out the
// conditional ones unless asked for.
std::vector<std::string> dry_run_statements(Engine engine, bool with_conditional);

}  // namespace sp::testing
