// A statement list of one phase, read from its embedded data file: the
// statements in sending order, with the progress points, the GridColumns
// probe and its conditional block, the item-comment migration's call point
// and the guards that keep a column whose values were not saved.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sp {

enum class Engine { SqlServer, Pervasive };

struct ScriptStep {
    enum class Kind {
        Statement,  // sql, number
        Progress,   // value
        Probe,      // sql: the probe's query; delete_sql: how it removes the row it found, if it does
        IfProbe,    // when: the block up to EndIf runs only on this answer
        EndIf,
        Migration,
    };
    Kind kind;
    std::string sql;
    std::string delete_sql;   // Probe
    int number = 0;           // Statement: 1-based position in the phase
    int value = 0;            // Progress
    bool when = false;        // IfProbe
    bool conditional = false; // inside the probe's block
    int after_success = 0;    // Statement: send only if this statement succeeded in the run
    bool after_migration = false;  // Statement: send only after a complete migration
};

struct Script {
    Engine engine;
    int phase;  // 1, 2 or 3
    std::vector<ScriptStep> steps;

    int statement_count() const;
};

// Parses the data-file format; throws std::invalid_argument on a malformed
// file (an unknown directive, an unclosed block), which is a build mistake.
Script parse_script(Engine engine, int phase, std::string_view text);

// The phases that a run sends to a data source of the engine, in order.
const std::vector<Script>& phases_of(Engine engine);

const char* engine_key(Engine engine);      // "sqlserver", "pervasive"
const char* engine_caption(Engine engine);  // "SQL Server", "Pervasive"

}  // namespace sp
