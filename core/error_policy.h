// How a failed statement is treated. Drivers report failures as SQLSTATEs
// and native errors; the policy sorts them into what the upgrade does with
// them, and numbers the message the way administrators know these failures
// from earlier versions of the service pack (the ADO error numbers).
#pragma once

#include <cstdint>
#include <string>

#include "odbc/result.h"
#include "scripts/script.h"

namespace sp {

enum class FailureKind {
    TableMissing,    // passed over in silence
    AlreadyDone,     // the change is already made or cannot apply here: passed over in silence
    Timeout,         // phase two: sets the timeout flag; elsewhere reported. Also a deadlock or a
                     // lock timeout on SQL Server: the statement was rolled back, a re-run is the remedy
    ConnectionLost,  // the connection broke: the rest of the data source's run is abandoned
    Reported,        // anything else: shown to the user
};

struct Classification {
    FailureKind kind;
    std::int32_t number;  // the number the message starts with
};

// On SQL Server the server's native error number decides, since its drivers
// put every server error without a SQLSTATE of its own into 42000; on other
// engines (and where no native number came) the SQLSTATE and known texts do.
Classification classify(const DbError& error, Engine engine = Engine::SqlServer);

// "<number>: <the driver's messages>".
std::string failure_message(const DbError& error, Engine engine = Engine::SqlServer);

// Why a connection could not be opened, for a message that says what to do.
enum class ConnectFailure {
    LoginRefused,  // 28000, or SQL Server's 18456 (FreeTDS gives it 42000): the credentials
    Unreachable,   // no server answered at the data source's address, or not in time
    Other,
};
ConnectFailure connect_failure(const DbError& error);

// The message for a data source that could not be connected: numbered as ADO
// numbered a failed Open (0x80004005), never like a failed command.
std::string connect_failed_message(const std::string& data_source, const DbError& error);

// Narrower than the treatments: true only when the failure says that a table
// or column the statement names does not exist (not a syntax error, not a
// permission denial). What tells the migration that the legacy columns are gone.
bool names_missing_object(const DbError& error);

}  // namespace sp
