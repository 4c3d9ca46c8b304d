// A statement prepared once (SQLPrepare) whose parameters are bound to
// buffers it owns; each execution fills the buffers and calls SQLExecute.
// Prepared for arrays, the buffers hold several parameter sets, bound column
// by column, and one SQLExecute sends them all (SQL_ATTR_PARAMSET_SIZE).
#pragma once

#include <memory>
#include <vector>

#include "odbc/connection.h"
#include "odbc/database.h"

namespace sp::odbc {

class OdbcPreparedStatement : public PreparedStatement {
public:
    // sets > 1: arrays of that many parameter sets, where the driver says how
    // it reports on them (SQL_PARAM_ARRAY_ROW_COUNTS is SQL_PARC_BATCH or
    // SQL_PARC_NO_BATCH) and accepts the size; else one set at a time.
    static Result<std::unique_ptr<PreparedStatement>> prepare(std::shared_ptr<Connection> connection,
                                                              const std::string& sql,
                                                              const std::vector<ParamSpec>& params,
                                                              std::size_t sets = 1);

    // Refuses, without sending anything, a value list of the wrong length, a
    // value of the wrong kind and an integer outside its type's range. Text
    // longer than the declared size is sent whole: the engine decides (in
    // array mode, text beyond four bytes a character of the size is refused).
    Result<void> execute(const std::vector<ParamValue>& values) override;
    std::size_t array_size() const override { return sets_; }
    ArrayOutcome execute_array(const std::vector<std::vector<ParamValue>>& sets) override;

private:
    // One parameter's buffers, sets_ values each; their addresses are what
    // the driver holds.
    struct Bound {
        ParamSpec declared;
        std::vector<SQLINTEGER> integer;
        std::vector<SQLSMALLINT> tiny;  // TinyInt, range-checked to -128..127
        std::vector<char> text;         // sets_ slots of text_width bytes
        std::size_t text_width = 0;
        std::vector<SQLLEN> indicator;
    };

    OdbcPreparedStatement(std::shared_ptr<Connection> connection, StmtHandle stmt, const std::vector<ParamSpec>& params,
                          std::size_t sets);
    Result<void> bind(SQLUSMALLINT number);
    Result<void> fill(SQLUSMALLINT number, std::size_t set, const ParamValue& value);
    Result<void> fill_set(std::size_t set, const std::vector<ParamValue>& values);
    Result<void> set_count(std::size_t count);
    Result<void> run_and_close();

    std::shared_ptr<Connection> connection_;
    StmtHandle stmt_;
    std::size_t count_;
    std::size_t sets_;
    std::unique_ptr<Bound[]> params_;  // never resized, so bound addresses stay valid
    std::vector<SQLUSMALLINT> status_;  // per set, written by the driver
    SQLULEN processed_ = 0;
    std::size_t paramset_size_ = 1;  // as last set on the statement
};

}  // namespace sp::odbc
