#include "backend.h"

namespace tabulo {

std::wstring CreateTableStatement(const std::wstring& table,
                                  const std::vector<ColumnInfo>& columns) {
    std::wstring sql = L"CREATE TABLE " + table + L" (";
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i)
            sql += L", ";
        sql += QuoteIdentifier(columns[i].name);
        sql += columns[i].kind == ColumnKind::Integer ? L" INTEGER" : L" TEXT";
    }
    return sql + L")";
}

std::wstring InsertStatement(const std::wstring& table, const std::vector<ColumnInfo>& columns) {
    if (columns.empty())
        return L"INSERT INTO " + table + L" DEFAULT VALUES";
    std::wstring sql = L"INSERT INTO " + table + L" (";
    std::wstring parameters;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i) {
            sql += L", ";
            parameters += L", ";
        }
        sql += QuoteIdentifier(columns[i].name);
        parameters += L"?";
    }
    return sql + L") VALUES (" + parameters + L")";
}

} // namespace tabulo
