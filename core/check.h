// The read-only check: what the update would change on each data source a run
// would visit, before anything is changed. The state is read through the
// driver's catalog functions (a handful of calls, whatever the number of
// objects) and, while the legacy comment columns remain, two SELECTs of the
// item comments. Nothing that changes anything is sent.
#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/run_driver.h"
#include "migration/item_comments.h"
#include "odbc/database.h"
#include "scripts/expected_objects.h"

namespace sp {

enum class CheckVerdict {
    UpToDate,            // every object of 5.4.0 is there, no comment left to move
    NeedsUpdate,         // something is missing, to drop or to move
    NotProductDatabase,  // none of the tables that every version of the product has
    NotChecked,          // connected, but the catalog or the comments could not be read
    CannotConnect,       // the connection could not be opened (or the name was refused)
};

struct DataSourceCheck {
    Engine engine = Engine::SqlServer;
    std::string name;
    CheckVerdict verdict = CheckVerdict::CannotConnect;
    std::string error;  // NotChecked, CannotConnect: what went wrong

    ServerInfo server;            // as the driver reports it
    bool engine_matches = false;  // the engine of the list the data source was found in
    std::vector<std::string> product_tables;  // of the tables every version has, those found

    std::vector<std::string> missing_tables;   // of those the update creates
    std::vector<TableColumn> missing_columns;  // of those it adds
    std::vector<TableColumn> columns_to_drop;  // of those it drops, still there
    std::vector<std::string> missing_routines;  // SQL Server: procedures and the function

    bool legacy_comment_columns = false;  // deItemComType and deItemCom still in Details
    int lines_to_move = 0;                // flagged lines the migration would copy
    int lines_in_comm_ins = 0;            // flagged lines whose row CommIns already holds
    std::vector<CommentSurvey::Unmovable> unmovable;  // every one, in the order read

    std::chrono::milliseconds elapsed{0};
};

struct CheckReport {
    std::vector<DataSourceCheck> data_sources;
    bool interrupted = false;
};

// Reads the state of the connected database of the engine.
DataSourceCheck inspect_database(Session& session, Engine engine);

// The one message for a database that has none of the product's tables (what
// the driver says it is, which database); nullopt when it has one of them, or
// when the catalog cannot be read, so that an update is never refused on a doubt.
std::optional<std::string> foreign_database_message(Session& session, Engine engine, const std::string& name);

// Checks the data sources of both lists in a run's order, each on its own
// connection asked to be read-only, with the run's timeouts and stop flag.
CheckReport check_data_sources(const DataSourceLists& lists, Connector& connector, const RunSettings& settings);

// 0 every data source up to date, 1 one needs the update, 3 one could not be
// connected, checked or was refused (the highest wins), 130 interrupted.
int check_exit_status(const CheckReport& report);

void print_check_text(const CheckReport& report, std::ostream& out);
void print_check_json(const CheckReport& report, std::ostream& out);

}  // namespace sp
