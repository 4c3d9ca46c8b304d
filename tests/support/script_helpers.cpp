#include "tests/support/script_helpers.h"

#include <sstream>
#include <stdexcept>

#include "core/dry_run.h"

namespace sp::testing {

const std::string& statement(Engine engine, int phase, int number) {
    for (const auto& step : phases_of(engine).at(phase - 1).steps)
        if (step.kind == ScriptStep::Kind::Statement && step.number == number) return step.sql;
    throw std::out_of_range("no such statement");
}

namespace {
// Reads the JSON string that starts at s[i] (after its opening quote).
std::string read_json_string(const std::string& s, size_t i) {
    std::string out;
    for (; i < s.size() && s[i] != '"'; ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        switch (c) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'u': out += static_cast<char>(std::stoi(s.substr(i + 1, 4), nullptr, 16)); i += 4; break;
            default: out += c;
        }
    }
    return out;
}
}  // namespace

std::vector<std::string> dry_run_statements(Engine engine, bool with_conditional) {
    std::ostringstream json;
    print_dry_run(engine, DryRunFormat::Json, json);
    std::istringstream lines(json.str());
    std::vector<std::string> out;
    for (std::string line; std::getline(lines, line);) {
        const auto at = line.find(",\"sql\":\"");
        if (at == std::string::npos) continue;
        if (!with_conditional && line.find("\"conditional\":true") != std::string::npos) continue;
        out.push_back(read_json_string(line, at + 8));
    }
    return out;
}

}  // namespace sp::testing
