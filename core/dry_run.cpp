#include "core/dry_run.h"

#include <string>

#include "core/json.h"
#include "core/version.h"
#include "migration/statements.h"

namespace sp {

namespace {

void print_json(Engine engine, std::ostream& out) {
    const std::string head = std::string("{\"engine\":\"") + engine_key(engine) + "\",\"phase\":";
    for (const Script& script : phases_of(engine)) {
        const std::string prefix = head + std::to_string(script.phase);
        for (const ScriptStep& step : script.steps) {
            const char* conditional = step.conditional ? ",\"conditional\":true" : "";
            switch (step.kind) {
                case ScriptStep::Kind::Statement:
                    out << prefix << ",\"number\":" << step.number << ",\"sql\":" << json_string(step.sql)
                        << conditional;
                    if (step.after_success) out << ",\"requires_success_of\":" << step.after_success;
                    if (step.after_migration) out << ",\"requires_complete_migration\":true";
                    out << "}\n";
                    break;
                case ScriptStep::Kind::Progress:
                    out << prefix << ",\"progress\":" << step.value << conditional << "}\n";
                    break;
                case ScriptStep::Kind::Probe:
                    out << prefix << ",\"probe\":" << json_string(step.sql);
                    if (!step.delete_sql.empty()) out << ",\"probe_deletes\":" << json_string(step.delete_sql);
                    out << "}\n";
                    break;
                case ScriptStep::Kind::Migration: {
                    const MigrationStatements& m = migration_statements(engine);
                    out << prefix << ",\"migration\":{\"read\":" << json_string(m.read)
                        << ",\"insert\":" << json_string(m.insert) << ",\"existing\":" << json_string(m.existing)
                        << "}}\n";
                    break;
                }
                case ScriptStep::Kind::IfProbe:
                case ScriptStep::Kind::EndIf:
                    break;
            }
        }
    }
}

void print_text(Engine engine, std::ostream& out) {
    const bool sqlserver = engine == Engine::SqlServer;
    out << "-- " << kAppTitle << " " << kFileVersion << ": what a run sends to a " << engine_caption(engine)
        << " data source, in sending order.\n"
        << "-- Each statement is sent on its own and commits on its own; a statement that fails because its\n"
        << "-- change is already made is passed over, so the script can run again over an upgraded database.\n";
    if (sqlserver) out << "-- GO separates the statements for sqlcmd; it is not sent.\n";
    for (const Script& script : phases_of(engine)) {
        out << "\n-- ===== Phase " << script.phase << " (" << script.statement_count() << " statements) =====\n";
        for (const ScriptStep& step : script.steps) {
            switch (step.kind) {
                case ScriptStep::Kind::Statement:
                    out << "-- " << script.phase << "." << step.number;
                    if (step.after_success)
                        out << " (sent only if " << script.phase << "." << step.after_success
                            << " succeeded in the same run, so that its values are not lost)";
                    if (step.after_migration)
                        out << " (sent only after every flagged item comment has been moved to CommIns)";
                    out << "\n" << step.sql << "\n";
                    if (sqlserver) out << "GO\n";
                    break;
                case ScriptStep::Kind::Progress:
                    out << "-- progress " << step.value << "%\n";
                    break;
                case ScriptStep::Kind::Probe:
                    out << "-- GridColumns probe, a query: " << step.sql << "\n";
                    if (!step.delete_sql.empty())
                        out << "-- When it finds the row, the probe removes it with: " << step.delete_sql << "\n";
                    break;
                case ScriptStep::Kind::IfProbe:
                    if (sqlserver)
                        out << "-- The block below is sent only when the probe finds no row (ColumnID 1 absent).\n";
                    else
                        out << "-- The block below is sent only when the probe's query (and removal) succeeded.\n";
                    out << "-- BEGIN probe block\n";
                    break;
                case ScriptStep::Kind::EndIf:
                    out << "-- END probe block\n";
                    break;
                case ScriptStep::Kind::Migration: {
                    const MigrationStatements& m = migration_statements(engine);
                    out << "-- Item-comment migration: reads the comment rows already moved with\n--   " << m.existing
                        << "\n-- and the flagged quote lines with\n--   " << m.read
                        << "\n-- and inserts one CommIns row for each line not yet moved, parameters QuoteID, Line, "
                           "CoInType, Number, CommIns, with\n--   "
                        << m.insert << "\n";
                    break;
                }
            }
        }
    }
}

}  // namespace

void print_dry_run(Engine engine, DryRunFormat format, std::ostream& out) {
    if (format == DryRunFormat::Json)
        print_json(engine, out);
    else
        print_text(engine, out);
}

}  // namespace sp
