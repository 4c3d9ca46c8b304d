#include "core/run_driver.h"

#include <chrono>
#include <string_view>

#include "core/check.h"
#include "core/connect_attempt.h"
#include "core/database_lock.h"
#include "core/error_policy.h"
#include "core/phase_runner.h"
#include "odbc/credentials.h"

namespace sp {

namespace {

using odbc::wipe;

constexpr int kRerunsPerEngine = 4;

bool is_safe_dsn_name(std::string_view name) { return !name.empty() && !has_forbidden_character(name); }

std::string refused_name_message(const std::string& name) {
    return "The data source \"" + name +
           "\" was not updated: its name contains a character that ODBC does not allow in a "
           "data-source name ([]{}(),;?*=!@\\), which could change the connection's settings.";
}

// Unfinished is never "done": the user learns what was not sent to its end.
std::string not_completed_message(const std::string& name, const std::vector<int>& timed_out) {
    std::string numbers;
    for (std::size_t i = 0; i < timed_out.size(); ++i) numbers += (i ? ", " : "") + std::to_string(timed_out[i]);
    const bool one = timed_out.size() == 1;
    return "The update of data source " + name + " was not completed: " + std::to_string(timed_out.size()) +
           (one ? " statement" : " statements") + " of phase two (" + (one ? "number " : "numbers ") + numbers +
           ") still timed out after the re-runs allowed (" + std::to_string(kRerunsPerEngine) +
           " per engine) were spent, so their changes are missing. Running the update again finishes it.";
}

std::string too_long_message(const std::string& name) {
    return "The data source \"" + name + "\" was not updated: its name is " + std::to_string(name.size()) +
           " characters long, and ODBC allows at most " + std::to_string(kMaxDsnLength) +
           " characters in a data-source name.";
}

class Driver {
public:
    Driver(Connector& connector, RunView& view, const RunSettings& settings, MigrationStep migrate)
        : connector_(connector), view_(view), settings_(settings), migrate_(std::move(migrate)) {}

    bool stopped() const { return settings_.stop && settings_.stop->load(); }

