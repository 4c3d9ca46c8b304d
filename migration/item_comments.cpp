#include "migration/item_comments.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>
#include <functional>
#include <vector>

#include "core/error_policy.h"
#include "migration/statements.h"

namespace sp {

namespace {

constexpr int comment_width = 80;  // CommIns.CommIns is varchar(80) on both engines

// Positions in the read statement's select list.
enum ReadColumn { quote_column, line_column, type_column, comment_column };

const Value& at(const Row& row, std::size_t column) {
    static const Value null;
    return column < row.size() ? row[column] : null;
}

// A whole number as a driver writes it ("12", "-3", " 7 ", "4.00"); nullopt
// for Null, other text or a fraction, which would have to be made up or cut.
std::optional<std::int64_t> whole_number(const Value& value) {
    if (!value) return std::nullopt;
    std::string_view text = *value;
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    std::int64_t number = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc()) return std::nullopt;
    std::string_view rest(end, text.data() + text.size() - end);
    if (!rest.empty()) {
        if (rest.front() != '.' || rest.find_first_not_of('0', 1) != std::string_view::npos) return std::nullopt;
    }
    return number;
}

std::optional<std::int32_t> integer_value(const Value& value) {
    auto number = whole_number(value);
    if (!number || *number < std::numeric_limits<std::int32_t>::min() ||
        *number > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(*number);
}

bool is_utf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80            ? 1
                                   : (lead >> 5) == 0x6   ? 2
                                   : (lead >> 4) == 0xE   ? 3
                                   : (lead >> 3) == 0x1E  ? 4
                                                          : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
        i += length;
    }
    return true;
}

// The byte offset just past the first `count` characters, or npos when the
// text has no more than that. Characters are UTF-8 code points where the text
// is UTF-8, bytes otherwise (a single-byte code page).
std::size_t offset_after_characters(std::string_view text, std::size_t count) {
    if (!is_utf8(text)) return text.size() > count ? count : std::string_view::npos;
    std::size_t offset = 0;
    for (std::size_t seen = 0; offset < text.size(); ++seen) {
        if (seen == count) return offset;
        do ++offset;
        while (offset < text.size() && (static_cast<unsigned char>(text[offset]) >> 6) == 0x2);
    }
    return std::string_view::npos;
}

// The text that CommIns receives for a legacy comment: the empty string for
// Null; nullopt when the comment is wider than the column. Blanks past the
// 80th character are dropped, as the engines do themselves when storing into
// a varchar, since a fixed-width legacy column pads every comment with them.
std::optional<std::string> comment_value(const Value& value) {
    if (!value) return std::string();
    const std::string& text = *value;
    const std::size_t end = offset_after_characters(text, comment_width);
    if (end == std::string_view::npos) return text;
    if (text.find_first_not_of(' ', end) != std::string::npos) return std::nullopt;
    return text.substr(0, end);
}

// CoInType is a signed byte parameter; the SQL Server column is an unsigned tinyint.
std::int64_t lowest_comment_type(Engine engine) { return engine == Engine::SqlServer ? 0 : -128; }
constexpr std::int64_t highest_comment_type = 127;

// The text as the engines compare it: trailing blanks do not count, so a
// comment from a fixed-width legacy column equals its copy in CommIns.
std::string_view without_trailing_blanks(std::string_view text) {
    const auto end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

// What the check for comments already in CommIns needs of one comment row,
// in 16 bytes: its line and a 64-bit fingerprint of its type and its text
// (without trailing blanks). Two comments count as the same when their
// fingerprints are equal; for different comments of a line that happens with
// a chance of one in 2^64.
struct StoredComment {
    std::int32_t quote, line;
    std::uint64_t fingerprint;  // never 0, which marks an empty slot
};

std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    return h ^ (h >> 33);
}

std::uint64_t fingerprint(std::int64_t type, std::string_view text) {
    std::uint64_t h = std::hash<std::string_view>{}(text);
    h = mix(h ^ mix(static_cast<std::uint64_t>(type) + 0x9E3779B97F4A7C15ull));
    return h == 0 ? 1 : h;
}

