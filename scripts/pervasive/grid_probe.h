// The Pervasive GridColumns probe of phase one. When the query finds the row
// whose ColumnID is 1 it removes that row; it answers true whenever the query
// could be run and the removal, where one was needed, succeeded, and then the
// standard grid rows are sent. It ends silently at its first failure with the
// answer it holds at that moment.
#pragma once

#include <string>

#include "odbc/database.h"

namespace sp::pervasive {

bool grid_probe(Session& session, const std::string& query, const std::string& delete_sql);

}  // namespace sp::pervasive
