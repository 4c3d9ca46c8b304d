// The statements of the item-comment migration, in each engine's wording,
// embedded from sqlserver.sql and pervasive.sql beside this file.
#pragma once

#include <string>

#include "scripts/script.h"

namespace sp {

struct MigrationStatements {
    std::string read;    // the flagged quote lines: QuoteID, Line, deItemComType, deItemCom
    std::string insert;  // one CommIns row; five markers: QuoteID, Line, CoInType, Number, CommIns
    std::string existing;  // the CommIns rows with Number 1: QuoteID, Line, CoInType, CommIns
    std::string count;     // how many lines are flagged (for the progress shown)
};

const MigrationStatements& migration_statements(Engine engine);

}  // namespace sp
