// The SQL Server GridColumns probe of phase one: true when the table already
// holds its first grid row, so the standard grid rows are not sent again;
// false when it holds none or the query cannot be run. It changes nothing and
// ends silently at its first failure.
#pragma once

#include <string>

#include "odbc/database.h"

namespace sp::sqlserver {

bool grid_probe(Session& session, const std::string& query);

}  // namespace sp::sqlserver
