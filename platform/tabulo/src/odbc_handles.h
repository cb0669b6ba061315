// Owners of ODBC handles, and the diagnostic text of a failed call.
#pragma once

#include <windows.h>

#include <sql.h>
#include <sqlext.h>

#include <string>

namespace tabulo {

class OdbcHandle {
public:
    OdbcHandle() = default;
    ~OdbcHandle() { Reset(); }
    OdbcHandle(const OdbcHandle&) = delete;
    OdbcHandle& operator=(const OdbcHandle&) = delete;
    OdbcHandle(OdbcHandle&& other) noexcept : type_(other.type_), handle_(other.handle_) {
        other.handle_ = SQL_NULL_HANDLE;
    }

    // A new handle of `type` below `parent` (SQL_NULL_HANDLE for an environment).
    bool Allocate(SQLSMALLINT type, SQLHANDLE parent);
    void Reset();
    SQLHANDLE get() const { return handle_; }
    SQLSMALLINT type() const { return type_; }

private:
    SQLSMALLINT type_ = 0;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

struct OdbcDiagnostics {
    std::wstring text;             // every record's message, one after the other
    bool connectionBroken = false; // a record with SQLSTATE class 08 or a server shutdown
};

OdbcDiagnostics ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle);

} // namespace tabulo
