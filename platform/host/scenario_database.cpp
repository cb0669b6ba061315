#include "scenario_database.h"

#include <windows.h>

#include <cctype>
#include <vector>

#include "fw/string.h"
#include "setup_sql.h"

namespace host {
namespace {

constexpr size_t kSchemaNameChars = 40; // PostgreSQL keeps 63 bytes of a name

std::string Environment(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0)
        return std::string();
    std::vector<wchar_t> value(size);
    GetEnvironmentVariableW(name, value.data(), size);
    return fw::WideToUtf8(value.data());
}

// The scenario's name as a schema name: lower-case letters, digits and '_', and this process's
// id, so that no two runs share a schema.
std::string SchemaName(const std::string& scenarioName) {
    std::string base = scenarioName.substr(scenarioName.find_last_of("\\/") + 1);
    base = base.substr(0, base.rfind('.'));
    std::string name = "scn_";
    for (char c : base) {
        if (name.size() >= kSchemaNameChars)
            break;
        const unsigned char u = static_cast<unsigned char>(c);
        name += std::isalnum(u) && u < 0x80 ? static_cast<char>(std::tolower(u)) : '_';
    }
    return name + "_" + std::to_string(GetCurrentProcessId());
}

} // namespace

ScenarioDatabase::~ScenarioDatabase() {
    if (schema_.empty())
        return;
    // A connection the plug-in left inside a transaction must not keep the host from ending.
    std::string error;
    tabulo::ExecuteSql(server_,
                       "SET lock_timeout = '5s'; DROP SCHEMA IF EXISTS \"" + schema_ + "\" CASCADE",
                       error);
}

bool ScenarioDatabase::Prepare(const std::wstring& outputDirectory, const std::string& file,
                               const std::string& scenarioName, const std::string& seed,
                               bool readOnly, std::string& why) {
    if (Ready()) {
        why = "the scenario has a database already";
        return false;
    }
    if (target_.empty()) {
        std::wstring name = fw::Utf8ToWide(file);
        for (wchar_t& c : name)
            if (c == L'/')
                c = L'\\';
        const std::wstring joined = outputDirectory + L"\\" + name;
        wchar_t full[MAX_PATH] = {};
        const DWORD length = GetFullPathNameW(joined.c_str(), MAX_PATH, full, nullptr);
        if (length == 0 || length >= MAX_PATH) {
            why = "the path " + file + " is not valid";
            return false;
        }
        // A file from an earlier run would hold its tables.
        SetFileAttributesW(full, FILE_ATTRIBUTE_NORMAL);
        if (!DeleteFileW(full) && GetLastError() != ERROR_FILE_NOT_FOUND) {
            why = "cannot remove the earlier " + fw::WideToUtf8(full);
            return false;
        }
        source_ = fw::WideToUtf8(full);
    } else if (target_ == "postgres") {
        if (readOnly) {
            why = "a read-only database is a file";
            return false;
        }
        server_ = Environment(L"TABULO_TEST_ODBC");
        if (server_.empty()) {
            const std::string reason = Environment(L"TABULO_TEST_ODBC_ERROR");
            why = "no PostgreSQL test server" + (reason.empty() ? std::string() : ": " + reason);
            return false;
        }
        const std::string schema = SchemaName(scenarioName);
        if (!tabulo::ExecuteSql(server_,
                                "DROP SCHEMA IF EXISTS \"" + schema +
                                    "\" CASCADE; CREATE SCHEMA \"" + schema + "\"",
                                why))
            return false;
        schema_ = schema;
        // Only the scenario's schema is on the path: unqualified names land there, nowhere else.
        source_ = server_ + ";ConnSettings={SET search_path TO \"" + schema_ + "\"}";
        odbc_ = true;
    } else {
        if (readOnly) {
            why = "a read-only database is a file";
            return false;
        }
        source_ = target_;
        odbc_ = true;
    }
    if (!seed.empty() && !tabulo::ExecuteSql(source_, seed, why)) {
        why = "the seed SQL failed: " + why;
        return false;
    }
    if (readOnly) {
        // An empty file is an empty database.
        const std::wstring path = fw::Utf8ToWide(source_);
        HANDLE created = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created != INVALID_HANDLE_VALUE)
            CloseHandle(created);
        if (!SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY)) {
            why = "cannot make " + source_ + " read-only";
            return false;
        }
    }
    return true;
}

bool ScenarioDatabase::Exists() const {
    if (odbc_)
        return Ready();
    return GetFileAttributesW(fw::Utf8ToWide(source_).c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace host
