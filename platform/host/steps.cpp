#include "steps.h"

#include "given.h"
#include "robot.h"
#include "scenario.h"

namespace host {
namespace {

bool NonEmptyText(const Step& step, std::string& why) {
    for (size_t i = 0; i < step.ArgCount(); ++i) {
        if (step.Arg(i).quoted && step.Arg(i).text.empty()) {
            why = "'" + step.Kind() + "' needs a text in argument " + std::to_string(i + 1);
            return false;
        }
    }
    return true;
}

bool ChildrenNoneAlone(const Step& step, std::string& why) {
    size_t children = step.First();
    while (step.words[children].quoted || step.words[children].text != "children")
        ++children;
    bool none = false;
    for (size_t i = children + 1; i < step.words.size(); ++i)
        none = none || (!step.words[i].quoted && step.words[i].text == "none");
    if (none && step.words.size() != children + 2) {
        why = "'none' stands alone after 'children'";
        return false;
    }
    return true;
}

bool TagsBound(const Step& step, std::string& why) {
    if (std::stol(step.Arg(0).text) > 100000) {
        why = "at most 100000 tags";
        return false;
    }
    return NonEmptyText(step, why);
}

// After the row number: pairs of a quoted column name and a quoted value or NULL.
bool ColumnValuePairs(const Step& step, std::string& why) {
    if ((step.ArgCount() - 2) % 2 != 0) {
        why = "each column needs its value";
        return false;
    }
    for (size_t i = 2; i < step.ArgCount(); i += 2) {
        const FieldValue& column = step.Arg(i);
        const FieldValue& value = step.Arg(i + 1);
        if (!column.quoted || column.text.empty()) {
            why = "argument " + std::to_string(i + 1) + " must be a column name in quotes";
            return false;
        }
        if (!value.quoted && value.text != "NULL") {
            why = "argument " + std::to_string(i + 2) + " must be a quoted value or NULL";
            return false;
        }
    }
    return true;
}

// ctrl and shift are held while clicking a list box entry; a button's click knows no keys.
bool KeysWithAnEntry(const Step& step, std::string& why) {
    bool entry = false;
    for (size_t i = 1; i < step.ArgCount(); ++i)
        entry = entry || step.Arg(i).quoted;
    if (!entry && step.ArgCount() > 1) {
        why = "ctrl and shift go with a list box entry";
        return false;
    }
    return true;
}

bool PumpBound(const Step& step, std::string& why) {
    if (std::stol(step.Arg(0).text) > 60000) {
        why = "pump at most 60000 ms";
        return false;
    }
    return true;
}

// clang-format off
const std::vector<StepEntry> kSteps = {
    {nullptr, "Before the call: the test runner sets up the world, the host the records", nullptr, nullptr, nullptr, nullptr},
    {"given plugins <plugin> ...", "load these plug-ins, in this order (default: the folder's)",
     nullptr, GivenPlugins, WorldPlugins, nullptr},
    {"given lang en|zh", "the UI language the runner starts the host in",
     nullptr, GivenLang, WorldLang, nullptr},
    {"given servers \"<file>\"", "simulated OPC servers (platform/opcsim/README.md)",
     nullptr, nullptr, WorldFile, nullptr},
    {"given network \"<file>\"", "the network tree the network provider serves",
     nullptr, nullptr, WorldFile, nullptr},
    {"given browser on|off", "the OPC server browser registered or not (default on)",
     nullptr, nullptr, WorldBrowser, nullptr},
    {"given alias-file \"<file>\"|none", "AliasFile.txt beside pelorin.dll (default: an empty one)",
     nullptr, GivenAliasFile, WorldAliasFile, nullptr},
    {"given field <name> <value>", "set a record field before the plug-in is called",
     nullptr, GivenField, nullptr, nullptr},
    {"given tag \"<name>\" [hidden] [pv \"<item>\"] [desc \"<item>\"]", "a tag the device has before the call",
     nullptr, GivenTagStep, nullptr, NonEmptyText},
    {"given tags <count> \"<name>\"", "that many tags without links; {n} in the name counts up",
     nullptr, GivenTagsStep, nullptr, TagsBound},
    {"given database \"<file>\" [seed \"<sql>\"] [readonly]", "where the point tables go (see below)",
     nullptr, GivenDatabase, WorldDatabase, NonEmptyText},

    {nullptr, "Calls (without call steps the host calls its one plug-in once)", nullptr, nullptr, nullptr, nullptr},
    {"call <plugin>", "once the previous call returned, call this plug-in",
     &Robot::Call, nullptr, nullptr, nullptr},
    {"unload", "once the last call returned: free every plug-in",
     &Robot::Unload, nullptr, nullptr, nullptr},
    {"pump <ms>", "the UI thread pumps messages that long (late COM calls)",
     &Robot::Pump, nullptr, nullptr, PumpBound},

    {nullptr, "Dialogs and controls", nullptr, nullptr, nullptr, nullptr},
    {"window \"<caption>\"", "wait (≤10 s) until a dialog with that caption is active",
     &Robot::Window, nullptr, nullptr, nullptr},
    {"expect caption \"<text>\"", "the active dialog's caption",
     &Robot::ExpectCaption, nullptr, nullptr, nullptr},
    {"type <id> \"<text>\"", "replace the text of an edit or editable combo (notified)",
     &Robot::Type, nullptr, nullptr, nullptr},
    {"keys <id> \"<text>\"", "type as a person: focus, then WM_CHAR per UTF-16 unit",
     &Robot::Keys, nullptr, nullptr, NonEmptyText},
    {"select <id> \"<text>\"", "pick that item of a combo or list box (notification raised)",
     &Robot::Select, nullptr, nullptr, nullptr},
    {"click <id> [\"<entry>\"] [ctrl] [shift]", "click a button, radio button or check box, or that list box entry with the mouse, keys held",
     &Robot::Click, nullptr, nullptr, KeysWithAnEntry},
    {"command <id>", "BN_CLICKED of a button, hidden or disabled ones too",
     &Robot::Command, nullptr, nullptr, nullptr},
    {"key <id> <key>", "press a key there (posted: the dialog's loop sees it)",
     &Robot::Key, nullptr, nullptr, nullptr},
    {"close", "the close box of the active dialog",
     &Robot::Close, nullptr, nullptr, nullptr},
    {"expect text <id> \"<text>\"|database", "the control's text",
     &Robot::ExpectText, nullptr, nullptr, nullptr},
    {"expect visible <id> yes|no", "the control is visible",
     &Robot::ExpectState, nullptr, nullptr, nullptr},
    {"expect enabled <id> yes|no", "the control is enabled",
     &Robot::ExpectState, nullptr, nullptr, nullptr},
    {"expect checked <id> yes|no", "the button is checked",
     &Robot::ExpectState, nullptr, nullptr, nullptr},
    {"expect focus <id>", "the control, or a child of it, has the keyboard focus",
     &Robot::ExpectFocus, nullptr, nullptr, nullptr},
    {"expect glyphs <id>", "the control's font has glyphs for all of its text",
     &Robot::ExpectGlyphs, nullptr, nullptr, nullptr},
    {"expect message \"<text>\"|alias-path|* answer OK|YES|NO|CANCEL", "wait ≤10 s for a message box, match its whole text, answer",
     &Robot::ExpectMessage, nullptr, nullptr, nullptr},
    {"expect closed", "the dialog of the last step has ended",
     &Robot::ExpectClosed, nullptr, nullptr, nullptr},
    {"shot <name>", "screenshot of the active dialog into the output folder",
     &Robot::Shot, nullptr, nullptr, nullptr},

    {nullptr, "Combo and list boxes", nullptr, nullptr, nullptr, nullptr},
    {"dropdown <id>", "open (and close) the drop-down list of a combo box",
     &Robot::Dropdown, nullptr, nullptr, nullptr},
    {"dblclick <id> \"<entry>\"", "double-click that list box entry with the mouse",
     &Robot::DoubleClick, nullptr, nullptr, nullptr},
    {"expect items <id> [\"<text>\" ...]", "the items of a combo or list box, in order",
     &Robot::ExpectList, nullptr, nullptr, nullptr},
    {"expect count <id> <count>", "how many items it holds",
     &Robot::ExpectList, nullptr, nullptr, nullptr},
    {"expect selection <id> \"<text>\"|none", "its selected item",
     &Robot::ExpectList, nullptr, nullptr, nullptr},

    {nullptr, "Tree views: an item by the texts of its path from the top", nullptr, nullptr, nullptr, nullptr},
    {"tree-select <id> \"<text>\" ...", "click the item; collapsed parents are expanded first",
     &Robot::TreeSelect, nullptr, nullptr, nullptr},
    {"tree-expand <id> \"<text>\" ...", "click the collapsed item's button (notifies every time)",
     &Robot::TreeExpand, nullptr, nullptr, nullptr},
    {"tree-collapse <id> \"<text>\" ...", "click the expanded item's button",
     &Robot::TreeCollapse, nullptr, nullptr, nullptr},
    {"expect tree <id> [\"<text>\" ...] children none|\"<text>\" ...", "the item's children, in order (no path: the top level)",
     &Robot::ExpectTree, nullptr, nullptr, ChildrenNoneAlone},

    {nullptr, "Grid cells (platform/host/README.md)", nullptr, nullptr, nullptr, nullptr},
    {"cell-click <id> <col> <row>", "click a cell of the grid control <id> (scrolled into view)",
     &Robot::CellClick, nullptr, nullptr, nullptr},
    {"cell-type <id> <col> <row> \"<text>\"", "click the cell, type the text into it, leave it",
     &Robot::CellType, nullptr, nullptr, NonEmptyText},
    {"cell-key <id> <col> <row> <key>", "click the cell and press the key",
     &Robot::CellKey, nullptr, nullptr, nullptr},
    {"expect cell <id> <col> <row> \"<text>\"", "the cell's text",
     &Robot::ExpectCell, nullptr, nullptr, nullptr},
    {"expect rows <id> <count>", "the grid's row count, title row included",
     &Robot::ExpectCell, nullptr, nullptr, nullptr},

    {nullptr, "Point tables: the scenario's database (given database)", nullptr, nullptr, nullptr, nullptr},
    {"choose-database", "data-source dialog: the database's kind, its source, OK",
     &Robot::ChooseDatabase, nullptr, nullptr, nullptr},
    {"expect tables none|\"<name>\" ...", "the database holds exactly these tables",
     &Robot::ExpectTables, nullptr, nullptr, nullptr},
    {"expect table \"<name>\" columns \"<column:TYPE>\" ... rows <count>", "its columns in order with their types, and its row count",
     &Robot::ExpectTable, nullptr, nullptr, nullptr},
    {"expect row \"<table>\" <row> \"<column>\" <value> ...", "row <row> (from 1) holds: \"<column>\" \"<text>\"|NULL ...",
     &Robot::ExpectRow, nullptr, nullptr, ColumnValuePairs},

    {nullptr, "Results of the current call", nullptr, nullptr, nullptr, nullptr},
    {"expect result <n>", "OnCfgIoDev returned n",
     &Robot::ExpectResult, nullptr, nullptr, nullptr},
    {"expect field <name> <value>", "a record field after the call",
     &Robot::ExpectField, nullptr, nullptr, nullptr},
    {"expect bytes-unchanged", "every byte the plug-in must not touch is as before the call",
     &Robot::ExpectBytesUnchanged, nullptr, nullptr, nullptr},
    {"expect tag \"<name>\" pv \"<item>\"|none desc \"<item>\"|none", "a committed tag and its links",
     &Robot::ExpectTags, nullptr, nullptr, nullptr},
    {"expect tags <count>", "the number of committed tags",
     &Robot::ExpectTags, nullptr, nullptr, nullptr},
    {"expect calls \"<ProgID>\" \"<Interface::Method>\" <count>", "calls counted in the server's reports (see below)",
     &Robot::ExpectCalls, nullptr, nullptr, nullptr},
};
// clang-format on

std::string Pad(std::string text, size_t width) {
    // Columns count characters; the usage lines are ASCII.
    while (text.size() < width)
        text += ' ';
    return text;
}

} // namespace

std::string StepEntry::Name() const {
    const std::string text = usage;
    size_t end = text.find(' ');
    if (end != std::string::npos &&
        (text.compare(0, end, "expect") == 0 || text.compare(0, end, "given") == 0))
        end = text.find(' ', end + 1);
    return text.substr(0, end);
}

std::string StepEntry::Arguments() const {
    const std::string name = Name();
    return std::string(usage).size() > name.size() ? std::string(usage).substr(name.size() + 1)
                                                   : std::string();
}

const std::vector<StepEntry>& StepTable() {
    return kSteps;
}

const StepEntry* FindStep(const std::string& name) {
    for (const StepEntry& entry : kSteps)
        if (entry.usage && entry.Name() == name)
            return &entry;
    return nullptr;
}

std::string StepList() {
    // Descriptions start in column 41 and wrap at 100 columns; a long usage gets a line of its
    // own.
    constexpr size_t kColumn = 41, kWidth = 100;
    std::string out;
    for (const StepEntry& entry : kSteps) {
        if (!entry.usage) {
            out += (out.empty() ? "# " : "\n# ") + std::string(entry.help) + "\n";
            continue;
        }
        std::string line = entry.usage;
        if (line.size() + 2 > kColumn) {
            out += line + "\n";
            line.clear();
        }
        std::string help = entry.help;
        while (!help.empty()) {
            size_t take = help.size();
            // Count characters, not bytes, for "≤".
            size_t chars = 0;
            for (size_t i = 0; i < help.size(); ++i)
                chars += (static_cast<unsigned char>(help[i]) & 0xC0) != 0x80;
            if (kColumn + chars > kWidth) {
                take = help.rfind(' ', kWidth - kColumn);
                if (take == std::string::npos || take == 0)
                    take = help.size();
            }
            out += Pad(line, kColumn) + help.substr(0, take) + "\n";
            line.clear();
            help = take < help.size() ? help.substr(take + 1) : std::string();
        }
    }
    return out;
}

} // namespace host
