#include "odbc_handles.h"

namespace tabulo {

bool OdbcHandle::Allocate(SQLSMALLINT type, SQLHANDLE parent) {
    Reset();
    type_ = type;
    SQLHANDLE handle = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle)))
        return false;
    handle_ = handle;
    return true;
}

void OdbcHandle::Reset() {
    if (handle_ == SQL_NULL_HANDLE)
        return;
    if (type_ == SQL_HANDLE_DBC)
        SQLDisconnect(handle_); // harmless when not connected
    SQLFreeHandle(type_, handle_);
    handle_ = SQL_NULL_HANDLE;
}

OdbcDiagnostics ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    OdbcDiagnostics result;
    if (handle == SQL_NULL_HANDLE)
        return result;
    for (SQLSMALLINT record = 1; record < 20; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(
                SQLGetDiagRecW(type, handle, record, state, &native, nullptr, 0, &length)))
            break;
        std::wstring message(static_cast<size_t>(length) + 1, L'\0');
        if (!SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, record, state, &native,
                                          reinterpret_cast<SQLWCHAR*>(&message[0]),
                                          static_cast<SQLSMALLINT>(message.size()), &length)))
            break;
        message.resize(static_cast<size_t>(length) < message.size() ? length : message.size() - 1);
        // Drivers end lines with newlines and ';'; one line reads better in a message box.
        for (wchar_t& c : message) {
            if (c == L'\n' || c == L'\r')
                c = L' ';
        }
        while (!message.empty() && (message.back() == L' ' || message.back() == L';'))
            message.pop_back();
        const std::wstring sqlState(reinterpret_cast<wchar_t*>(state));
        if (sqlState.compare(0, 2, L"08") == 0 || sqlState == L"57P01" || sqlState == L"57P02" ||
            sqlState == L"57P03")
            result.connectionBroken = true;
        if (message.empty() || result.text.find(message) != std::wstring::npos)
            continue;
        if (!result.text.empty())
            result.text += L" ";
        result.text += message;
    }
    return result;
}

} // namespace tabulo
