// How a failed statement is treated. Drivers report failures as SQLSTATEs
// and native errors; the policy sorts them into what the upgrade does with
// them, and numbers the message the way administrators know these failures
// from earlier versions of the service pack (the ADO error numbers).
#pragma once

#include <cstdint>
#include <string>

#include "odbc/result.h"

namespace sp {

enum class FailureKind {
    TableMissing,    // passed over in silence
    AlreadyDone,     // the command is in error or its change is already made: passed over in silence
    Timeout,         // phase two: sets the timeout flag; elsewhere reported
    ConnectionLost,  // SQLSTATE class 08: the rest of the data source's run is abandoned
    Reported,        // anything else: shown to the user
};

struct Classification {
    FailureKind kind;
    std::int32_t number;  // the number the message starts with
};

Classification classify(const DbError& error);

// "<number>: <the driver's messages>".
std::string failure_message(const DbError& error);

// Narrower than the treatments: true only when the failure says that a table
// or column the statement names does not exist (not a syntax error, not a
// permission denial). What tells the migration that the legacy columns are gone.
bool names_missing_object(const DbError& error);

}  // namespace sp
