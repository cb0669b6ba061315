#include "robot.h"

#include <cstdio>
#include <vector>

#include "fw/dialog.h"
#include "fw/string.h"

namespace host {
namespace {

constexpr UINT kCallMessage = WM_APP + 1;
constexpr UINT kSyncMessage = WM_APP + 2;
constexpr DWORD kDeadline = 10000;
constexpr DWORD kPoll = 20;

std::wstring Wide(const std::string& utf8) {
    return fw::Utf8ToWide(utf8);
}
std::string Utf8(const std::wstring& wide) {
    return fw::WideToUtf8(wide);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(window, &text[0], length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::string Quoted(const std::wstring& text) {
    return "\"" + Utf8(text) + "\"";
}

// Waits for `condition` with a deadline, polling; false when the deadline passed.
template <class Condition> bool WaitUntil(Condition condition, DWORD timeout = kDeadline) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start > timeout)
            return false;
        Sleep(kPoll);
    }
}

struct TopSearch {
    DWORD thread;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<TopSearch*>(param);
    if (IsWindowVisible(window) && IsWindowEnabled(window) && ClassOf(window) == L"#32770")
        search->found.push_back(window);
    return TRUE;
}

UINT VirtualKey(const std::string& name) {
    if (name == "RETURN")
        return VK_RETURN;
    if (name == "ESCAPE")
        return VK_ESCAPE;
    if (name == "DELETE")
        return VK_DELETE;
    return VK_TAB;
}

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

Robot::Robot(DWORD uiThread, HWND sink, const Scenario& scenario, const Record& record,
             const Record& before, std::wstring outputDir, std::string scenarioName)
    : uiThread_(uiThread), sink_(sink), scenario_(scenario), record_(record), before_(before),
      outputDir_(std::move(outputDir)), scenarioName_(std::move(scenarioName)),
      callDone_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

bool Robot::Start() {
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
    return thread_ != nullptr;
}

void Robot::Finished(int result) {
    result_ = result;
    SetEvent(callDone_);
}

LRESULT CALLBACK Robot::SinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kCallMessage) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 1;
    }
    if (message == kSyncMessage) {
        SetEvent(reinterpret_cast<HANDLE>(lParam));
        return 1;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

DWORD WINAPI Robot::ThreadMain(LPVOID self) {
    static_cast<Robot*>(self)->Run();
    return 0;
}

bool Robot::OnUi(const std::function<void()>& call) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(sink_, kCallMessage, 0, reinterpret_cast<LPARAM>(&call), SMTO_NORMAL,
                               kDeadline, &answer) != 0;
}

// Posted behind whatever the robot posted before, so it is handled after those messages
// (or inside a modal loop one of them opened).
bool Robot::Sync() {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool ok = PostMessageW(sink_, kSyncMessage, 0, reinterpret_cast<LPARAM>(event)) &&
              WaitForSingleObject(event, kDeadline) == WAIT_OBJECT_0;
    CloseHandle(event);
    return ok;
}

HWND Robot::TopDialog() {
    TopSearch search{uiThread_, {}};
    EnumThreadWindows(uiThread_, CollectDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found.empty())
        return nullptr;
    if (search.found.size() == 1)
        return search.found[0];
    // Several enabled dialogs (modeless ones): prefer the active window.
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (GetGUIThreadInfo(uiThread_, &info))
        for (HWND window : search.found)
            if (window == info.hwndActive)
                return window;
    return search.found[0];
}

bool Robot::IsMessageBox(HWND window) {
    if (!window || ClassOf(window) != L"#32770" ||
        GetPropW(window, fw::Dialog::WindowPropertyName()))
        return false;
    HWND text = GetDlgItem(window, 0xFFFF);
    return text && ClassOf(text) == L"Static";
}

std::wstring Robot::MessageBoxText(HWND box) {
    HWND text = GetDlgItem(box, 0xFFFF);
    return text ? TextOf(text) : std::wstring();
}

bool Robot::UnexpectedMessageBox(std::string& why) {
    HWND top = TopDialog();
    if (IsMessageBox(top)) {
        why = "unexpected message box: " + Quoted(MessageBoxText(top));
        return true;
    }
    return false;
}

bool Robot::WaitForDialog(HWND& dialog, std::string& why) {
    dialog = nullptr;
    if (!WaitUntil([&] { return (dialog = TopDialog()) != nullptr; })) {
        why = "no dialog is open";
        return false;
    }
    if (IsMessageBox(dialog)) {
        why = "unexpected message box: " + Quoted(MessageBoxText(dialog));
        return false;
    }
    current_ = dialog;
    return true;
}

