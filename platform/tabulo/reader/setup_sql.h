// Runs SQL on a data source beside the library, for what tests, scenarios and the demo prepare
// before the plug-in writes (a table that is there already, a schema of their own) and for
// cleaning it away afterwards. The source is a SQLite file or an ODBC connection string, as
// UTF-8; the SQL is UTF-8 and may hold several statements. Each statement is committed.
#pragma once

#include <string>

namespace tabulo {

// False with the database's text in `error` when the source cannot be opened or a statement
// fails (the statements before it stay done).
bool ExecuteSql(const std::string& source, const std::string& sql, std::string& error);

} // namespace tabulo
