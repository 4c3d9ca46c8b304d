// Opening a connection so that a stop request need not wait for it: a login
// to a server that never answers lasts as long as the login timeout (SQL
// Server's is forty minutes), and no driver can be told to give up sooner.
#pragma once

#include <atomic>
#include <memory>
#include <optional>

#include "odbc/database.h"

namespace sp {

// Connects on a thread of its own and waits for it, looking at `stop` every
// few hundredths of a second. On a stop request the attempt is abandoned and
// nullopt returned at once; the thread finishes the attempt alone and closes
// whatever it opened. Without `stop`, connects on the calling thread.
std::optional<Result<std::unique_ptr<Session>>> connect_unless_stopped(Connector& connector,
                                                                       const ConnectOptions& options,
                                                                       const std::atomic<bool>* stop);

}  // namespace sp
