// The item-comment migration: copies the legacy comment of every flagged
// quote line of Details (deHasItemCom = 1) into its own CommIns row, so that
// phase two may drop the legacy comment columns. The result says whether the
// drop is safe: it is only when the migration completed.
#pragma once

#include <atomic>
#include <functional>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "odbc/database.h"
#include "scripts/script.h"

namespace sp {

struct MigrationResult {
    int copied = 0;           // rows this call inserted into CommIns
    int already_present = 0;  // lines whose very comment (type and text) CommIns already holds
    int not_movable = 0;      // lines left alone because a value does not fit CommIns
    int other_comment = 0;    // lines left alone because CommIns holds another comment for their line
    std::vector<std::string> unmoved_lines;  // "QuoteID/Line" of the first lines left alone
    bool columns_gone = false;  // the legacy columns (or Details) no longer exist: nothing to move
    bool interrupted = false;   // a stop was requested; the lines after the one in flight were not read
    std::optional<DbError> stopped_by;  // the failure that ended the call before the last line

    int unmoved() const { return not_movable + other_comment; }
    // Every flagged line is in CommIns, or there was nothing left to read.
    bool complete() const { return !stopped_by && !interrupted && unmoved() == 0; }
};

// Reads the flagged lines and inserts one CommIns row per line (QuoteID, Line,
// CoInType = type + 1, Number 1, the comment or ""), in the order read, each
// committed on its own. A line whose comment CommIns already holds with the
// same type and text is passed over; a line whose type or comment does not
// fit, or whose line CommIns holds with another comment (an edit after an
// interrupted run, a doubled Details row), is not copied and counted: nothing
// in CommIns is overwritten. Any other failure ends the call at once,
// silently, with nothing further sent. When `stop` becomes true the call ends
// after the line in flight.
// Told of the flagged lines handled so far (copied, passed over or left) and
// of their number, -1 when it could not be read.
using MigrationProgress = std::function<void(long long handled, long long total)>;

// With `progress`, the flagged lines are counted first, and progress is told
// every thousand lines and at the end.
MigrationResult migrate_item_comments(Session& session, Engine engine, const std::atomic<bool>* stop = nullptr,
                                      const MigrationProgress& progress = {});

// Why a flagged line cannot be moved to CommIns as it stands.
enum class LineFault {
    KeyNotWhole,     // QuoteID or Line is not a whole number of four bytes
    TypeEmpty,       // deItemComType is Null (or not a whole number)
    TypeOutOfRange,  // deItemComType + 1 does not fit CoInType
    CommentTooLong,  // deItemCom is longer than the 80 characters of CommIns
    OtherComment,    // CommIns holds another comment for the line
};

// What the migration would do with the flagged lines, read without writing
// anything: the same reading of each line and of CommIns as a migration's.
struct CommentSurvey {
    struct Unmovable {
        std::string quote_id, line;  // as the driver gives them
        LineFault why;
    };
    int to_move = 0;       // lines a migration would copy
    int in_comm_ins = 0;   // lines whose very comment CommIns holds
    std::vector<Unmovable> unmovable;
};
// comm_ins_exists: as the catalog says; CommIns is not read when it does not.
// Fails when the lines or CommIns cannot be read.
Result<CommentSurvey> survey_item_comments(Session& session, Engine engine, bool comm_ins_exists);

// The one message for the user when the migration did not complete and the
// legacy comment columns were therefore kept; empty when it completed.
std::string kept_columns_message(const MigrationResult& result);

}  // namespace sp
