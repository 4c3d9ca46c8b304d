// A forward-only result set over an ODBC statement: every column is read as
// text with SQLGetData, however long, and SQL NULL becomes std::nullopt.
#pragma once

#include <memory>

#include "odbc/connection.h"
#include "odbc/database.h"

namespace sp::odbc {

class OdbcCursor : public Cursor {
public:
    // stmt has been executed; its first result set (if any) is current.
    OdbcCursor(std::shared_ptr<Connection> connection, StmtHandle stmt, SQLSMALLINT columns)
        : connection_(std::move(connection)), stmt_(std::move(stmt)), columns_(columns) {}

    Result<std::optional<Row>> fetch() override;
    // SQLCloseCursor; its failure is reported. Closing twice is harmless.
    Result<void> close() override;

private:
    std::shared_ptr<Connection> connection_;
    StmtHandle stmt_;  // its destructor closes the cursor when close() was not called
    SQLSMALLINT columns_;
    bool open_ = true;
};

}  // namespace sp::odbc
