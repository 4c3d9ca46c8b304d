#include "core/check.h"

#include <algorithm>

#include "core/connect_attempt.h"
#include "odbc/credentials.h"
#include "core/error_policy.h"
#include "core/json.h"
#include "core/report_format.h"
#include "core/text.h"

namespace sp {

namespace {

bool contains_ignoring_case(std::string_view text, std::string_view part) {
    if (part.size() > text.size()) return false;
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i)
        if (equals_ignoring_case(text.substr(i, part.size()), part)) return true;
    return false;
}

bool has_name(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return equals_ignoring_case(n, name); });
}

bool has_column(const std::vector<ColumnName>& columns, const TableColumn& wanted) {
    return std::any_of(columns.begin(), columns.end(), [&](const ColumnName& c) {
        return equals_ignoring_case(c.table, wanted.table) && equals_ignoring_case(c.column, wanted.column);
    });
}

// What each engine's driver calls it (Pervasive's engine is called Zen in later versions).
bool engine_matches(Engine engine, const std::string& dbms_name) {
    if (engine == Engine::SqlServer) return contains_ignoring_case(dbms_name, "SQL Server");
    return contains_ignoring_case(dbms_name, "Pervasive") || contains_ignoring_case(dbms_name, "Zen");
}

std::vector<std::string> found_product_tables(const std::vector<std::string>& tables, Engine engine) {
    std::vector<std::string> found;
    for (const std::string& t : expected_objects(engine).product_tables)
        if (has_name(tables, t)) found.push_back(t);
    return found;
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
}

std::string server_words(const ServerInfo& server) {
    if (server.dbms_name.empty()) return "an engine that does not say its name";
    std::string words = server.dbms_name;
    if (!server.dbms_version.empty()) words += " " + server.dbms_version;
    if (!server.database.empty()) words += ", database \"" + server.database + "\"";
    return words;
}

void not_checked(DataSourceCheck& check, const std::string& what, const DbError& error) {
    check.verdict = CheckVerdict::NotChecked;
    check.error = what + ": " + failure_message(error);
}

struct Words {
    const char* key;
    const char* text;
};

Words words(CheckVerdict v) {
    switch (v) {
        case CheckVerdict::UpToDate: return {"up_to_date", "up to date"};
        case CheckVerdict::NeedsUpdate: return {"needs_update", "needs the update"};
        case CheckVerdict::NotProductDatabase: return {"not_product_database", "not the product's database"};
        case CheckVerdict::NotChecked: return {"not_checked", "could not be checked"};
        case CheckVerdict::CannotConnect: return {"cannot_connect", "cannot be connected"};
    }
    return {"", ""};
}

Words words(LineFault f) {
    switch (f) {
        case LineFault::KeyNotWhole: return {"key_not_whole", "QuoteID or Line is not a whole number"};
        case LineFault::TypeEmpty: return {"type_empty", "comment type is empty"};
        case LineFault::TypeOutOfRange: return {"type_out_of_range", "comment type is out of range"};
        case LineFault::CommentTooLong: return {"comment_too_long", "comment is longer than 80 characters"};
        case LineFault::OtherComment: return {"other_comment", "CommIns holds another comment for the line"};
    }
    return {"", ""};
}

// "3 tables, 12 columns to add, ..." for a data source that needs the update.
std::string pending_counts(const DataSourceCheck& d) {
    std::vector<std::string> parts;
    auto count = [&](std::size_t n, const char* one, const char* many) {
        if (n > 0) parts.push_back(std::to_string(n) + " " + (n == 1 ? one : many));
    };
    count(d.missing_tables.size(), "table to create", "tables to create");
    count(d.missing_columns.size(), "column to add", "columns to add");
    count(d.columns_to_drop.size(), "column to drop", "columns to drop");
    count(d.missing_routines.size(), "procedure to create", "procedures to create");
    count(static_cast<std::size_t>(d.lines_to_move), "comment to move", "comments to move");
    count(d.unmovable.size(), "comment that cannot be moved", "comments that cannot be moved");
    return joined(parts);
}

std::string column_name(const TableColumn& c) { return c.table + "." + c.column; }

void json_names(std::ostream& out, const std::vector<std::string>& names) {
    out << "[";
    for (std::size_t i = 0; i < names.size(); ++i) out << (i ? "," : "") << json_string(names[i]);
    out << "]";
}

void json_columns(std::ostream& out, const std::vector<TableColumn>& columns) {
    std::vector<std::string> names;
    for (const auto& c : columns) names.push_back(column_name(c));
    json_names(out, names);
}

}  // namespace

