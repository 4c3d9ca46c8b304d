// What the database of an engine holds once the update is through, read from
// the statement lists themselves (their CREATE TABLE, ALTER TABLE ... ADD and
// DROP COLUMN, CREATE PROCEDURE and CREATE FUNCTION statements), so that a
// statement added to a list is expected without a second list to keep.
#pragma once

#include <string>
#include <vector>

#include "scripts/script.h"

namespace sp {

struct TableColumn {
    std::string table;
    std::string column;
    bool operator==(const TableColumn&) const = default;
};

struct ExpectedObjects {
    // Tables the lists change but never create: every version of the product has them.
    std::vector<std::string> product_tables;
    std::vector<std::string> created_tables;
    std::vector<TableColumn> added_columns;    // that no later statement drops
    std::vector<TableColumn> dropped_columns;  // that no later statement adds again
    std::vector<std::string> routines;         // stored procedures and functions created
};

// Names without brackets or owner ("[dbo].[Quote]" is "Quote"), in list order, each once.
ExpectedObjects derive_expected_objects(const std::vector<Script>& phases);

// Of the engine's lists, derived once.
const ExpectedObjects& expected_objects(Engine engine);

}  // namespace sp