// The comment rows with Number 1 that CommIns holds, and those this run
// inserted, by line: an open-addressing table that keeps several comments per
// line. Memory grows by half at a time, so that a million comments take about
// 25 MB at their peak.
class StoredComments {
public:
    void add(std::int32_t quote, std::int32_t line, std::uint64_t fingerprint) {
        if ((size_ + 1) * 8 > slots_.size() * 7) grow();
        place(slots_, {quote, line, fingerprint});
        ++size_;
    }
    // Whether CommIns holds a comment for the line, and whether one is this very comment.
    struct Found {
        bool line = false, same = false;
    };
    Found find(std::int32_t quote, std::int32_t line, std::uint64_t fingerprint) const {
        Found found;
        if (slots_.empty()) return found;
        for (std::size_t i = start(slots_.size(), quote, line);; i = (i + 1) % slots_.size()) {
            const StoredComment& s = slots_[i];
            if (s.fingerprint == 0) return found;
            if (s.quote == quote && s.line == line) {
                found.line = true;
                if (s.fingerprint == fingerprint) found.same = true;
            }
        }
    }

private:
    static std::size_t start(std::size_t capacity, std::int32_t quote, std::int32_t line) {
        const std::uint64_t h =
            mix((static_cast<std::uint64_t>(static_cast<std::uint32_t>(quote)) << 32) | static_cast<std::uint32_t>(line));
        return static_cast<std::size_t>(h % capacity);  // no 128-bit product: 32-bit targets have none
    }
    static void place(std::vector<StoredComment>& slots, const StoredComment& c) {
        std::size_t i = start(slots.size(), c.quote, c.line);
        while (slots[i].fingerprint != 0) i = (i + 1) % slots.size();
        slots[i] = c;
    }
    void grow() {
        std::vector<StoredComment> bigger(std::max<std::size_t>(1024, slots_.size() + slots_.size() / 2));
        for (const StoredComment& c : slots_)
            if (c.fingerprint != 0) place(bigger, c);
        slots_.swap(bigger);
    }

    std::vector<StoredComment> slots_;
    std::size_t size_ = 0;
};

bool stop_requested(const std::atomic<bool>* stop) { return stop && stop->load(); }

// A comment row of CommIns as the check sees it; nullopt for a row that no
// flagged line can match (a line number beyond 32 bits, an empty type).
std::optional<StoredComment> stored_comment(const Row& row) {
    auto quote = integer_value(at(row, 0)), line = integer_value(at(row, 1));
    auto type = whole_number(at(row, 2));
    if (!quote || !line || !type) return std::nullopt;
    return StoredComment{*quote, *line, fingerprint(*type, without_trailing_blanks(at(row, 3).value_or("")))};
}

// The comment rows with Number 1 that CommIns already holds.
Result<StoredComments> read_stored_comments(Session& session, const std::string& sql, const std::atomic<bool>* stop,
                                            bool& interrupted) {
    auto cursor = session.query(sql);
    if (!cursor) return cursor.error();
    StoredComments stored;
    for (;;) {
        if (stop_requested(stop)) {
            interrupted = true;
            return stored;
        }
        auto row = (*cursor)->fetch();
        if (!row) return row.error();
        if (!*row) break;
        if (auto c = stored_comment(**row)) stored.add(c->quote, c->line, c->fingerprint);
    }
    (void)(*cursor)->close();  // every row has been read; a failing close loses nothing
    return stored;
}

// A flagged line as the read statement gives it, as CommIns would receive it,
// or why it cannot be moved as it stands.
struct LineValues {
    std::optional<LineFault> fault;
    std::int32_t quote = 0, line = 0;
    std::int64_t comment_type = 0;  // the legacy type + 1
    std::string comment;            // "" for Null
};

LineValues read_line(const Row& row, Engine engine) {
    LineValues values;
    const auto quote = integer_value(at(row, quote_column));
    const auto line = integer_value(at(row, line_column));
    const auto legacy_type = whole_number(at(row, type_column));
    const auto comment = comment_value(at(row, comment_column));
    if (!quote || !line)
        values.fault = LineFault::KeyNotWhole;
    else if (!legacy_type)
        values.fault = LineFault::TypeEmpty;
    else if (*legacy_type < lowest_comment_type(engine) - 1 || *legacy_type > highest_comment_type - 1)
        values.fault = LineFault::TypeOutOfRange;
    else if (!comment)
        values.fault = LineFault::CommentTooLong;
    if (values.fault) return values;
    values.quote = *quote;
    values.line = *line;
    values.comment_type = *legacy_type + 1;
    values.comment = *comment;
    return values;
}

