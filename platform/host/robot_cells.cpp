// The robot's steps on grid cells and on the tag database. Cells are clicked and typed into with
// the messages an engineer's mouse and keyboard make; the grid tells where a cell lies, and its
// methods (through the framework's control hosting) tell what a cell holds.
#include <cstdio>

#include "fw/control_host.h"
#include "fw/string.h"
#include "grid_api.h"
#include "robot.h"
#include "robot_util.h"
#include "session.h"
#include "step_syntax.h"
#include "tag_file.h"

namespace host {
namespace {

// A method of the hosted control by dispatch id, arguments in call order. Runs on the UI thread.
HRESULT CallGrid(HWND control, DISPID id, std::initializer_list<long> numbers, VARIANT& result) {
    VARIANT args[4];
    UINT count = 0;
    for (long number : numbers) {
        VariantInit(&args[count]);
        V_VT(&args[count]) = VT_I4;
        V_I4(&args[count]) = number;
        ++count;
    }
    VariantInit(&result);
    fw::HostedControl* hosted = fw::FindHostedControl(control);
    return hosted ? fw::InvokeHostedControl(hosted, id, DISPATCH_METHOD, args, count, &result)
                  : E_HANDLE;
}

std::string Describe(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

} // namespace

bool Robot::ClickCell(const Step& step, HWND& control, std::string& why) {
    if (!UsableControl(step.Arg(0).text, control, why))
        return false;
    grid::CellRect cell = {std::stol(step.Arg(1).text), std::stol(step.Arg(2).text), {}};
    LRESULT found = 0;
    RECT client = {};
    OnUi([&] {
        found = SendMessageW(control, RegisterWindowMessageW(grid::kCellRectMessage), 0,
                             reinterpret_cast<LPARAM>(&cell));
        GetClientRect(control, &client);
    });
    const POINT center = {(cell.rect.left + cell.rect.right) / 2,
                          (cell.rect.top + cell.rect.bottom) / 2};
    if (!found || !PtInRect(&client, center)) {
        why = "the grid " + step.Arg(0).text + " shows no cell (" + step.Arg(1).text + ", " +
              step.Arg(2).text + ")";
        return false;
    }
    return ClickAt(control, center);
}

bool Robot::CellClick(const Step& step, std::string& why) {
    HWND control = nullptr;
    return ClickCell(step, control, why);
}

bool Robot::CellType(const Step& step, std::string& why) {
    HWND control = nullptr;
    if (!ClickCell(step, control, why))
        return false;
    // The first character opens the cell's edit box; the grid passes the rest on to it.
    for (wchar_t c : Wide(step.Arg(3).text))
        PostMessageW(control, WM_CHAR, c, 1);
    if (!Sync())
        return false;
    // Leaving the cell (the focus back on the grid) ends the typing.
    OnUi([&] { SetFocus(control); });
    return Sync();
}

bool Robot::CellKey(const Step& step, std::string& why) {
    HWND control = nullptr;
    if (!ClickCell(step, control, why))
        return false;
    const UINT key = KeyCode(step.Arg(3).text);
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(control, WM_KEYDOWN, key, scan | 1);
    PostMessageW(control, WM_KEYUP, key, scan | 1 | (1u << 30) | (1u << 31));
    return Sync();
}

bool Robot::ExpectCell(const Step& step, std::string& why) {
    const std::string kind = step.Kind();
    HWND control = nullptr;
    if (!Control(step.Arg(0).text, control, why))
        return false;
    const bool cell = kind == "expect cell";
    HRESULT hr = E_FAIL;
    std::wstring text;
    long rows = 0;
    const bool answered = OnUi([&] {
        VARIANT result;
        if (cell)
            hr = CallGrid(control, grid::kGetCellText,
                          {std::stol(step.Arg(1).text), std::stol(step.Arg(2).text), 0}, result);
        else
            hr = CallGrid(control, grid::kGetRowCount, {0}, result);
        if (SUCCEEDED(hr) && cell && V_VT(&result) == VT_BSTR && V_BSTR(&result))
            text.assign(V_BSTR(&result), SysStringLen(V_BSTR(&result)));
        else if (SUCCEEDED(hr) && !cell && V_VT(&result) == VT_I4)
            rows = V_I4(&result);
        else if (SUCCEEDED(hr))
            hr = DISP_E_TYPEMISMATCH;
        VariantClear(&result);
    });
    if (!answered) {
        why = "the user-interface thread does not answer";
        return false;
    }
    if (FAILED(hr)) {
        why = "the grid " + step.Arg(0).text + " answered " + Describe(hr);
        return false;
    }
    if (cell && text != Wide(step.Arg(3).text)) {
        why = "cell (" + step.Arg(1).text + ", " + step.Arg(2).text + ") holds " + Quoted(text) +
              ", expected " + Quoted(step.Arg(3).text);
        return false;
    }
    if (!cell && std::to_string(rows) != step.Arg(1).text) {
        why = "the grid has " + std::to_string(rows) + " rows, expected " + step.Arg(1).text;
        return false;
    }
    return true;
}

bool Robot::ExpectTags(const Step& step, std::string& why) {
    const std::string kind = step.Kind();
    Plugin* plugin = session_.Current();
    if (!plugin || !plugin->HasTags()) {
        why = "the host has no tag database for this plug-in";
        return false;
    }
    const TagDatabase* tags = &plugin->tags;
    // The committed tags are what the device file gets; read them where they change.
    std::vector<TagData> committed;
    if (!OnUi([&] { committed = tags->Committed(); })) {
        why = "the user-interface thread does not answer";
        return false;
    }
    if (kind == "expect tags") {
        if (std::to_string(committed.size()) != step.Arg(0).text) {
            why = std::to_string(committed.size()) + " tag(s) committed, expected " +
                  step.Arg(0).text;
            return false;
        }
        return true;
    }
    const std::string name = AnsiFromUtf8(step.Arg(0).text);
    const TagData* tag = nullptr;
    for (const TagData& candidate : committed)
        if (SameName(candidate.name, name))
            tag = &candidate;
    if (!tag) {
        why = "no committed tag " + Quoted(step.Arg(0).text);
        return false;
    }
    for (size_t i = 1; i < 5; i += 2) {
        const char* parameter = i == 1 ? "PV" : "DESC";
        const LinkData* link = tag->Link(parameter);
        const std::string actual = link ? Quoted(Utf8FromAnsi(link->item)) : "none";
        const FieldValue& wanted = step.Arg(i + 1);
        const std::string expected = wanted.quoted ? Quoted(wanted.text) : "none";
        if (actual != expected) {
            why = "tag " + Quoted(step.Arg(0).text) + " has " + parameter + " " + actual +
                  ", expected " + expected;
            return false;
        }
    }
    return true;
}

} // namespace host
