// The database a scenario's point tables go to (`given database`). By default a database file in
// the scenario's output folder. When the host is told so (host --database postgres) the same
// scenario runs against the test run's PostgreSQL server instead, in an empty schema of its own
// that is dropped again when the host ends; with an ODBC connection string (the demo) it uses
// that data source as it is. The robot types the source into the database library's data-source
// dialog and reads back, through the library's reader, what was written.
#pragma once

#include <string>

namespace host {

class ScenarioDatabase {
public:
    ScenarioDatabase() = default;
    ScenarioDatabase(const ScenarioDatabase&) = delete;
    ScenarioDatabase& operator=(const ScenarioDatabase&) = delete;
    // Drops the schema it made.
    ~ScenarioDatabase();

    // What the host was started with: empty (a file), "postgres" or a connection string.
    void SetTarget(const std::string& target) { target_ = target; }

    // Makes the database: a new file `file` (UTF-8, relative to `outputDirectory`), or a new
    // schema named after `scenarioName` on the test server, or the given data source. Then runs
    // the SQL of `seed` (may be empty) and, for a file, makes it read-only when asked.
    bool Prepare(const std::wstring& outputDirectory, const std::string& file,
                 const std::string& scenarioName, const std::string& seed, bool readOnly,
                 std::string& why);

    bool Ready() const { return !source_.empty(); }
    // The data source as the engineer gives it to the library (UTF-8): a path or a connection
    // string.
    const std::string& Source() const { return source_; }
    bool IsOdbc() const { return odbc_; }
    // A file that was never created holds no tables.
    bool Exists() const;

private:
    std::string target_;
    std::string source_;
    bool odbc_ = false;
    std::string server_; // the test server's connection string, while our schema lives
    std::string schema_;
};

} // namespace host
