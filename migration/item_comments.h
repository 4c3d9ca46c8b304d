// The item-comment migration: copies the legacy comment of every flagged
// quote line of Details (deHasItemCom = 1) into its own CommIns row, so that
// phase two may drop the legacy comment columns. The result says whether the
// drop is safe: it is only when the migration completed.
#pragma once

#include <optional>
#include <string>

#include "odbc/database.h"
#include "scripts/script.h"

namespace sp {

struct MigrationResult {
    int copied = 0;           // rows this call inserted into CommIns
    int already_present = 0;  // lines whose row was in CommIns before (an earlier, interrupted call)
    int not_movable = 0;      // lines left alone because a value does not fit CommIns
    bool columns_gone = false;  // the legacy columns (or Details) no longer exist: nothing to move
    std::optional<DbError> stopped_by;  // the failure that ended the call before the last line

    // Every flagged line is in CommIns, or there was nothing left to read.
    bool complete() const { return !stopped_by && not_movable == 0; }
};

// Reads the flagged lines and inserts one CommIns row per line (QuoteID, Line,
// CoInType = type + 1, Number 1, the comment or ""), in the order read, each
// committed on its own. A line whose row is already in CommIns is passed
// over; a line whose type or comment does not fit is not copied and counted;
// any other failure ends the call at once, silently, with nothing further sent.
MigrationResult migrate_item_comments(Session& session, Engine engine);

// The one message for the user when the migration did not complete and the
// legacy comment columns were therefore kept; empty when it completed.
std::string kept_columns_message(const MigrationResult& result);

}  // namespace sp
