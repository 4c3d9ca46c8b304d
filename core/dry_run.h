// The dry run: prints what a run sends to a data source of one engine, in
// sending order, without connecting to anything. As a script a database
// administrator can read, or as JSON Lines for tools.
#pragma once

#include <ostream>

#include "scripts/script.h"

namespace sp {

enum class DryRunFormat { Text, Json };

void print_dry_run(Engine engine, DryRunFormat format, std::ostream& out);

}  // namespace sp
