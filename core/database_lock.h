// The application lock that keeps two runs of the service pack off one SQL
// Server database, wherever they were started: taken by the run's session
// without waiting, held until the data source is done (the server also lets
// it go when the session ends, so a crash leaves nothing behind). The other
// engines have no such lock; the machine-wide run lock is all they get.
#pragma once

#include <string>

#include "odbc/database.h"
#include "scripts/script.h"

namespace sp {

enum class DatabaseLock {
    Held,      // this session holds it
    Busy,      // another session holds it: nothing may be sent
    NotTaken,  // no such lock on this engine, or the server would not run the call
};

DatabaseLock lock_database(Session& session, Engine engine);
// Lets the lock go (errors passed over: closing the session lets it go too).
void unlock_database(Session& session);

// The one message of a data source refused because another run holds its lock.
std::string database_busy_message(const std::string& data_source);

}  // namespace sp
