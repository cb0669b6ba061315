// tabulo-dump <source> [table]: prints every table of a SQLite file or an ODBC data source with
// its columns ("name:TYPE") and rows, as UTF-8. Exit code 1 when the source cannot be read.
#include <windows.h>

#include <cstdio>
#include <string>

#include "table_reader.h"

namespace {

std::string ToUtf8(const wchar_t* wide) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return std::string();
    std::string text(static_cast<size_t>(size - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], size, nullptr, nullptr);
    return text;
}

void Write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

} // namespace

int main() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count < 2) {
        Write("usage: tabulo-dump <database file | ODBC connection string> [table]\n");
        return 2;
    }
    const std::string source = ToUtf8(arguments[1]);
    const std::string only = count > 2 ? ToUtf8(arguments[2]) : std::string();
    LocalFree(arguments);
    try {
        const tabulo::ReadResult result = tabulo::ReadTables(source, only);
        for (const tabulo::ReadTable& table : result.tables)
            Write(tabulo::FormatTable(table));
        if (!result.ok) {
            Write("tabulo-dump: " + result.error + "\n");
            return 1;
        }
        Write(std::to_string(result.tables.size()) + " tables\n");
        return 0;
    } catch (...) {
        Write("tabulo-dump: out of memory\n");
        return 1;
    }
}
