// Robot steps on combo and list boxes: their items, count and selection, the drop-down of a
// combo box, and a click or a double-click on a list box entry.
#include <vector>

#include "control_driver.h"
#include "fw/string.h"
#include "robot.h"
#include "robot_util.h"

namespace host {
namespace {

struct ListMessages {
    UINT count, textLength, text, selection;
};

bool ListKind(HWND control, ListMessages& messages) {
    wchar_t name[32] = {};
    GetClassNameW(control, name, 32);
    if (_wcsicmp(name, L"ComboBox") == 0) {
        messages = {CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT, CB_GETCURSEL};
        return true;
    }
    if (_wcsicmp(name, L"ListBox") == 0) {
        messages = {LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT, LB_GETCURSEL};
        return true;
    }
    return false;
}

std::vector<std::wstring> Items(HWND control, const ListMessages& m) {
    std::vector<std::wstring> items;
    const int count = static_cast<int>(SendMessageW(control, m.count, 0, 0));
    for (int i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(control, m.textLength, i, 0);
        std::wstring item(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
        SendMessageW(control, m.text, i, reinterpret_cast<LPARAM>(&item[0]));
        item.resize(wcslen(item.c_str()));
        items.push_back(item);
    }
    return items;
}

std::string Describe(const std::vector<std::wstring>& items) {
    std::string text;
    for (const std::wstring& item : items)
        text += (text.empty() ? "\"" : ", \"") + fw::WideToUtf8(item) + "\"";
    return text.empty() ? "no items" : text;
}

} // namespace

bool Robot::Dropdown(const Step& step, std::string& why) {
    const std::string& id = step.Arg(0).text;
    HWND control = nullptr;
    if (!Control(id, control, why))
        return false;
    if (ClassOf(control) != L"ComboBox") {
        why = "control " + id + " has no drop-down";
        return false;
    }
    // Opening the list raises CBN_DROPDOWN, whose handler may block (a network walk):
    // post it, then close the list again once that has run.
    PostMessageW(control, CB_SHOWDROPDOWN, TRUE, 0);
    if (!Sync())
        return false;
    PostMessageW(control, CB_SHOWDROPDOWN, FALSE, 0);
    return Sync();
}

bool Robot::ListEntry(const std::string& id, const std::string& entry, HWND& list, POINT& at,
                      std::string& why) {
    if (!UsableControl(id, list, why))
        return false;
    if (ClassOf(list) != L"ListBox") {
        why = "control " + id + " is not a list box";
        return false;
    }
    int index = -1;
    bool found = false;
    OnUi([&] { found = ListEntryPoint(list, Wide(entry), index, at, why); });
    if (!found)
        why = "list box " + id + ": " + why;
    return found;
}

bool Robot::ClickListEntry(const Step& step, std::string& why) {
    std::string entry;
    WPARAM keys = 0;
    for (size_t i = 1; i < step.ArgCount(); ++i) {
        if (step.Arg(i).quoted)
            entry = step.Arg(i).text;
        else
            keys |= step.Arg(i).text == "ctrl" ? MK_CONTROL : MK_SHIFT;
    }
    HWND list = nullptr;
    POINT at = {};
    if (!ListEntry(step.Arg(0).text, entry, list, at, why))
        return false;
    // The press selects the entry, the release ends the click: the list box notifies the
    // change as it does for a person.
    PostClick(list, at, keys);
    return Sync();
}

bool Robot::DoubleClick(const Step& step, std::string& why) {
    HWND list = nullptr;
    POINT at = {};
    if (!ListEntry(step.Arg(0).text, step.Arg(1).text, list, at, why))
        return false;
    // The first press selects the entry (the list box notifies the change), the second is the
    // double-click.
    PostDoubleClick(list, at);
    return Sync();
}

bool Robot::ExpectList(const Step& step, std::string& why) {
    const std::string kind = step.Kind();
    const std::string& id = step.Arg(0).text;
    HWND control = nullptr;
    if (!Control(id, control, why))
        return false;
    ListMessages messages;
    if (!ListKind(control, messages)) {
        why = "control " + id + " is not a combo or list box";
        return false;
    }
    std::vector<std::wstring> items;
    LRESULT selected = -1;
    std::wstring selectedText;
    OnUi([&] {
        items = Items(control, messages);
        selected = SendMessageW(control, messages.selection, 0, 0);
    });
    if (selected >= 0 && static_cast<size_t>(selected) < items.size())
        selectedText = items[static_cast<size_t>(selected)];

    if (kind == "expect items") {
        std::vector<std::wstring> wanted;
        for (size_t i = 1; i < step.ArgCount(); ++i)
            wanted.push_back(Wide(step.Arg(i).text));
        if (items != wanted) {
            why = "control " + id + " holds " + Describe(items) + ", expected " + Describe(wanted);
            return false;
        }
        return true;
    }
    if (kind == "expect count") {
        if (std::to_string(items.size()) != step.Arg(1).text) {
            why = "control " + id + " holds " + std::to_string(items.size()) + " item(s) (" +
                  Describe(items) + "), expected " + step.Arg(1).text;
            return false;
        }
        return true;
    }
    // expect selection
    const bool wantNone = !step.Arg(1).quoted;
    if (wantNone ? selected >= 0 : selectedText != Wide(step.Arg(1).text) || selected < 0) {
        why = "control " + id + " has " +
              (selected < 0 ? std::string("no selection")
                            : "\"" + fw::WideToUtf8(selectedText) + "\" selected") +
              ", expected " + (wantNone ? "none" : "\"" + step.Arg(1).text + "\"");
        return false;
    }
    return true;
}

} // namespace host