// Whether CommIns holds a comment row for the line: passed over when it is
// this very comment, left alone otherwise (an edit since an earlier run, or a
// second Details row for the line), so that nothing is overwritten or lost.
enum class Stored { None, Same, Other };

std::uint64_t fingerprint(const LineValues& values) {
    return fingerprint(values.comment_type, without_trailing_blanks(values.comment));
}

Stored stored_comment(const StoredComments& stored, const LineValues& values) {
    const auto found = stored.find(values.quote, values.line, fingerprint(values));
    return !found.line ? Stored::None : found.same ? Stored::Same : Stored::Other;
}

constexpr std::size_t listed_lines = 10;  // lines left alone that the message names

// Parameter sets per array where the driver runs arrays: one round trip
// carries this many lines.
constexpr std::size_t lines_per_array = 500;

// Copies the flagged lines, one at a time or in arrays of parameter sets as
// the driver allows; prepares the insert at the first line that needs it, so
// that nothing is prepared when there is nothing to insert.
class LineCopier {
public:
    LineCopier(Session& session, Engine engine, StoredComments stored, MigrationResult& result,
               const std::atomic<bool>* stop)
        : session_(session), engine_(engine), stored_(std::move(stored)), result_(result), stop_(stop) {}

    // False when a failure ended the migration.
    bool copy(const Row& row) {
        const LineValues values = read_line(row, engine_);
        if (values.fault) {
            ++result_.not_movable;
            note_unmoved(row);
            return true;
        }
        switch (stored_comment(stored_, values)) {
            case Stored::Same: ++result_.already_present; return true;
            case Stored::Other:
                ++result_.other_comment;
                note_unmoved(row);
                return true;
            case Stored::None: break;
        }
        if (!insert_) {
            static const std::vector<ParamSpec> params{
                {ParamType::Integer}, {ParamType::Integer}, {ParamType::TinyInt},
                {ParamType::Integer}, {ParamType::VarChar, comment_width}};
            auto prepared = session_.prepare_array(migration_statements(engine_).insert, params, lines_per_array);
            if (!prepared) return stop(prepared.error());
            insert_ = std::move(*prepared);
            pending_.reserve(insert_->array_size());
        }
        const std::uint64_t print = fingerprint(values);
        pending_.push_back({ParamValue::of(values.quote), ParamValue::of(values.line),
                            ParamValue::of(values.comment_type), ParamValue::of(1), ParamValue::of(values.comment)});
        pending_keys_.push_back({values.quote, values.line, print});
        stored_.add(values.quote, values.line, print);
        return pending_.size() < insert_->array_size() || flush();
    }

    // Sends the lines still waiting; false when a failure ended the migration.
    bool flush() {
        if (pending_.empty()) return true;
        if (insert_->array_size() == 1) {
            auto inserted = insert_->execute(pending_.front());
            pending_.clear(), pending_keys_.clear();
            if (!inserted) return stop(inserted.error());
            ++result_.copied;
            return true;
        }
        // A stop request since the last line was queued: the array is not sent.
        if (stop_requested(stop_)) {
            result_.interrupted = true;
            pending_.clear(), pending_keys_.clear();
            return false;
        }
        const ArrayOutcome outcome = insert_->execute_array(pending_);
        if (outcome.all_done()) {
            result_.copied += static_cast<int>(pending_.size());
            pending_.clear(), pending_keys_.clear();
            return true;
        }
        // Whether the driver committed the array row by row or as a unit, and
        // whatever it reported: CommIns itself says which of its lines are there.
        result_.copied += lines_in_comm_ins(outcome);
        pending_.clear(), pending_keys_.clear();
        return stop(outcome.error ? *outcome.error
                                  : DbError::make("HY000", "The driver reported a line of the array as not inserted."));
    }

private:
    // How many lines of the last array reached CommIns, read back from it;
    // where that read fails, what the driver reported.
    int lines_in_comm_ins(const ArrayOutcome& outcome) {
        StoredComments sent;
        for (const StoredComment& k : pending_keys_) sent.add(k.quote, k.line, k.fingerprint);
        auto cursor = session_.query(migration_statements(engine_).existing);
        int found = 0;
        for (; cursor;) {
            auto row = (*cursor)->fetch();
            if (!row) break;
            if (!*row) {
                (void)(*cursor)->close();
                return found;
            }
            if (auto c = stored_comment(**row); c && sent.find(c->quote, c->line, c->fingerprint).same) ++found;
        }
        return static_cast<int>(std::count(outcome.sets.begin(), outcome.sets.end(), SetStatus::Done));
    }

