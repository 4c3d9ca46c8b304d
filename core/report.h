// What a run did to each data source: the result object of the run driver,
// which the command line prints as its report.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "scripts/script.h"

namespace sp {

// A failure that was shown to the user.
struct ReportedFailure {
    int phase = 0;   // 0: not inside a phase (connecting)
    int number = 0;  // statement number in its phase; 0 for the probe, the migration or the connection
    std::string message;
    // What the driver reported, for the log and the JSON report (empty and 0
    // where the failure is none of the driver's, as a refused name).
    std::string sqlstate{};
    std::int32_t native_error = 0;
    std::int32_t ado_number = 0;  // the number the message starts with
    std::string statement{};      // the first line of the statement sent
};

enum class CommentMove {
    NotReached,  // the migration did not run
    Moved,       // every flagged line is in CommIns, or the legacy columns were already gone
    Kept,        // some lines could not be moved; the legacy comment columns were kept
};

enum class DataSourceOutcome {
    Done,            // every run of the data source reached its last phase's end
    Refused,         // the name could add attributes to the connection string
    NotProductDatabase,  // none of the product's tables: refused before anything was sent
    ConnectFailed,   // the connection could not be opened
    ConnectionLost,  // the connection broke during a phase; the run was abandoned
    Interrupted,     // the user interrupted the run
    TimedOut,        // phase two still timed out when the engine's re-runs were spent: not completed
    Busy,            // SQL Server: another run holds the database's application lock; nothing sent
};

struct DataSourceReport {
    Engine engine = Engine::SqlServer;
    std::string name;
    int runs = 0;              // runs of the data source, re-runs included
    int statements_sent = 0;   // statements of the lists, over all runs
    int passed_silently = 0;   // failed but passed over by the error policy
    int timed_out = 0;         // timed out in phase two (the timeout flag, no message)
    std::vector<ReportedFailure> failures;
    bool timeout_rerun = false;    // a timeout in phase two forced a re-run
    CommentMove comments = CommentMove::NotReached;  // as of the last run
    int comments_copied = 0;   // lines the migration copied into CommIns, over all runs
    DataSourceOutcome outcome = DataSourceOutcome::Done;
    std::chrono::milliseconds elapsed{0};
    int comments_present = 0;  // as of the last run: flagged lines whose comment CommIns already held
    std::chrono::milliseconds migration_elapsed{0};  // time spent in the migration, over all runs
};

struct RunReport {
    std::vector<DataSourceReport> data_sources;
    bool interrupted = false;
    std::chrono::system_clock::time_point started, finished;

    bool any_failure() const {
        for (const auto& d : data_sources)
            if (!d.failures.empty()) return true;
        return false;
    }
};

}  // namespace sp
