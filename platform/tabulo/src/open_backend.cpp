#include "open_backend.h"

#include "messages.h"
#include "names.h"
#include "odbc_backend.h"
#include "sqlite_backend.h"

namespace tabulo {

std::unique_ptr<Backend> OpenBackend(const std::wstring& source, std::wstring& message) {
    std::wstring error;
    if (IsOdbcSource(source)) {
        std::unique_ptr<Backend> backend = OdbcBackend::Connect(source, error);
        if (!backend)
            message = FormatText(IDS_CONNECT, {error});
        return backend;
    }
    std::unique_ptr<Backend> backend = SqliteBackend::Open(source, error);
    if (!backend)
        message = FormatText(IDS_OPEN_FILE, {source, error});
    return backend;
}

bool TestOdbcSource(const std::wstring& connection, std::wstring& message) {
    std::wstring error;
    std::unique_ptr<OdbcBackend> backend = OdbcBackend::Connect(connection, error);
    if (!backend) {
        message = FormatText(IDS_CONNECT, {error});
        return false;
    }
    message = FormatText(IDS_CONNECTED, {backend->ProductName()});
    return true;
}

} // namespace tabulo
