#include "scripts/script.h"

#include <stdexcept>

namespace sp {

namespace embedded::sqlserver {
extern const std::string_view phase1_sql, phase2_sql, phase3_sql;
}
namespace embedded::pervasive {
extern const std::string_view phase1_sql, phase2_sql;
}

namespace {

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

int to_int(std::string_view s, std::string_view line) {
    if (s.empty()) throw std::invalid_argument("missing number: " + std::string(line));
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') throw std::invalid_argument("bad number: " + std::string(line));
        v = v * 10 + (c - '0');
    }
    return v;
}

}  // namespace

int Script::statement_count() const {
    int n = 0;
    for (const auto& s : steps) n += s.kind == ScriptStep::Kind::Statement;
    return n;
}

Script parse_script(Engine engine, int phase, std::string_view text) {
    Script script{engine, phase, {}};
    bool in_block = false;
    int pending_after_success = 0;
    bool pending_after_migration = false;
    int number = 0;
    for (std::string_view line : split_lines(text)) {
        if (line.empty()) continue;
        if (starts_with(line, "--@")) {
            std::string_view d = line.substr(3);
            auto space = d.find(' ');
            std::string_view name = d.substr(0, space);
            std::string_view arg = space == std::string_view::npos ? std::string_view{} : d.substr(space + 1);
            ScriptStep step{};
            step.conditional = in_block;
            if (name == "progress") {
                step.kind = ScriptStep::Kind::Progress;
                step.value = to_int(arg, line);
            } else if (name == "probe") {
                if (arg.empty()) throw std::invalid_argument("probe without query");
                step.kind = ScriptStep::Kind::Probe;
                step.sql = std::string(arg);
            } else if (name == "probe-deletes") {
                if (script.steps.empty() || script.steps.back().kind != ScriptStep::Kind::Probe || arg.empty())
                    throw std::invalid_argument("probe-deletes must follow a probe");
                script.steps.back().delete_sql = std::string(arg);
                continue;
            } else if (name == "if-probe") {
                if (in_block || (arg != "true" && arg != "false"))
                    throw std::invalid_argument("bad if-probe: " + std::string(line));
                step.kind = ScriptStep::Kind::IfProbe;
                step.when = arg == "true";
                step.conditional = false;
                in_block = true;
            } else if (name == "end-if") {
                if (!in_block) throw std::invalid_argument("end-if without if-probe");
                step.kind = ScriptStep::Kind::EndIf;
                step.conditional = false;
                in_block = false;
            } else if (name == "migration") {
                step.kind = ScriptStep::Kind::Migration;
            } else if (name == "after-success") {
                pending_after_success = to_int(arg, line);
                if (pending_after_success > number)
                    throw std::invalid_argument("after-success names a later statement");
                continue;
            } else if (name == "after-migration") {
                pending_after_migration = true;
                continue;
            } else {
                throw std::invalid_argument("unknown directive: " + std::string(line));
            }
            if (pending_after_success || pending_after_migration)
                throw std::invalid_argument("guard not followed by a statement");
            script.steps.push_back(std::move(step));
            continue;
        }
        if (starts_with(line, "--")) continue;  // a comment
        ScriptStep step{};
        step.kind = ScriptStep::Kind::Statement;
        step.sql = std::string(line);
        step.number = ++number;
        step.conditional = in_block;
        step.after_success = pending_after_success;
        step.after_migration = pending_after_migration;
        pending_after_success = 0;
        pending_after_migration = false;
        script.steps.push_back(std::move(step));
    }
    if (in_block) throw std::invalid_argument("if-probe block not closed");
    if (pending_after_success || pending_after_migration)
        throw std::invalid_argument("guard at end of file");
    return script;
}

const std::vector<Script>& phases_of(Engine engine) {
    static const std::vector<Script> sqlserver{
        parse_script(Engine::SqlServer, 1, embedded::sqlserver::phase1_sql),
        parse_script(Engine::SqlServer, 2, embedded::sqlserver::phase2_sql),
        parse_script(Engine::SqlServer, 3, embedded::sqlserver::phase3_sql),
    };
    static const std::vector<Script> pervasive{
        parse_script(Engine::Pervasive, 1, embedded::pervasive::phase1_sql),
        parse_script(Engine::Pervasive, 2, embedded::pervasive::phase2_sql),
    };
    return engine == Engine::SqlServer ? sqlserver : pervasive;
}

const char* engine_key(Engine engine) { return engine == Engine::SqlServer ? "sqlserver" : "pervasive"; }
const char* engine_caption(Engine engine) { return engine == Engine::SqlServer ? "SQL Server" : "Pervasive"; }

}  // namespace sp
