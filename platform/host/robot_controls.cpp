// The robot's steps on dialogs and their controls: waiting for a dialog, typing, clicking,
// pressing keys, and reading what the controls show.
#include <cstdio>

#include "robot.h"
#include "robot_util.h"
#include "session.h"
#include "step_syntax.h"
#include "world.h"

namespace host {
namespace {

int AnswerId(const std::string& name) {
    if (name == "YES")
        return IDYES;
    if (name == "NO")
        return IDNO;
    if (name == "CANCEL")
        return IDCANCEL;
    return IDOK;
}

} // namespace

bool Robot::Window(const Step& step, std::string& why) {
    const std::wstring caption = Wide(step.Arg(0).text);
    HWND found = nullptr;
    const bool ok = WaitUntil([&] {
        HWND top = TopDialog();
        if (IsMessageBox(top))
            return true;
        if (top && TextOf(top) == caption)
            found = top;
        return found != nullptr;
    });
    if (UnexpectedMessageBox(why))
        return false;
    if (!ok || !found) {
        HWND top = TopDialog();
        why = "no dialog " + Quoted(caption) + " became active" +
              (top ? " (the active dialog is " + Quoted(TextOf(top)) + ")" : "");
        return false;
    }
    current_ = found;
    return true;
}

bool Robot::ExpectCaption(const Step& step, std::string& why) {
    HWND dialog = nullptr;
    if (!WaitForDialog(dialog, why))
        return false;
    const std::wstring actual = TextOf(dialog);
    if (actual != Wide(step.Arg(0).text)) {
        why = "the active dialog's caption is " + Quoted(actual) + ", expected " +
              Quoted(step.Arg(0).text);
        return false;
    }
    return true;
}

bool Robot::Type(const Step& step, std::string& why) {
    HWND control = nullptr;
    if (!UsableControl(step.Arg(0).text, control, why))
        return false;
    const std::wstring text = Wide(step.Arg(1).text);
    const bool combo = ClassOf(control) == L"ComboBox";
    if (combo && (GetWindowLongW(control, GWL_STYLE) & 3) == CBS_DROPDOWNLIST) {
        why = "combo box " + step.Arg(0).text + " is not editable";
        return false;
    }
    OnUi([&] {
        SetFocus(control);
        SetWindowTextW(control, text.c_str()); // an edit raises EN_UPDATE/EN_CHANGE itself
        if (combo) {
            HWND parent = GetParent(control);
            const WPARAM id = static_cast<WPARAM>(GetDlgCtrlID(control));
            SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, CBN_EDITUPDATE),
                         reinterpret_cast<LPARAM>(control));
            SendMessageW(parent, WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE),
                         reinterpret_cast<LPARAM>(control));
        }
    });
    return Sync();
}

bool Robot::Keys(const Step& step, std::string& why) {
    HWND control = nullptr;
    if (!UsableControl(step.Arg(0).text, control, why))
        return false;
    HWND focus = nullptr;
    OnUi([&] {
        SetFocus(control);
        focus = GetFocus();
    });
    if (focus != control && !IsChild(control, focus)) {
        why = "control " + step.Arg(0).text + " does not take the focus";
        return false;
    }
    // One character message per UTF-16 unit, as the keyboard (or an input method) sends them;
    // posted, so that the dialog's message loop sees each one.
    for (wchar_t unit : Wide(step.Arg(1).text))
        PostMessageW(focus, WM_CHAR, unit, 1);
    return Sync();
}

