#include "scripts/sqlserver/grid_probe.h"

namespace sp::sqlserver {

bool grid_probe(Session& session, const std::string& query) {
    auto cursor = session.query(query);
    if (!cursor) return false;
    auto row = (*cursor)->fetch();
    if (!row) return false;
    const bool found = row->has_value();
    // A close that fails once the answer is known keeps the answer.
    (void)(*cursor)->close();
    return found;
}

}  // namespace sp::sqlserver
