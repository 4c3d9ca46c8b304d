#include "scripts/pervasive/grid_probe.h"

namespace sp::pervasive {

bool grid_probe(Session& session, const std::string& query, const std::string& delete_sql) {
    auto cursor = session.query(query);
    if (!cursor) return false;
    auto row = (*cursor)->fetch();
    if (!row) return false;
    if (row->has_value()) {
        // A connection that runs one statement at a time must finish reading first.
        if (!session.can_write_while_reading()) {
            for (;;) {
                auto more = (*cursor)->fetch();
                if (!more) return false;
                if (!more->has_value()) break;
            }
        }
        // The row is removed by its key, only after the query has found it.
        if (!session.execute(delete_sql)) return false;
    }
    // A close that fails once the answer is known keeps the answer.
    (void)(*cursor)->close();
    return true;
}

}  // namespace sp::pervasive