bool Robot::Select(const Step& step, std::string& why) {
    HWND control = nullptr;
    if (!Control(step.Arg(0).text, control, why))
        return false;
    const std::wstring wanted = Wide(step.Arg(1).text);
    const bool combo = ClassOf(control) == L"ComboBox";
    if (!combo && ClassOf(control) != L"ListBox") {
        why = "control " + step.Arg(0).text + " is not a combo or list box";
        return false;
    }
    int index = -1;
    std::string items;
    OnUi([&] {
        const int count =
            static_cast<int>(SendMessageW(control, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0));
        for (int i = 0; i < count && index < 0; ++i) {
            const int length = static_cast<int>(
                SendMessageW(control, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, i, 0));
            std::wstring item(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
            SendMessageW(control, combo ? CB_GETLBTEXT : LB_GETTEXT, i,
                         reinterpret_cast<LPARAM>(&item[0]));
            item.resize(wcslen(item.c_str()));
            if (item == wanted)
                index = i;
            items += (items.empty() ? "" : ", ") + Quoted(item);
        }
        if (index >= 0) {
            SetFocus(control);
            SendMessageW(control, combo ? CB_SETCURSEL : LB_SETCURSEL, index, 0);
        }
    });
    if (index < 0) {
        why = "no item " + Quoted(wanted) + " in control " + step.Arg(0).text +
              " (items: " + (items.empty() ? "none" : items) + ")";
        return false;
    }
    // Setting the selection raises no notification; the engineer's pick would.
    PostMessageW(GetParent(control), WM_COMMAND,
                 MAKEWPARAM(GetDlgCtrlID(control), combo ? CBN_SELCHANGE : LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(control));
    return Sync();
}

bool Robot::Click(const Step& step, std::string& why) {
    if (step.ArgCount() > 1)
        return ClickListEntry(step, why);
    HWND control = nullptr;
    if (!UsableControl(step.Arg(0).text, control, why))
        return false;
    PostMessageW(control, BM_CLICK, 0, 0);
    return Sync();
}

bool Robot::Command(const Step& step, std::string& why) {
    HWND control = nullptr;
    if (!Control(step.Arg(0).text, control, why))
        return false;
    // What the button would send when clicked, whether or not it can be clicked.
    PostMessageW(GetParent(control), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
    return Sync();
}

bool Robot::PressKey(HWND control, UINT key) {
    HWND focus = nullptr;
    OnUi([&] {
        SetFocus(control);
        focus = GetFocus();
    });
    // The key goes where the keyboard sends it: the focused window, the control or a child of
    // it (a grid's cell editor). Posted, so that the dialog's loop and its filters see it.
    HWND target = focus && (focus == control || IsChild(control, focus)) ? focus : control;
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(target, WM_KEYDOWN, key, scan | 1);
    PostMessageW(target, WM_KEYUP, key, scan | 1 | (1u << 30) | (1u << 31));
    return Sync();
}

bool Robot::Key(const Step& step, std::string& why) {
    HWND control = nullptr;
    if (!UsableControl(step.Arg(0).text, control, why))
        return false;
    return PressKey(control, KeyCode(step.Arg(1).text));
}

bool Robot::Close(const Step&, std::string& why) {
    HWND dialog = nullptr;
    if (!WaitForDialog(dialog, why))
        return false;
    if (!(GetWindowLongW(dialog, GWL_STYLE) & WS_SYSMENU)) {
        why = "the dialog " + Quoted(TextOf(dialog)) + " has no close box";
        return false;
    }
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    return Sync();
}

bool Robot::ExpectText(const Step& step, std::string& why) {
    HWND control = nullptr;
    if (!Control(step.Arg(0).text, control, why))
        return false;
    std::wstring actual;
    OnUi([&] { actual = TextOf(control); });
    std::string expected = step.Arg(1).text;
    if (!step.Arg(1).quoted) { // database: the source of the scenario's database
        if (!session_.Database().Ready()) {
            why = "the scenario has no database (given database)";
            return false;
        }
        expected = session_.Database().Source();
    }
    if (actual != Wide(expected)) {
        why = "text of " + step.Arg(0).text + " is " + Quoted(actual) + ", expected " +
              Quoted(expected);
        return false;
    }
    return true;
}

bool Robot::ExpectState(const Step& step, std::string& why) {
    HWND control = nullptr;
    if (!Control(step.Arg(0).text, control, why))
        return false;
    const std::string state = step.words[1].text; // visible, enabled, checked
    bool actual = false;
    OnUi([&] {
        if (state == "visible")
            actual = IsWindowVisible(control) != FALSE;
        else if (state == "enabled")
            actual = IsWindowEnabled(control) != FALSE;
        else
            actual = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    });
    if (actual != (step.Arg(1).text == "yes")) {
        why = "control " + step.Arg(0).text + " is " + (actual ? "" : "not ") + state;
        return false;
    }
    return true;
}

bool Robot::ExpectFocus(const Step& step, std::string& why) {
    HWND control = nullptr;
    if (!Control(step.Arg(0).text, control, why))
        return false;
    HWND focus = nullptr;
    OnUi([&] { focus = GetFocus(); });
    if (focus != control && !IsChild(control, focus)) {
        why = "the focus is on " +
              (focus ? "control " + std::to_string(GetDlgCtrlID(focus)) + " (" +
                           fw::WideToUtf8(ClassOf(focus)) + ")"
                     : std::string("no window")) +
              ", not on " + step.Arg(0).text;
        return false;
    }
    return true;
}

bool Robot::ExpectGlyphs(const Step& step, std::string& why) {
    HWND control = nullptr;
    return Control(step.Arg(0).text, control, why) && CheckGlyphs(control, why);
}

bool Robot::ExpectMessage(const Step& step, std::string& why) {
    HWND box = nullptr;
    if (!WaitUntil([&] { return IsMessageBox(box = TopDialog()); })) {
        why = "no message box appeared";
        return false;
    }
    const std::wstring text = MessageBoxText(box);
    const bool any = !step.Arg(0).quoted && step.Arg(0).text == "*";
    std::wstring expected = Wide(step.Arg(0).text);
    if (!step.Arg(0).quoted && step.Arg(0).text == "alias-path") {
        // The full path of AliasFile.txt beside the plug-in that reads it.
        expected.clear();
        for (auto& plugin : session_.Plugins())
            if (expected.empty() && plugin->HasTags())
                expected = AliasFileBeside(plugin->path);
    }
    const int answer = AnswerId(step.Arg(2).text);
    HWND button = GetDlgItem(box, answer);
    if (!any && text != expected) {
        why = "the message is " + Quoted(text) + ", expected " + Quoted(expected);
        return false;
    }
    if (!button || !IsWindowVisible(button)) {
        why = "the message box " + Quoted(text) + " has no " + step.Arg(2).text + " button";
        return false;
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    if (!WaitUntil([&] { return !IsWindow(box); })) {
        why = "the message box did not close";
        return false;
    }
    return Sync();
}

bool Robot::ExpectClosed(const Step&, std::string& why) {
    if (!current_) {
        why = "no dialog was used before";
        return false;
    }
    HWND dialog = current_;
    bool boxed = false;
    const bool ok = WaitUntil([&] {
        boxed = IsMessageBox(TopDialog());
        return boxed || !IsWindow(dialog) || !IsWindowVisible(dialog);
    });
    if (boxed)
        return !UnexpectedMessageBox(why);
    if (!ok) {
        why = "the dialog " + Quoted(TextOf(dialog)) + " is still open";
        return false;
    }
    return true;
}

} // namespace host