DataSourceCheck inspect_database(Session& session, Engine engine) {
    DataSourceCheck check;
    check.engine = engine;
    if (auto server = session.server_info()) check.server = std::move(*server);
    check.engine_matches = engine_matches(engine, check.server.dbms_name);

    auto tables = session.tables();
    if (!tables) return not_checked(check, "The tables could not be listed", tables.error()), check;
    check.product_tables = found_product_tables(*tables, engine);
    if (check.product_tables.empty()) {
        check.verdict = CheckVerdict::NotProductDatabase;
        return check;
    }
    auto columns = session.columns();
    if (!columns) return not_checked(check, "The columns could not be listed", columns.error()), check;

    const ExpectedObjects& expected = expected_objects(engine);
    for (const auto& t : expected.created_tables)
        if (!has_name(*tables, t)) check.missing_tables.push_back(t);
    for (const auto& c : expected.added_columns)
        if (!has_column(*columns, c)) check.missing_columns.push_back(c);
    for (const auto& c : expected.dropped_columns)
        if (has_column(*columns, c)) check.columns_to_drop.push_back(c);
    if (!expected.routines.empty()) {
        auto routines = session.procedures();
        if (!routines) return not_checked(check, "The stored procedures could not be listed", routines.error()), check;
        for (const auto& r : expected.routines)
            if (!has_name(*routines, r)) check.missing_routines.push_back(r);
    }

    check.legacy_comment_columns =
        has_column(*columns, {"Details", "deItemComType"}) && has_column(*columns, {"Details", "deItemCom"});
    if (check.legacy_comment_columns) {
        auto survey = survey_item_comments(session, engine, has_name(*tables, "CommIns"));
        if (!survey) return not_checked(check, "The item comments could not be read", survey.error()), check;
        check.lines_to_move = survey->to_move;
        check.lines_in_comm_ins = survey->in_comm_ins;
        check.unmovable = std::move(survey->unmovable);
    }

    const bool pending = !check.missing_tables.empty() || !check.missing_columns.empty() ||
                         !check.columns_to_drop.empty() || !check.missing_routines.empty() ||
                         check.lines_to_move > 0 || !check.unmovable.empty();
    check.verdict = pending ? CheckVerdict::NeedsUpdate : CheckVerdict::UpToDate;
    return check;
}

std::optional<std::string> foreign_database_message(Session& session, Engine engine, const std::string& name) {
    auto tables = session.tables();
    if (!tables || !found_product_tables(*tables, engine).empty()) return std::nullopt;
    ServerInfo server;
    if (auto s = session.server_info()) server = std::move(*s);
    return "The data source " + name + " was not updated: it is not a Selvane database. Its driver reports " +
           server_words(server) + ", which holds none of the product's tables (" +
           joined(expected_objects(engine).product_tables) + "). Nothing was sent to it.";
}

CheckReport check_data_sources(const DataSourceLists& lists, Connector& connector, const RunSettings& settings) {
    CheckReport report;
    auto stopped = [&] { return settings.stop && settings.stop->load(); };
    auto visit = [&](Engine engine, const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            if (stopped()) return;
            const auto started = std::chrono::steady_clock::now();
            DataSourceCheck check;
            if (!data_source_name_is_safe(name)) {
                check.error = "Refused: the name contains a character that ODBC does not allow in a data-source name.";
            } else {
                ConnectOptions options;
                options.dsn = name;
                options.login_timeout_s = engine == Engine::SqlServer ? settings.sqlserver_login_timeout_s
                                                                      : settings.pervasive_login_timeout_s;
                options.query_timeout_s = settings.command_timeout_s;
                options.read_only = true;
                options.user = settings.user;
                options.password = settings.password;
                auto attempt = connect_unless_stopped(connector, options, settings.stop);
                odbc::wipe(options.password);
                if (!attempt) return;  // the stop request let the connection attempt go
                auto& session = *attempt;
                if (!session) {
                    if (stopped()) return;
                    check.error = failure_message(session.error());
                } else {
                    if (settings.on_session) settings.on_session(session->get());
                    check = inspect_database(**session, engine);
                    if (settings.on_session) settings.on_session(nullptr);
                    if (stopped()) return;
                }
            }
            check.engine = engine;
            check.name = name;
            check.elapsed =
                std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
            report.data_sources.push_back(std::move(check));
        }
    };
    visit(Engine::SqlServer, lists.sqlserver);
    visit(Engine::Pervasive, lists.pervasive);
    report.interrupted = stopped();
    return report;
}

int check_exit_status(const CheckReport& report) {
    if (report.interrupted) return kExitInterrupted;
    int status = kExitOk;
    for (const auto& d : report.data_sources) {
        if (d.verdict == CheckVerdict::NeedsUpdate) status = std::max<int>(status, kExitFailure);
        if (d.verdict != CheckVerdict::UpToDate && d.verdict != CheckVerdict::NeedsUpdate) status = kExitUnreachable;
    }
    return status;
}