    bool stop(const DbError& error) {
        result_.stopped_by = error;
        return false;
    }

    void note_unmoved(const Row& row) {
        if (result_.unmoved_lines.size() < listed_lines)
            result_.unmoved_lines.push_back(at(row, quote_column).value_or("NULL") + "/" +
                                            at(row, line_column).value_or("NULL"));
    }

    Session& session_;
    Engine engine_;
    StoredComments stored_;
    MigrationResult& result_;
    std::unique_ptr<PreparedStatement> insert_;
    const std::atomic<bool>* stop_;
    std::vector<std::vector<ParamValue>> pending_;  // lines waiting for the next array
    std::vector<StoredComment> pending_keys_;       // the same lines' keys
};

std::string lines(int count) {
    return std::to_string(count) + (count == 1 ? " flagged quote line" : " flagged quote lines");
}

}  // namespace

namespace {

// The number the count statement answers, or -1.
long long flagged_lines(Session& session, const std::string& sql) {
    auto cursor = session.query(sql);
    if (!cursor) return -1;
    auto row = (*cursor)->fetch();
    (void)(*cursor)->close();
    if (!row || !*row) return -1;
    const auto number = whole_number(at(**row, 0));
    return number ? *number : -1;
}

}  // namespace

MigrationResult migrate_item_comments(Session& session, Engine engine, const std::atomic<bool>* stop,
                                      const MigrationProgress& progress) {
    const MigrationStatements& statements = migration_statements(engine);
    MigrationResult result;
    // Checked before each line: the line in flight is finished, nothing after it is sent.
    auto stopping = [&] { return result.interrupted = result.interrupted || stop_requested(stop); };

    const long long total = progress ? flagged_lines(session, statements.count) : -1;
    auto stored = read_stored_comments(session, statements.existing, stop, result.interrupted);
    if (stopping()) return result;
    if (!stored && !names_missing_object(stored.error())) {
        result.stopped_by = stored.error();
        return result;
    }
    // Without CommIns there is no earlier row to pass over; an insert, if any
    // line needs one, then fails and ends the migration.
    LineCopier copier(session, engine, stored ? std::move(*stored) : StoredComments{}, result, stop);

    // A connection that cannot write while a cursor has rows pending reads the
    // flagged lines on a second connection to the database, so that memory
    // does not grow with the table; only where none can be opened are they
    // all read first.
    std::unique_ptr<Session> reader;
    if (!session.can_write_while_reading())
        if (auto opened = session.open_reader()) reader = std::move(*opened);
    auto cursor = (reader ? *reader : session).query(statements.read);
    if (!cursor) {
        if (stopping()) return result;  // cancelled on the stop request: no failure of its own
        if (names_missing_object(cursor.error()))
            result.columns_gone = true;
        else
            result.stopped_by = cursor.error();
        return result;
    }
    bool read_any = false;
    auto fetch = [&]() -> std::optional<std::optional<Row>> {
        if (stopping()) return std::nullopt;
        auto row = (*cursor)->fetch();
        if (!row) {
            // Some drivers report a missing column only when the first row is fetched.
            if (stopping()) return std::nullopt;  // cancelled on the stop request
            if (!read_any && names_missing_object(row.error()))
                result.columns_gone = true;
            else
                result.stopped_by = row.error();
            return std::nullopt;
        }
        read_any = true;
        return std::move(*row);
    };
    // Lines wait for a full array; a stop request or a failure of the read
    // drops those not yet sent, so that only lines known to be in CommIns count.
    long long handled = 0;
    auto copy = [&](const Row& row) {
        if (stopping()) return false;
        if (progress && ++handled % 1000 == 0) progress(handled, total);
        if (copier.copy(row)) return true;
        // An insert cancelled on the stop request is no failure of its own.
        if (stopping()) result.stopped_by.reset();
        return false;
    };
    auto send_the_rest = [&] {
        if (stopping()) return;
        if (!copier.flush() && stopping()) result.stopped_by.reset();
        if (progress) progress(handled, total);
    };

    if (session.can_write_while_reading() || reader) {
        for (;;) {
            auto row = fetch();
            if (!row) return result;
            if (!*row) break;
            if (!copy(**row)) return result;
        }
        (void)(*cursor)->close();  // every line has been read and handled
        send_the_rest();
        return result;
    }

    // The connection cannot write while the cursor has rows pending: read
    // every flagged line first, then insert them in the order read.
    std::vector<Row> flagged;
    for (;;) {
        auto row = fetch();
        if (!row) return result;
        if (!*row) break;
        flagged.push_back(std::move(**row));
    }
    // Every line has been read; should the connection be unusable, the first insert says so.
    (void)(*cursor)->close();
    cursor.value().reset();
    for (const Row& row : flagged)
        if (!copy(row)) return result;
    send_the_rest();
    return result;
}