bool Robot::Control(const std::string& idText, HWND& control, std::string& why) {
    HWND dialog = nullptr;
    if (!WaitForDialog(dialog, why))
        return false;
    const int id = std::stoi(idText);
    control = GetDlgItem(dialog, id);
    if (!control) {
        why = "the dialog " + Quoted(TextOf(dialog)) + " has no control " + std::to_string(id);
        return false;
    }
    return true;
}

bool Robot::WaitForCall(std::string& why) {
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(callDone_, kPoll) != WAIT_OBJECT_0) {
        if (UnexpectedMessageBox(why))
            return false;
        if (GetTickCount() - start > kDeadline) {
            HWND top = TopDialog();
            why = "OnCfgIoDev has not returned; the dialog " + Quoted(top ? TextOf(top) : L"?") +
                  " is still open";
            return false;
        }
    }
    return true;
}

void Robot::Run() {
    std::string why;
    for (const Step& step : scenario_.steps) {
        std::printf("  > %s\n", step.source.c_str());
        std::fflush(stdout);
        if (!RunStep(step, why)) {
            std::printf("FAIL %s:%d: %s\n  %s\n", scenarioName_.c_str(), step.line,
                        step.source.c_str(), why.c_str());
            std::fflush(stdout);
            failed_ = true;
            TearDown();
            return;
        }
        ++stepsRun_;
    }
    // The scenario must leave the plug-in finished.
    if (!WaitForCall(why)) {
        std::printf("FAIL %s: at the end of the scenario: %s\n", scenarioName_.c_str(),
                    why.c_str());
        std::fflush(stdout);
        failed_ = true;
        TearDown();
    }
}