void print_check_text(const CheckReport& report, std::ostream& out) {
    struct Line {
        std::string name, engine, server, verdict;
    };
    std::vector<Line> lines{{"DATA SOURCE", "ENGINE", "DRIVER REPORTS", "VERDICT"}};
    for (const auto& d : report.data_sources) {
        std::string server = d.server.dbms_name.empty() ? "-" : d.server.dbms_name + " " + d.server.dbms_version;
        if (!d.server.dbms_name.empty() && !d.engine_matches) server += " (not " + std::string(engine_caption(d.engine)) + ")";
        std::string verdict = words(d.verdict).text;
        if (d.verdict == CheckVerdict::NeedsUpdate) verdict += ": " + pending_counts(d);
        if (!d.error.empty()) verdict += ": " + one_line(d.error);
        lines.push_back({one_line(d.name), engine_caption(d.engine), one_line(server), verdict});
    }
    std::size_t widths[3] = {0, 0, 0};
    for (const auto& l : lines) {
        widths[0] = std::max(widths[0], l.name.size());
        widths[1] = std::max(widths[1], l.engine.size());
        widths[2] = std::max(widths[2], l.server.size());
    }
    for (const auto& l : lines)
        out << l.name << std::string(widths[0] - l.name.size() + 2, ' ') << l.engine
            << std::string(widths[1] - l.engine.size() + 2, ' ') << l.server
            << std::string(widths[2] - l.server.size() + 2, ' ') << l.verdict << "\n";

    constexpr std::size_t shown = 20;
    for (const auto& d : report.data_sources) {
        if (d.unmovable.empty()) continue;
        out << "\n" << one_line(d.name) << ": " << d.unmovable.size()
            << (d.unmovable.size() == 1 ? " flagged quote line" : " flagged quote lines")
            << " cannot be moved to CommIns as " << (d.unmovable.size() == 1 ? "it stands" : "they stand")
            << " (fix before the update):\n";
        for (std::size_t i = 0; i < d.unmovable.size() && i < shown; ++i)
            out << "  QuoteID " << one_line(d.unmovable[i].quote_id) << ", Line " << one_line(d.unmovable[i].line)
                << ": " << words(d.unmovable[i].why).text << "\n";
        if (d.unmovable.size() > shown)
            out << "  ... and " << d.unmovable.size() - shown << " more (--report json lists them all)\n";
    }
    if (report.interrupted) out << "\nCheck interrupted.\n";
}

void print_check_json(const CheckReport& report, std::ostream& out) {
    out << "{\"interrupted\":" << (report.interrupted ? "true" : "false")
        << ",\"exit_status\":" << check_exit_status(report) << ",\"data_sources\":[";
    for (std::size_t i = 0; i < report.data_sources.size(); ++i) {
        const auto& d = report.data_sources[i];
        const ExpectedObjects& expected = expected_objects(d.engine);
        out << (i ? "," : "") << "{\"name\":" << json_string(d.name) << ",\"engine\":\"" << engine_key(d.engine)
            << "\",\"verdict\":\"" << words(d.verdict).key << "\",\"error\":";
        if (d.error.empty())
            out << "null";
        else
            out << json_string(d.error);
        out << ",\"dbms_name\":" << json_string(d.server.dbms_name)
            << ",\"dbms_version\":" << json_string(d.server.dbms_version)
            << ",\"database\":" << json_string(d.server.database)
            << ",\"engine_matches\":" << (d.engine_matches ? "true" : "false") << ",\"product_tables\":";
        json_names(out, d.product_tables);
        out << ",\"tables_expected\":" << expected.created_tables.size() << ",\"missing_tables\":";
        json_names(out, d.missing_tables);
        out << ",\"columns_expected\":" << expected.added_columns.size() << ",\"missing_columns\":";
        json_columns(out, d.missing_columns);
        out << ",\"drops_expected\":" << expected.dropped_columns.size() << ",\"columns_to_drop\":";
        json_columns(out, d.columns_to_drop);
        out << ",\"procedures_expected\":" << expected.routines.size() << ",\"missing_procedures\":";
        json_names(out, d.missing_routines);
        out << ",\"item_comments\":{\"legacy_columns\":" << (d.legacy_comment_columns ? "true" : "false")
            << ",\"to_move\":" << d.lines_to_move << ",\"in_comm_ins\":" << d.lines_in_comm_ins
            << ",\"cannot_move\":[";
        for (std::size_t k = 0; k < d.unmovable.size(); ++k)
            out << (k ? "," : "") << "{\"quote_id\":" << json_string(d.unmovable[k].quote_id)
                << ",\"line\":" << json_string(d.unmovable[k].line) << ",\"why\":\"" << words(d.unmovable[k].why).key
                << "\"}";
        out << "]},\"elapsed_ms\":" << d.elapsed.count() << "}";
    }
    out << "]}\n";
}

}  // namespace sp
