#include "tests/support/script_helpers.h"

#include <fstream>

namespace sp::testing {

namespace {

struct Line {
    std::string sql;
    bool in_probe_block;
};

std::vector<Line> file_lines(Engine engine, int phase) {
    std::ifstream in(std::string(SP_SOURCE_DIR) + "/scripts/" + engine_key(engine) + "/phase" +
                     std::to_string(phase) + ".sql");
    std::vector<Line> out;
    bool block = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with("--@if-probe")) block = true;
        if (line.starts_with("--@end-if")) block = false;
        if (!line.empty() && !line.starts_with("--")) out.push_back({line, block});
    }
    return out;
}

}  // namespace

std::string statement(Engine engine, int phase, int number) {
    return file_lines(engine, phase).at(static_cast<size_t>(number - 1)).sql;
}

std::vector<std::string> run_statements(Engine engine, bool with_probe_block) {
    std::vector<std::string> out;
    for (int phase = 1; phase <= (engine == Engine::SqlServer ? 3 : 2); ++phase)
        for (const Line& l : file_lines(engine, phase))
            if (with_probe_block || !l.in_probe_block) out.push_back(l.sql);
    return out;
}

}  // namespace sp::testing