Result<CommentSurvey> survey_item_comments(Session& session, Engine engine, bool comm_ins_exists) {
    const MigrationStatements& statements = migration_statements(engine);
    StoredComments comments;
    if (comm_ins_exists) {
        bool interrupted = false;
        auto stored = read_stored_comments(session, statements.existing, nullptr, interrupted);
        if (!stored) return stored.error();
        comments = std::move(*stored);
    }

    CommentSurvey survey;
    auto cursor = session.query(statements.read);
    if (!cursor) return cursor.error();
    for (;;) {
        auto row = (*cursor)->fetch();
        if (!row) return row.error();
        if (!*row) break;
        const LineValues values = read_line(**row, engine);
        std::optional<LineFault> fault = values.fault;
        if (!fault) switch (stored_comment(comments, values)) {
                case Stored::Same: ++survey.in_comm_ins; continue;
                case Stored::Other: fault = LineFault::OtherComment; break;
                case Stored::None: ++survey.to_move; continue;
            }
        survey.unmovable.push_back(
            {at(**row, quote_column).value_or("NULL"), at(**row, line_column).value_or("NULL"), *fault});
    }
    (void)(*cursor)->close();
    return survey;
}

std::string kept_columns_message(const MigrationResult& result) {
    if (result.complete()) return {};
    const std::string kept = "legacy comment columns deItemComType and deItemCom were kept";
    std::string unmoved;  // why lines were left alone, and which
    if (result.unmoved() > 0) {
        std::vector<std::string> why;
        if (result.not_movable > 0)
            why.push_back(std::to_string(result.not_movable) + " with a comment longer than " +
                          std::to_string(comment_width) +
                          " characters, or a comment type that is empty or does not fit CoInType");
        if (result.other_comment > 0)
            why.push_back(std::to_string(result.other_comment) +
                          " whose line already has another comment in CommIns, which was left as it is");
        unmoved = " (" + why[0] + (why.size() > 1 ? "; " + why[1] : "") + "; QuoteID/Line ";
        for (std::size_t i = 0; i < result.unmoved_lines.size(); ++i)
            unmoved += (i ? ", " : "") + result.unmoved_lines[i];
        unmoved += (static_cast<std::size_t>(result.unmoved()) > result.unmoved_lines.size() ? ", ...)" : ")");
    }
    if (!result.stopped_by && !result.interrupted)
        return lines(result.unmoved()) + " could not be moved to CommIns" + unmoved + "; the " + kept + ".";

    std::string message = "Moving the item comments of flagged quote lines to CommIns ";
    message += result.interrupted ? "was interrupted " : "stopped ";
    if (result.copied == 0)
        message += "before any line was copied";
    else
        message += "after " + std::to_string(result.copied) + (result.copied == 1 ? " line was" : " lines were") +
                   " copied";
    const std::string reason = result.stopped_by ? result.stopped_by->messages() : std::string();
    message += reason.empty() ? std::string(".") : ": " + reason + (reason.back() == '.' ? "" : ".");
    if (result.unmoved() > 0) message += " Besides, " + lines(result.unmoved()) + " could not be moved" + unmoved + ".";
    message += " The " + kept + ", so no comment is lost; " +
               (result.stopped_by ? "once the cause is removed, running" : "running") +
               " the update again copies the lines still missing.";
    return message;
}

}  // namespace sp
