// The report of an unattended run, as text for people or one JSON document
// for tools, and the exit status that sums it up.
#pragma once

#include <ostream>
#include <string>

#include "core/report.h"

namespace sp {

enum ExitStatus {
    kExitOk = 0,           // every data source done, no failure reported
    kExitFailure = 1,      // a failure was reported
    kExitUsage = 2,        // the command line was wrong
    kExitUnreachable = 3,  // a data source could not be connected, was refused, or its connection was lost
    kExitBusy = 5,         // another run is under way on this machine or on a SQL Server database of the run
    kExitInterrupted = 130,
};

// The version of the JSON report's layout ("format"); raised when a field
// changes meaning or goes away, not when one is added.
inline constexpr int kReportJsonFormat = 1;

int exit_status(const RunReport& report);

// How the report words a data source's outcome for people.
const char* outcome_text(DataSourceOutcome outcome);

// log_path: the run's log, named at the end (empty: no log).
void print_report_text(const RunReport& report, std::ostream& out, const std::string& log_path = {});
void print_report_json(const RunReport& report, std::ostream& out, const std::string& log_path = {});

}  // namespace sp
