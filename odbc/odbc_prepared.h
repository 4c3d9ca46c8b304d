// A statement prepared once (SQLPrepare) whose parameters are bound to
// buffers it owns; each execution fills the buffers and calls SQLExecute.
#pragma once

#include <memory>
#include <vector>

#include "odbc/connection.h"
#include "odbc/database.h"

namespace sp::odbc {

class OdbcPreparedStatement : public PreparedStatement {
public:
    static Result<std::unique_ptr<PreparedStatement>> prepare(std::shared_ptr<Connection> connection,
                                                              const std::string& sql,
                                                              const std::vector<ParamSpec>& params);

    // Refuses, without sending anything, a value list of the wrong length, a
    // value of the wrong kind and an integer outside its type's range. Text
    // longer than the declared size is sent whole: the engine decides.
    Result<void> execute(const std::vector<ParamValue>& values) override;

private:
    // One parameter's buffers; their addresses are what the driver holds.
    struct Bound {
        ParamSpec declared;
        SQLINTEGER integer = 0;
        SQLSMALLINT tiny = 0;  // TinyInt, range-checked to -128..127
        std::vector<char> text;
        SQLLEN indicator = SQL_NULL_DATA;
    };

    OdbcPreparedStatement(std::shared_ptr<Connection> connection, StmtHandle stmt, const std::vector<ParamSpec>& params);
    Result<void> bind(SQLUSMALLINT number);
    Result<void> fill(SQLUSMALLINT number, const ParamValue& value);

    std::shared_ptr<Connection> connection_;
    StmtHandle stmt_;
    std::size_t count_;
    std::unique_ptr<Bound[]> params_;  // never resized, so bound addresses stay valid
};

}  // namespace sp::odbc
