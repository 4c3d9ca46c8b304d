// The run driver: visits every data source of both lists, opens one
// connection per run of a data source, sends the engine's phases and runs a
// data source again, within four re-runs per engine, when a statement of its
// phase two timed out.
#pragma once

#include <atomic>
#include <functional>
#include <string_view>

#include "core/phase_runner.h"
#include "core/report.h"
#include "core/run_view.h"
#include "discovery/discovery.h"
#include "odbc/database.h"

namespace sp {

struct RunSettings {
    int sqlserver_login_timeout_s = 2400;
    int pervasive_login_timeout_s = 15;
    int command_timeout_s = 30;
    // Set from another thread (or a signal watcher) to stop after the
    // statement in flight; the driver cancels that statement through the
    // session it registers with on_session.
    const std::atomic<bool>* stop = nullptr;
    // Told of each session when it opens and with nullptr when it closes.
    std::function<void(Session*)> on_session;
    // Told of each data source once it has been visited (for the run log).
    std::function<void(const DataSourceReport&)> on_data_source_done;
    // The item-comment migration; empty: the real one.
    MigrationStep migrate;
    // The login for every data source of the run (--user); empty: each data
    // source's own. The run wipes the password from its copies when done.
    std::string user;
    std::string password;
};

// The real item-comment migration, as phase two calls it; it ends after the
// line in flight once `stop` is set.
// With a view that shows it, the migration tells the view how far it has come.
MigrationStep default_migration_step(const std::atomic<bool>* stop = nullptr, RunView* progress_view = nullptr);

// False for a name holding a character that ODBC forbids in data-source names,
// with which "DSN=<name>" could carry other attributes; such a name is never connected.
bool data_source_name_is_safe(std::string_view name);

RunReport run_upgrade(const DataSourceLists& lists, Connector& connector, RunView& view,
                      const RunSettings& settings = {});

}  // namespace sp
