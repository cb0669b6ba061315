// Opens the back end a data-source string names: an ODBC connection string or DSN, or else a
// SQLite database file.
#pragma once

#include <memory>
#include <string>

#include "backend.h"

namespace tabulo {

// Null with the engineer's message (file or connection, and the engine's reason) in `message`.
std::unique_ptr<Backend> OpenBackend(const std::wstring& source, std::wstring& message);

// Connects to an ODBC source and disconnects: "Connected to <product>." or why not.
bool TestOdbcSource(const std::wstring& connection, std::wstring& message);

} // namespace tabulo
