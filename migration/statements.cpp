#include "migration/statements.h"

#include <stdexcept>
#include <string_view>
#include <vector>

namespace sp {

namespace embedded::migration {
extern const std::string_view sqlserver_sql, pervasive_sql;
}

namespace {
MigrationStatements parse(std::string_view text) {
    std::vector<std::string> statements;
    while (!text.empty()) {
        auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.substr(0, 2) != "--") statements.emplace_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    if (statements.size() != 4) throw std::invalid_argument("a migration file holds four statements");
    return {statements[0], statements[1], statements[2], statements[3]};
}
}  // namespace

const MigrationStatements& migration_statements(Engine engine) {
    static const MigrationStatements sqlserver = parse(embedded::migration::sqlserver_sql);
    static const MigrationStatements pervasive = parse(embedded::migration::pervasive_sql);
    return engine == Engine::SqlServer ? sqlserver : pervasive;
}

}  // namespace sp
