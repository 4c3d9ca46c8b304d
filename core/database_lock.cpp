#include "core/database_lock.h"

#include <charconv>

namespace sp {

namespace {

// The session owns the lock, so no transaction is needed; a timeout of 0 asks
// for an answer at once. sp_getapplock's return value: 0 or 1 granted, below
// 0 not granted (-1 timed out). It is read back through a SELECT, which every
// driver reads alike.
constexpr const char* kLock =
    "DECLARE @granted int; EXEC @granted = sp_getapplock @Resource = N'Selvane SP5.4 update', "
    "@LockMode = 'Exclusive', @LockOwner = 'Session', @LockTimeout = 0; SELECT @granted";
constexpr const char* kUnlock =
    "EXEC sp_releaseapplock @Resource = N'Selvane SP5.4 update', @LockOwner = 'Session'";
// "Lock request time out period exceeded": what a server may raise instead.
constexpr int kLockTimeoutError = 1222;

}  // namespace

DatabaseLock lock_database(Session& session, Engine engine) {
    if (engine != Engine::SqlServer) return DatabaseLock::NotTaken;
    auto cursor = session.query(kLock);
    if (!cursor) return cursor.error().native_error() == kLockTimeoutError ? DatabaseLock::Busy : DatabaseLock::NotTaken;
    auto row = (*cursor)->fetch();
    (void)(*cursor)->close();
    if (!row || !*row || (**row).empty() || !(**row)[0]) return DatabaseLock::NotTaken;
    const std::string& text = *(**row)[0];
    int granted = 0;
    if (std::from_chars(text.data(), text.data() + text.size(), granted).ec != std::errc{}) return DatabaseLock::NotTaken;
    return granted >= 0 ? DatabaseLock::Held : DatabaseLock::Busy;
}

void unlock_database(Session& session) { (void)session.execute(kUnlock); }

std::string database_busy_message(const std::string& data_source) {
    return "The data source " + data_source +
           " was not updated: another run of the service pack is updating its database (it holds the "
           "database's application lock \"Selvane SP5.4 update\"). Run the update of this data source again "
           "once that run has finished.";
}

}  // namespace sp
