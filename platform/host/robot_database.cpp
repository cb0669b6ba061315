// The robot's steps on the scenario's database: choosing it in the database library's
// data-source dialog as an engineer would, and reading back, beside the plug-in, the tables
// that were written.
#include <algorithm>

#include "robot.h"
#include "robot_util.h"
#include "session.h"
#include "table_reader.h"
#include "tabulo_ids.h"

namespace host {
namespace {

std::string TableList(const std::vector<tabulo::ReadTable>& tables) {
    std::string text;
    for (const tabulo::ReadTable& table : tables)
        text += (text.empty() ? "" : ", ") + Quoted(table.name);
    return text.empty() ? "none" : text;
}

std::string ValueText(const std::optional<std::string>& value) {
    return value ? Quoted(*value) : "NULL";
}

} // namespace

bool Robot::ChooseDatabase(const Step&, std::string& why) {
    ScenarioDatabase& database = session_.Database();
    if (!database.Ready()) {
        why = "the scenario has no database (given database)";
        return false;
    }
    HWND dialog = nullptr;
    if (!WaitForDialog(dialog, why))
        return false;
    HWND kind = GetDlgItem(dialog, database.IsOdbc() ? IDC_TABULO_ODBC_KIND : IDC_TABULO_FILE_KIND);
    HWND field =
        GetDlgItem(dialog, database.IsOdbc() ? IDC_TABULO_CONNECTION : IDC_TABULO_FILE_PATH);
    HWND ok = GetDlgItem(dialog, IDOK);
    if (!kind || !field || !ok) {
        why = "the dialog " + Quoted(TextOf(dialog)) + " is not the data-source dialog";
        return false;
    }
    // The engineer's clicks and typing: the kind first (it enables the field), then the source.
    PostMessageW(kind, BM_CLICK, 0, 0);
    if (!Sync())
        return false;
    const std::wstring source = Wide(database.Source());
    OnUi([&] {
        SetFocus(field);
        SetWindowTextW(field, source.c_str());
    });
    PostMessageW(ok, BM_CLICK, 0, 0);
    if (!Sync())
        return false;
    // OK opens the source first: it ends the dialog, or tells why it cannot.
    bool boxed = false;
    const bool closed = WaitUntil([&] {
        boxed = IsMessageBox(TopDialog());
        return boxed || !IsWindow(dialog) || !IsWindowVisible(dialog);
    });
    if (boxed)
        return !UnexpectedMessageBox(why);
    if (!closed) {
        why = "the data-source dialog is still open";
        return false;
    }
    return Sync();
}

namespace {

// The scenario's tables as read back; false with the reason.
bool ReadBack(ScenarioDatabase& database, const std::string& only,
              std::vector<tabulo::ReadTable>& tables, std::string& why) {
    tables.clear();
    if (!database.Ready()) {
        why = "the scenario has no database (given database)";
        return false;
    }
    if (!database.Exists())
        return true; // never opened: nothing was written
    const tabulo::ReadResult result = tabulo::ReadTables(database.Source(), only);
    if (!result.ok) {
        why = "cannot read the database back: " + result.error;
        return false;
    }
    tables = result.tables;
    return true;
}

} // namespace

bool Robot::NamedTable(const Step& step, tabulo::ReadTable& table, std::string& why) {
    if (UnexpectedMessageBox(why))
        return false;
    const std::string& name = step.Arg(0).text;
    std::vector<tabulo::ReadTable> tables;
    if (!ReadBack(session_.Database(), name, tables, why))
        return false;
    if (tables.empty()) {
        why = "there is no table " + Quoted(name);
        return false;
    }
    table = tables[0];
    return true;
}

bool Robot::ExpectTables(const Step& step, std::string& why) {
    if (UnexpectedMessageBox(why))
        return false;
    std::vector<tabulo::ReadTable> tables;
    if (!ReadBack(session_.Database(), std::string(), tables, why))
        return false;
    std::vector<std::string> expected, actual;
    for (size_t i = 0; i < step.ArgCount(); ++i)
        if (step.Arg(i).quoted)
            expected.push_back(step.Arg(i).text);
    for (const tabulo::ReadTable& table : tables)
        actual.push_back(table.name);
    std::sort(expected.begin(), expected.end());
    if (actual != expected) {
        why = "the database holds " + TableList(tables);
        return false;
    }
    return true;
}

bool Robot::ExpectTable(const Step& step, std::string& why) {
    tabulo::ReadTable table;
    if (!NamedTable(step, table, why))
        return false;
    const std::string& name = step.Arg(0).text;
    std::string expected, actual;
    for (size_t i = 2; i + 2 < step.ArgCount(); ++i)
        expected += " " + Quoted(step.Arg(i).text);
    for (const tabulo::ReadColumn& column : table.columns)
        actual += " " + Quoted(column.name + ":" + column.type);
    if (actual != expected) {
        why = "the table " + Quoted(name) + " has the columns" + actual;
        return false;
    }
    const std::string& rows = step.Arg(step.ArgCount() - 1).text;
    if (std::to_string(table.rows.size()) != rows) {
        why = "the table " + Quoted(name) + " has " + std::to_string(table.rows.size()) +
              " row(s), expected " + rows;
        return false;
    }
    return true;
}

bool Robot::ExpectRow(const Step& step, std::string& why) {
    tabulo::ReadTable table;
    if (!NamedTable(step, table, why))
        return false;
    const std::string& name = step.Arg(0).text;
    const size_t row = std::stoul(step.Arg(1).text);
    if (row < 1 || row > table.rows.size()) {
        why = "the table " + Quoted(name) + " has " + std::to_string(table.rows.size()) +
              " row(s), no row " + step.Arg(1).text;
        return false;
    }
    const auto& values = table.rows[row - 1];
    for (size_t i = 2; i + 1 < step.ArgCount(); i += 2) {
        const std::string& column = step.Arg(i).text;
        size_t index = 0;
        while (index < table.columns.size() && table.columns[index].name != column)
            ++index;
        if (index >= table.columns.size() || index >= values.size()) {
            why = "the table " + Quoted(name) + " has no column " + Quoted(column);
            return false;
        }
        const std::optional<std::string> expected =
            step.Arg(i + 1).quoted ? std::optional<std::string>(step.Arg(i + 1).text)
                                   : std::nullopt;
        if (values[index] != expected) {
            why = "row " + step.Arg(1).text + " of " + Quoted(name) + " holds " + Quoted(column) +
                  "=" + ValueText(values[index]) + ", expected " + ValueText(expected);
            return false;
        }
    }
    return true;
}

} // namespace host
