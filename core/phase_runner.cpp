#include "core/phase_runner.h"

#include <chrono>
#include <vector>

#include "core/error_policy.h"
#include "scripts/pervasive/grid_probe.h"
#include "scripts/sqlserver/grid_probe.h"

namespace sp {

namespace {

bool stop_requested(const PhaseContext& context) {
    return context.stop && context.stop->load();
}

bool run_probe(const Script& script, const ScriptStep& step, Session& session) {
    if (script.engine == Engine::SqlServer) return sqlserver::grid_probe(session, step.sql);
    return pervasive::grid_probe(session, step.sql, step.delete_sql);
}

}  // namespace

ReportedFailure failure_record(int phase, int number, std::string message, const DbError* error,
                               const std::string& sql, Engine engine) {
    ReportedFailure f;
    f.phase = phase;
    f.number = number;
    f.message = std::move(message);
    if (error) {
        for (const auto& r : error->records)  // the record that says what went wrong, not a warning
            if (r.sqlstate.rfind("01", 0) != 0) {
                f.sqlstate = r.sqlstate;
                f.native_error = r.native_error;
                break;
            }
        if (f.sqlstate.empty() && !error->records.empty()) {
            f.sqlstate = error->sqlstate();
            f.native_error = error->native_error();
        }
        f.ado_number = classify(*error, engine).number;
    }
    f.statement = sql.substr(0, sql.find_first_of("\r\n"));
    return f;
}

void report_failure(DataSourceReport& report, RunView& view, ReportedFailure failure) {
    report.failures.push_back(std::move(failure));
    view.show_failure(report.name, report.failures.back());
}

std::string connection_lost_message(const std::string& data_source, const DbError& error, Engine engine) {
    return failure_message(error, engine) + "\nThe connection to data source " + data_source +
           " was lost; the rest of its update was not sent.";
}

PhaseEnd run_phase(const Script& script, PhaseContext& context) {
    Session& session = context.session;
    DataSourceReport& report = context.report;
    const bool phase_two = script.phase == 2;

    std::vector<bool> succeeded(script.statement_count() + 1, false);
    bool probe_answer = false;
    bool migration_complete = false;
    bool skipping = false;

    for (const ScriptStep& step : script.steps) {
        using Kind = ScriptStep::Kind;
        if (step.kind == Kind::EndIf) {
            skipping = false;
            continue;
        }
        if (skipping) continue;

        switch (step.kind) {
            case Kind::Progress:
                context.view.set_progress(step.value);
                break;
            case Kind::Probe:
                if (stop_requested(context)) return PhaseEnd::Interrupted;
                probe_answer = run_probe(script, step, session);
                break;
            case Kind::IfProbe:
                skipping = probe_answer != step.when;
                break;
            case Kind::Migration: {
                if (stop_requested(context)) return PhaseEnd::Interrupted;
                const auto started = std::chrono::steady_clock::now();
                MigrationOutcome outcome = context.migrate ? context.migrate(session, script.engine) : MigrationOutcome{};
                report.migration_elapsed += std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - started);
                report.comments_copied += outcome.copied;
                report.comments_present = outcome.already_present;
                if (stop_requested(context)) {
                    // What was copied stays; the drops that follow are not sent.
                    report.comments = outcome.complete ? CommentMove::Moved : CommentMove::Kept;
                    return PhaseEnd::Interrupted;
                }
                if (outcome.connection_lost) {
                    report.comments = CommentMove::Kept;
                    report_failure(report, context.view,
                                   failure_record(script.phase, 0,
                                                  connection_lost_message(report.name, outcome.error, script.engine),
                                                  &outcome.error, {}, script.engine));
                    return PhaseEnd::ConnectionLost;
                }
                migration_complete = outcome.complete;
                report.comments = outcome.complete ? CommentMove::Moved : CommentMove::Kept;
                if (!outcome.message.empty()) {
                    report_failure(report, context.view, failure_record(script.phase, 0, outcome.message));
                }
                break;
            }
            case Kind::Statement: {
                // A drop that would lose values not saved in this run is held back.
                if (step.after_success && !succeeded[step.after_success]) break;
                if (step.after_migration && !migration_complete) break;
                if (stop_requested(context)) return PhaseEnd::Interrupted;

                ++report.statements_sent;
                auto result = session.execute(step.sql);
                if (result) {
                    succeeded[step.number] = true;
                    break;
                }
                // A statement cancelled on the user's request is no failure of its own.
                if (stop_requested(context)) return PhaseEnd::Interrupted;
                const DbError& error = result.error();
                const Classification c = classify(error, script.engine);
                if (c.kind == FailureKind::TableMissing || c.kind == FailureKind::AlreadyDone) {
                    ++report.passed_silently;
                } else if (c.kind == FailureKind::Timeout && phase_two) {
                    ++report.timed_out;
                    context.timeout_flag = true;
                    if (context.timed_out) context.timed_out->push_back(step.number);
                    // The driver gave up on the connection after the timeout
                    // (FreeTDS when the server does not acknowledge the cancel):
                    // the data source is run again on a fresh one.
                    if (error.connection_dead) {
                        context.dropped_by = error;
                        return PhaseEnd::TimedOutDropped;
                    }
                } else if (c.kind == FailureKind::ConnectionLost || error.connection_dead) {
                    report_failure(report, context.view,
                                   failure_record(script.phase, step.number,
                                                  connection_lost_message(report.name, error, script.engine), &error,
                                                  step.sql, script.engine));
                    return PhaseEnd::ConnectionLost;
                } else {
                    report_failure(report, context.view,
                                   failure_record(script.phase, step.number, failure_message(error, script.engine),
                                                  &error, step.sql, script.engine));
                }
                break;
            }
            case Kind::EndIf:
                break;
        }
    }
    return PhaseEnd::Completed;
}

}  // namespace sp