    void run_engine(Engine engine, const std::vector<std::string>& names, RunReport& report) {
        int reruns = 0;
        for (const std::string& name : names) {
            if (stopped()) return;
            DataSourceReport ds;
            ds.engine = engine;
            ds.name = name;
            const auto started = std::chrono::steady_clock::now();
            run_data_source(ds, reruns);
            ds.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
            report.data_sources.push_back(std::move(ds));
            if (settings_.on_data_source_done) settings_.on_data_source_done(report.data_sources.back());
        }
    }

private:
    // Runs the data source, again on a fresh connection after a timeout in
    // phase two while the engine's re-runs last.
    void run_data_source(DataSourceReport& ds, int& reruns) {
        // The login of the run, or the one the user gives when it is refused.
        std::string user = settings_.user;
        std::string password = settings_.password;
        odbc::WipeOnExit wipe_password(password);
        bool asked = false;
        for (;;) {
            view_.set_progress(0);
            bool timeout_flag = false;

            if (!is_safe_dsn_name(ds.name)) {
                fail(ds, DataSourceOutcome::Refused, refused_name_message(ds.name));
                return;
            }
            if (ds.name.size() > kMaxDsnLength) {
                fail(ds, DataSourceOutcome::Refused, too_long_message(ds.name));
                return;
            }
            ConnectOptions options;
            options.dsn = ds.name;
            options.login_timeout_s = ds.engine == Engine::SqlServer ? settings_.sqlserver_login_timeout_s
                                                                     : settings_.pervasive_login_timeout_s;
            options.query_timeout_s = settings_.command_timeout_s;
            std::optional<Result<std::unique_ptr<Session>>> attempt;
            for (;;) {
                options.user = user;
                options.password = password;
                attempt = connect_unless_stopped(connector_, options, settings_.stop);
                wipe(options.password);
                // A refused login: the window asks once for this data source.
                if (!attempt || *attempt || asked || stopped() ||
                    connect_failure(attempt->error()) != ConnectFailure::LoginRefused)
                    break;
                asked = true;
                const LoginAnswer answer = view_.ask_login(ds.name, user, password);
                if (answer == LoginAnswer::NotAsked) break;
                if (answer == LoginAnswer::Cancelled) {
                    fail(ds, DataSourceOutcome::ConnectFailed,
                         "The data source " + ds.name + " was skipped: no user name and password were given for it.");
                    return;
                }
            }
            if (!attempt) {  // the stop request let the connection attempt go
                ds.outcome = DataSourceOutcome::Interrupted;
                return;
            }
            auto& session = *attempt;
            if (!session) {
                if (stopped()) {
                    ds.outcome = DataSourceOutcome::Interrupted;
                    return;
                }
                fail(ds, DataSourceOutcome::ConnectFailed, connect_failed_message(ds.name, session.error()),
                     &session.error());
                return;
            }
            if (settings_.on_session) settings_.on_session(session->get());
            if (ds.runs == 0)
                if (auto foreign = foreign_database_message(**session, ds.engine, ds.name)) {
                    if (settings_.on_session) settings_.on_session(nullptr);
                    fail(ds, DataSourceOutcome::NotProductDatabase, *foreign);
                    return;
                }
            // Another run of the service pack on this database: nothing is sent.
            const DatabaseLock lock = lock_database(**session, ds.engine);
            if (lock == DatabaseLock::Busy) {
                if (settings_.on_session) settings_.on_session(nullptr);
                fail(ds, DataSourceOutcome::Busy, database_busy_message(ds.name));
                return;
            }
            ++ds.runs;
            view_.set_status_label("Updating database " + ds.name + ".");

            PhaseEnd end = PhaseEnd::Completed;
            std::vector<int> timed_out;
            PhaseContext context{**session, view_, ds, timeout_flag, migrate_, settings_.stop, {}, &timed_out};
            for (const Script& phase : phases_of(ds.engine)) {
                end = run_phase(phase, context);
                if (end != PhaseEnd::Completed) break;
            }

            view_.set_progress(100);
            if (lock == DatabaseLock::Held && end != PhaseEnd::ConnectionLost) unlock_database(**session);
            if (settings_.on_session) settings_.on_session(nullptr);
            session->reset();

            // Dropped after a timeout with no re-run left: the rest was not sent.
            if (end == PhaseEnd::TimedOutDropped && reruns >= kRerunsPerEngine) {
                fail(ds, DataSourceOutcome::ConnectionLost,
                     connection_lost_message(ds.name, context.dropped_by, ds.engine), &context.dropped_by);
                return;
            }
            if (end == PhaseEnd::ConnectionLost) {
                ds.outcome = DataSourceOutcome::ConnectionLost;
                return;
            }
            if (end == PhaseEnd::Interrupted) {
                ds.outcome = DataSourceOutcome::Interrupted;
                return;
            }
            if (!timeout_flag) return;
            if (reruns >= kRerunsPerEngine) {
                ds.outcome = DataSourceOutcome::TimedOut;
                report_failure(ds, view_, failure_record(2, 0, not_completed_message(ds.name, timed_out)));
                return;
            }
            ++reruns;
            ds.timeout_rerun = true;
        }
    }

    void fail(DataSourceReport& ds, DataSourceOutcome outcome, const std::string& message,
              const DbError* error = nullptr) {
        ds.outcome = outcome;
        report_failure(ds, view_, failure_record(0, 0, message, error, {}, ds.engine));
    }

    Connector& connector_;
    RunView& view_;
    const RunSettings& settings_;
    MigrationStep migrate_;
};

}  // namespace

RunReport run_upgrade(const DataSourceLists& lists, Connector& connector, RunView& view,
                      const RunSettings& settings) {
    RunReport report;
    report.started = std::chrono::system_clock::now();
    Driver driver(connector, view, settings, settings.migrate ? settings.migrate : default_migration_step(settings.stop, &view));

    view.run_started();
    view.set_status_label("Beginning update.");
    view.set_engine_label("Database Engine: SQL Server");
    driver.run_engine(Engine::SqlServer, lists.sqlserver, report);
    if (!driver.stopped()) {
        view.set_engine_label("Database Engine: Pervasive");
        driver.run_engine(Engine::Pervasive, lists.pervasive, report);
    }
    report.interrupted = driver.stopped();
    report.finished = std::chrono::system_clock::now();
    view.set_engine_label("");
    view.set_status_label(report.interrupted ? "Update interrupted." : "Updating complete.");
    view.run_finished();
    return report;
}

bool data_source_name_is_safe(std::string_view name) { return is_safe_dsn_name(name); }

}  // namespace sp
