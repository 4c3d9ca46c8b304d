// Owners of ODBC handles. Each frees its handle when it goes, never throws,
// and does the cleanup the handle needs first: a statement closes its cursor,
// a connection disconnects when it was connected. Failures while cleaning up
// are dropped: there is nobody left to tell.
#pragma once

#ifdef _WIN32
#include <windows.h>  // before sql.h, which needs its types
#endif
#include <sql.h>
#include <sqlext.h>

#include <utility>

#include "odbc/diagnostics.h"
#include "odbc/result.h"

namespace sp::odbc {

template <SQLSMALLINT Type>
class Handle {
public:
    Handle() = default;
    explicit Handle(SQLHANDLE handle) noexcept : handle_(handle) {}
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }

    SQLHANDLE get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != SQL_NULL_HANDLE; }
    DiagSource diag() const noexcept { return {Type, handle_}; }

    void reset() noexcept {
        if (handle_ == SQL_NULL_HANDLE) return;
        if constexpr (Type == SQL_HANDLE_STMT) SQLFreeStmt(handle_, SQL_CLOSE);
        SQLFreeHandle(Type, handle_);
        handle_ = SQL_NULL_HANDLE;
    }

private:
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

using EnvHandle = Handle<SQL_HANDLE_ENV>;
using StmtHandle = Handle<SQL_HANDLE_STMT>;

// A connection handle that remembers whether it is connected, so that it
// disconnects before it is freed.
class DbcHandle {
public:
    DbcHandle() = default;
    explicit DbcHandle(SQLHDBC handle) noexcept : handle_(handle) {}
    DbcHandle(DbcHandle&& other) noexcept
        : handle_(std::move(other.handle_)), connected_(std::exchange(other.connected_, false)) {}
    DbcHandle& operator=(DbcHandle&& other) noexcept {
        if (this != &other) {
            disconnect();
            handle_ = std::move(other.handle_);
            connected_ = std::exchange(other.connected_, false);
        }
        return *this;
    }
    ~DbcHandle() { disconnect(); }

    SQLHDBC get() const noexcept { return handle_.get(); }
    DiagSource diag() const noexcept { return handle_.diag(); }
    void mark_connected() noexcept { connected_ = true; }

    void disconnect() noexcept {
        if (connected_) SQLDisconnect(handle_.get());
        connected_ = false;
    }

private:
    Handle<SQL_HANDLE_DBC> handle_;
    bool connected_ = false;
};

// An ODBC 3 environment.
Result<EnvHandle> allocate_environment();
Result<DbcHandle> allocate_connection(const EnvHandle& env);
Result<StmtHandle> allocate_statement(const DbcHandle& dbc);

}  // namespace sp::odbc
