// The robot's steps on grid cells and on the tag database. Cells are clicked and typed into with
// the messages an engineer's mouse and keyboard make; the grid tells where a cell lies, and its
// methods (through the framework's control hosting) tell what a cell holds.
#include <cstdio>

#include "fw/control_host.h"
#include "fw/string.h"
#include "grid_api.h"
#include "robot.h"
#include "scenario_cells.h"
#include "tag_file.h"

namespace host {
namespace {

std::string Quoted(const std::string& utf8) {
    return "\"" + utf8 + "\"";
}

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

bool Robot::ClickCell(const Step& step, size_t first, HWND& control, std::string& why) {
    if (!Control(step.words[first].text, control, why))
        return false;
    if (!IsWindowEnabled(control) || !IsWindowVisible(control)) {
        why = "control " + step.words[first].text + " is disabled or hidden";
        return false;
    }
    grid::CellRect cell = {
        std::stol(step.words[first + 1].text), std::stol(step.words[first + 2].text), {}};
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
        why = "the grid " + step.words[first].text + " shows no cell (" +
              step.words[first + 1].text + ", " + step.words[first + 2].text + ")";
        return false;
    }
    const LPARAM at = MAKELPARAM(center.x, center.y);
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(control, WM_LBUTTONUP, 0, at);
    return Sync();
}

bool Robot::RunCellStep(const Step& step, std::string& why, bool& handled) {
    const std::string kind = step.Kind();
    handled = true;
    HWND control = nullptr;

    if (kind == "cell-click")
        return ClickCell(step, 1, control, why);

    if (kind == "cell-type") {
        if (!ClickCell(step, 1, control, why))
            return false;
        // The first character opens the cell's edit box; the grid passes the rest on to it.
        for (wchar_t c : fw::Utf8ToWide(step.words[4].text))
            PostMessageW(control, WM_CHAR, c, 1);
        if (!Sync())
            return false;
        // Leaving the cell (the focus back on the grid) ends the typing.
        OnUi([&] { SetFocus(control); });
        return Sync();
    }

    if (kind == "cell-key") {
        if (!ClickCell(step, 1, control, why))
            return false;
        const UINT key = CellKeyCode(step.words[4].text);
        const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
        PostMessageW(control, WM_KEYDOWN, key, scan | 1);
        PostMessageW(control, WM_KEYUP, key, scan | 1 | (1u << 30) | (1u << 31));
        return Sync();
    }

    if (kind == "expect cell" || kind == "expect rows") {
        if (!Control(step.words[2].text, control, why))
            return false;
        const bool cell = kind == "expect cell";
        HRESULT hr = E_FAIL;
        std::wstring text;
        long rows = 0;
        const bool answered = OnUi([&] {
            VARIANT result;
            if (cell)
                hr = CallGrid(control, grid::kGetCellText,
                              {std::stol(step.words[3].text), std::stol(step.words[4].text), 0},
                              result);
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
            why = "the grid " + step.words[2].text + " answered " + Describe(hr);
            return false;
        }
        if (cell && text != fw::Utf8ToWide(step.words[5].text)) {
            why = "cell (" + step.words[3].text + ", " + step.words[4].text + ") holds " +
                  Quoted(fw::WideToUtf8(text)) + ", expected " + Quoted(step.words[5].text);
            return false;
        }
        if (!cell && std::to_string(rows) != step.words[3].text) {
            why = "the grid has " + std::to_string(rows) + " rows, expected " + step.words[3].text;
            return false;
        }
        return true;
    }

    if (kind == "expect tags" || kind == "expect tag") {
        if (!tags_) {
            why = "the host has no tag database for this plug-in";
            return false;
        }
        // The committed tags are what the device file gets; read them where they change.
        std::vector<TagData> committed;
        if (!OnUi([&] { committed = tags_->Committed(); })) {
            why = "the user-interface thread does not answer";
            return false;
        }
        if (kind == "expect tags") {
            if (std::to_string(committed.size()) != step.words[2].text) {
                why = std::to_string(committed.size()) + " tag(s) committed, expected " +
                      step.words[2].text;
                return false;
            }
            return true;
        }
        const std::string name = AnsiFromUtf8(step.words[2].text);
        const TagData* tag = nullptr;
        for (const TagData& candidate : committed)
            if (SameName(candidate.name, name))
                tag = &candidate;
        if (!tag) {
            why = "no committed tag " + Quoted(step.words[2].text);
            return false;
        }
        for (size_t i = 3; i < 7; i += 2) {
            const char* parameter = i == 3 ? "PV" : "DESC";
            const LinkData* link = tag->Link(parameter);
            const std::string actual = link ? Quoted(Utf8FromAnsi(link->item)) : "none";
            const FieldValue& wanted = step.words[i + 1];
            const std::string expected = wanted.quoted ? Quoted(wanted.text) : "none";
            if (actual != expected) {
                why = "tag " + Quoted(step.words[2].text) + " has " + parameter + " " + actual +
                      ", expected " + expected;
                return false;
            }
        }
        return true;
    }

    handled = false;
    return false;
}

} // namespace host
