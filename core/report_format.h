// The report of an unattended run, as text for people or one JSON document
// for tools, and the exit status that sums it up.
#pragma once

#include <ostream>

#include "core/report.h"

namespace sp {

enum ExitStatus {
    kExitOk = 0,           // every data source done, no failure reported
    kExitFailure = 1,      // a failure was reported
    kExitUsage = 2,        // the command line was wrong
    kExitUnreachable = 3,  // a data source could not be connected, was refused, or its connection was lost
    kExitInterrupted = 130,
};

int exit_status(const RunReport& report);

void print_report_text(const RunReport& report, std::ostream& out);
void print_report_json(const RunReport& report, std::ostream& out);

}  // namespace sp
