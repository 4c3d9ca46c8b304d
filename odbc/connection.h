// What a session shares with the cursors and prepared statements it hands
// out: the connection handle (and the environment it was made in), the query
// timeout that every statement gets, and the statement in flight, which
// cancel() may interrupt from another thread. Shared ownership means a cursor
// that outlives its session still has a live connection under it.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "odbc/handles.h"
#include "odbc/result.h"

namespace sp::odbc {

class Connection {
public:
    // cancel_across_threads: false for a driver whose SQLCancel is not safe
    // while another thread runs the statement; cancel() then does nothing.
    Connection(std::shared_ptr<const EnvHandle> env, DbcHandle dbc, int query_timeout_s, bool cancel_across_threads)
        : env_(std::move(env)),
          dbc_(std::move(dbc)),
          query_timeout_s_(query_timeout_s),
          cancel_across_threads_(cancel_across_threads) {}

    const DbcHandle& dbc() const { return dbc_; }
    // The environment the connection was made in (another may be made in it).
    const std::shared_ptr<const EnvHandle>& env() const { return env_; }

    // A new statement whose SQL_ATTR_QUERY_TIMEOUT is the session's.
    Result<StmtHandle> new_statement();

    // Runs call(), which works on stmt, with stmt registered as the statement
    // in flight, and checks its return code.
    template <class Call>
    Result<SQLRETURN> run(const StmtHandle& stmt, const char* name, Call&& call) {
        SQLRETURN rc;
        {
            InFlight guard(*this, stmt.get());
            rc = call();
        }
        auto result = checked(rc, stmt.diag(), name);
        if (result) return result;
        DbError error = result.error();
        error.connection_dead = is_dead();
        return error;
    }

    // SQL_ATTR_CONNECTION_DEAD: true only when the driver says so. Asked after
    // every failure, since some drivers report a broken connection at first
    // as an unexplained error (FreeTDS: HY000 "Unknown error" after a reset).
    bool is_dead() const;

    // Moves past every result the statement produced, so that errors reported
    // with a later result (a batch of several statements) are not lost.
    Result<void> discard_results(const StmtHandle& stmt);

    // SQLCancel on the statement in flight, if any. Safe from any thread at
    // any time; its outcome is not read, since reading the statement's
    // diagnostics would race with the thread that runs it. A cancel that
    // arrives between two calls finds nothing in flight and is lost; the
    // caller that wants to stop checks its own flag after the statement.
    void cancel() noexcept;

private:
    class InFlight {
    public:
        InFlight(Connection& c, SQLHSTMT stmt) : c_(c) {
            std::lock_guard lock(c_.mutex_);
            c_.in_flight_ = stmt;
        }
        ~InFlight() {
            std::lock_guard lock(c_.mutex_);
            c_.in_flight_ = SQL_NULL_HSTMT;
        }
        InFlight(const InFlight&) = delete;
        InFlight& operator=(const InFlight&) = delete;

    private:
        Connection& c_;
    };

    // Declared before dbc_ so that it is released after it.
    std::shared_ptr<const EnvHandle> env_;
    DbcHandle dbc_;
    int query_timeout_s_;
    bool cancel_across_threads_;
    std::mutex mutex_;  // guards in_flight_; held while SQLCancel runs, so the handle stays alive
    SQLHSTMT in_flight_ = SQL_NULL_HSTMT;
};

}  // namespace sp::odbc
