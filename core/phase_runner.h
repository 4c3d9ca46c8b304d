// Sends one phase's statement list through the open session, under the
// error policy: passes over what is already done, sets the timeout flag in
// phase two, shows every other failure, and goes on with the next statement.
// Phase one's probe and phase two's item-comment migration are called at
// their points of the list.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "core/report.h"
#include "core/run_view.h"
#include "odbc/database.h"
#include "scripts/script.h"

namespace sp {

// What the item-comment migration tells the phase.
struct MigrationOutcome {
    bool complete = true;      // the legacy comment columns may be dropped
    std::string message;       // shown to the user when not empty
    int copied = 0;            // lines copied into CommIns by this call
    int already_present = 0;   // flagged lines whose very comment CommIns already held
    bool connection_lost = false;
    DbError error;             // what stopped it, when connection_lost
};
using MigrationStep = std::function<MigrationOutcome(Session&, Engine)>;

struct PhaseContext {
    Session& session;
    RunView& view;
    DataSourceReport& report;
    bool& timeout_flag;
    MigrationStep migrate;
    const std::atomic<bool>* stop = nullptr;
    DbError dropped_by;  // what ended the phase with TimedOutDropped
    std::vector<int>* timed_out = nullptr;  // numbers of the phase-two statements that timed out
};

enum class PhaseEnd {
    Completed,       // the list was sent to its end
    ConnectionLost,  // the connection broke; the rest was not sent
    Interrupted,     // the user asked to stop; the rest was not sent
    TimedOutDropped, // phase two: a statement timed out and the driver dropped the
                     // connection; the timeout flag is set, the rest was not sent
};

PhaseEnd run_phase(const Script& script, PhaseContext& context);

// A failure as the report and the log keep it: where it happened, its
// message and, when the driver reported it, its codes and statement.
ReportedFailure failure_record(int phase, int number, std::string message, const DbError* error = nullptr,
                               const std::string& sql = {}, Engine engine = Engine::SqlServer);
// Keeps the failure in the data source's report and shows it.
void report_failure(DataSourceReport& report, RunView& view, ReportedFailure failure);

// The message shown when a data source's connection breaks in a phase.
std::string connection_lost_message(const std::string& data_source, const DbError& error,
                                    Engine engine = Engine::SqlServer);

}  // namespace sp