// After a failure: answer message boxes and cancel dialogs until the plug-in returns, so that
// the host can still report and exit.
void Robot::TearDown() {
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(callDone_, 100) != WAIT_OBJECT_0) {
        if (GetTickCount() - start > kDeadline) {
            std::printf("the plug-in did not end after the failure; stopping the host\n");
            std::fflush(stdout);
            ExitProcess(3);
        }
        if (HWND top = TopDialog())
            PostMessageW(top, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
}

bool Robot::RunStep(const Step& step, std::string& why) {
    const std::string kind = step.Kind();
    HWND control = nullptr;

    if (kind == "window") {
        const std::wstring caption = Wide(step.words[1].text);
        HWND found = nullptr;
        bool ok = WaitUntil([&] {
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

    if (kind == "type") {
        if (!Control(step.words[1].text, control, why))
            return false;
        if (!IsWindowEnabled(control) || !IsWindowVisible(control)) {
            why = "control " + step.words[1].text + " is disabled or hidden";
            return false;
        }
        const std::wstring text = Wide(step.words[2].text);
        const bool combo = ClassOf(control) == L"ComboBox";
        if (combo && (GetWindowLongW(control, GWL_STYLE) & 3) == CBS_DROPDOWNLIST) {
            why = "combo box " + step.words[1].text + " is not editable";
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

    if (kind == "select") {
        if (!Control(step.words[1].text, control, why))
            return false;
        const std::wstring wanted = Wide(step.words[2].text);
        const bool combo = ClassOf(control) == L"ComboBox";
        if (!combo && ClassOf(control) != L"ListBox") {
            why = "control " + step.words[1].text + " is not a combo or list box";
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
            why = "no item " + Quoted(wanted) + " in control " + step.words[1].text +
                  " (items: " + (items.empty() ? "none" : items) + ")";
            return false;
        }
        // Setting the selection raises no notification; the engineer's pick would.
        PostMessageW(GetParent(control), WM_COMMAND,
                     MAKEWPARAM(GetDlgCtrlID(control), combo ? CBN_SELCHANGE : LBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(control));
        return Sync();
    }

    if (kind == "click") {
        if (!Control(step.words[1].text, control, why))
            return false;
        if (!IsWindowEnabled(control) || !IsWindowVisible(control)) {
            why = "control " + step.words[1].text + " is disabled or hidden";
            return false;
        }
        PostMessageW(control, BM_CLICK, 0, 0);
        return Sync();
    }

    if (kind == "key") {
        if (!Control(step.words[1].text, control, why))
            return false;
        const UINT key = VirtualKey(step.words[2].text);
        OnUi([&] { SetFocus(control); });
        const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
        PostMessageW(control, WM_KEYDOWN, key, scan | 1);
        PostMessageW(control, WM_KEYUP, key, scan | 1 | (1u << 30) | (1u << 31));
        return Sync();
    }

    if (kind == "close") {
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

    if (kind == "expect text") {
        if (!Control(step.words[2].text, control, why))
            return false;
        std::wstring actual;
        OnUi([&] { actual = TextOf(control); });
        if (actual != Wide(step.words[3].text)) {
            why = "text of " + step.words[2].text + " is " + Quoted(actual) + ", expected " +
                  Quoted(Wide(step.words[3].text));
            return false;
        }
        return true;
    }

    if (kind == "expect visible" || kind == "expect enabled" || kind == "expect checked") {
        if (!Control(step.words[2].text, control, why))
            return false;
        bool actual = false;
        OnUi([&] {
            if (kind == "expect visible")
                actual = IsWindowVisible(control) != FALSE;
            else if (kind == "expect enabled")
                actual = IsWindowEnabled(control) != FALSE;
            else
                actual = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
        });
        if (actual != (step.words[3].text == "yes")) {
            why =
                "control " + step.words[2].text + " is " + (actual ? "" : "not ") + kind.substr(7);
            return false;
        }
        return true;
    }

    if (kind == "expect focus") {
        if (!Control(step.words[2].text, control, why))
            return false;
        HWND focus = nullptr;
        OnUi([&] { focus = GetFocus(); });
        if (focus != control && !IsChild(control, focus)) {
            why = "the focus is on " +
                  (focus ? "control " + std::to_string(GetDlgCtrlID(focus)) + " (" +
                               Utf8(ClassOf(focus)) + ")"
                         : std::string("no window")) +
                  ", not on " + step.words[2].text;
            return false;
        }
        return true;
    }

    if (kind == "expect glyphs") {
        return Control(step.words[2].text, control, why) && CheckGlyphs(control, why);
    }

    if (kind == "expect message") {
        HWND box = nullptr;
        if (!WaitUntil([&] { return IsMessageBox(box = TopDialog()); })) {
            why = "no message box appeared";
            return false;
        }
        const std::wstring text = MessageBoxText(box);
        const bool any = !step.words[2].quoted && step.words[2].text == "*";
        const int answer = AnswerId(step.words[4].text);
        HWND button = GetDlgItem(box, answer);
        std::string mismatch;
        if (!any && text != Wide(step.words[2].text))
            mismatch =
                "the message is " + Quoted(text) + ", expected " + Quoted(Wide(step.words[2].text));
        else if (!button || !IsWindowVisible(button))
            mismatch =
                "the message box " + Quoted(text) + " has no " + step.words[4].text + " button";
        if (!mismatch.empty()) {
            why = mismatch;
            return false;
        }
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
        if (!WaitUntil([&] { return !IsWindow(box); })) {
            why = "the message box did not close";
            return false;
        }
        return Sync();
    }

    if (kind == "expect closed") {
        if (!current_) {
            why = "no dialog was used before";
            return false;
        }
        HWND dialog = current_;
        bool boxed = false;
        bool ok = WaitUntil([&] {
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

    if (kind == "expect result") {
        if (!WaitForCall(why))
            return false;
        if (std::to_string(result_) != step.words[2].text) {
            why = "OnCfgIoDev returned " + std::to_string(result_) + ", expected " +
                  step.words[2].text;
            return false;
        }
        return true;
    }

    if (kind == "expect field") {
        if (!WaitForCall(why))
            return false;
        return record_.FieldEquals(step.words[2].text, step.words[3], why);
    }

    if (kind == "expect bytes-unchanged") {
        if (!WaitForCall(why))
            return false;
        const std::vector<long> changed = record_.ForeignChanges(before_);
        if (!changed.empty()) {
            why = std::to_string(changed.size()) + " byte(s) the plug-in must not touch changed, " +
                  "first at offset " + std::to_string(changed[0]);
            return false;
        }
        return true;
    }

    if (kind == "shot")
        return Screenshot(step.words[1].text, why);

    bool listStep = false;
    const bool listPassed = RunListStep(step, why, listStep);
    if (listStep)
        return listPassed;

    bool handled = false;
    const bool passed = RunCellStep(step, why, handled);
    if (handled)
        return passed;
    why = "step not supported";
    return false;
}

} // namespace host
