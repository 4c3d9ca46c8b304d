// The statement lists read straight from their data files' text, without the program's parser: one statement a line,
// "--" lines are comments or directives, and "--@if-probe" ... "--@end-if" hold the probe's block.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "scripts/script.h"

namespace sp::testing {

// Every statement a run sends to a data source of the engine, in order, leaving out the probe's block unless asked
// for; those of one phase only if `only_phase` is given.
inline std::vector<std::string> run_statements(Engine engine, bool with_probe_block, int only_phase = 0) {
    std::vector<std::string> out;
    for (int phase = 1; phase <= (engine == Engine::SqlServer ? 3 : 2); ++phase) {
        if (only_phase && phase != only_phase) continue;
        std::ifstream in(std::string(SP_SOURCE_DIR) + "/scripts/" + engine_key(engine) + "/phase" +
                         std::to_string(phase) + ".sql");
        bool block = false;
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.starts_with("--@if-probe")) block = true;
            if (line.starts_with("--@end-if")) block = false;
            if (!line.empty() && !line.starts_with("--") && (with_probe_block || !block)) out.push_back(line);
        }
    }
    return out;
}

// The text of statement `number` of phase `phase` of the engine.
inline std::string statement(Engine engine, int phase, int number) {
    return run_statements(engine, true, phase).at(static_cast<size_t>(number - 1));
}

}  // namespace sp::testing
