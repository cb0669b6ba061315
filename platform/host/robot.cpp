#include "robot.h"

#include <cstdio>
#include <vector>

#include "fw/dialog.h"
#include "robot_util.h"
#include "session.h"
#include "steps.h"

namespace host {
namespace {

constexpr UINT kCallMessage = WM_APP + 1;       // lParam: a std::function, sent
constexpr UINT kSyncMessage = WM_APP + 2;       // lParam: an event to set, posted
constexpr UINT kPostedCallMessage = WM_APP + 3; // lParam: a PostedCall, posted
constexpr UINT kPluginCallMessage = WM_APP + 4; // wParam: the plug-in's index, posted

struct PostedCall {
    std::function<void()> call;
    HANDLE done;
};

struct TopSearch {
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<TopSearch*>(param);
    if (IsWindowVisible(window) && IsWindowEnabled(window) && ClassOf(window) == L"#32770")
        search->found.push_back(window);
    return TRUE;
}

} // namespace

Robot::Robot(DWORD uiThread, HWND sink, const Scenario& scenario, HostSession& session,
             std::wstring outputDir, std::string scenarioName)
    : uiThread_(uiThread), sink_(sink), scenario_(scenario), session_(session),
      outputDir_(std::move(outputDir)), scenarioName_(std::move(scenarioName)),
      callDone_(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {
    SetWindowLongPtrW(sink_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Robot::~Robot() {
    SetWindowLongPtrW(sink_, GWLP_USERDATA, 0);
    if (thread_)
        CloseHandle(thread_);
    CloseHandle(callDone_);
}

bool Robot::Start() {
    thread_ = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
    return thread_ != nullptr;
}

LRESULT CALLBACK Robot::SinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return Serve(hwnd, message, wParam, lParam);
    } catch (const std::exception& e) {
        // Nothing may leave a window procedure; the robot's step then fails on its deadline.
        std::printf("host: %s\n", e.what());
        std::fflush(stdout);
        return 0;
    }
}

LRESULT Robot::Serve(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kCallMessage:
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 1;
    case kSyncMessage:
        SetEvent(reinterpret_cast<HANDLE>(lParam));
        return 1;
    case kPostedCallMessage: {
        auto* posted = reinterpret_cast<PostedCall*>(lParam);
        posted->call();
        SetEvent(posted->done);
        return 1;
    }
    case kPluginCallMessage:
        if (auto* robot = reinterpret_cast<Robot*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
            robot->RunCall(static_cast<size_t>(wParam));
        return 1;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

DWORD WINAPI Robot::ThreadMain(LPVOID self) {
    auto* robot = static_cast<Robot*>(self);
    try {
        robot->Run();
    } catch (const std::exception& e) {
        std::printf("FAIL %s: the robot stopped: %s\n", robot->scenarioName_.c_str(), e.what());
        std::fflush(stdout);
        robot->failed_ = true;
        robot->TearDown();
    }
    return 0;
}

bool Robot::OnUi(const std::function<void()>& call) {
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(sink_, kCallMessage, 0, reinterpret_cast<LPARAM>(&call), SMTO_NORMAL,
                               kDeadline, &answer) != 0;
}

bool Robot::OnUiPosted(const std::function<void()>& call) {
    // The record stays alive until the UI thread ran it: a late run after our deadline would
    // otherwise touch freed memory, so the deadline ends the host instead.
    PostedCall posted{call, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    if (!PostMessageW(sink_, kPostedCallMessage, 0, reinterpret_cast<LPARAM>(&posted))) {
        CloseHandle(posted.done);
        return false;
    }
    if (WaitForSingleObject(posted.done, kDeadline) != WAIT_OBJECT_0) {
        std::printf("the user-interface thread did not answer; stopping the host\n");
        std::fflush(stdout);
        ExitProcess(3);
    }
    CloseHandle(posted.done);
    return true;
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
    TopSearch search;
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

bool Robot::UsableControl(const std::string& idText, HWND& control, std::string& why) {
    if (!Control(idText, control, why))
        return false;
    if (!IsWindowEnabled(control) || !IsWindowVisible(control)) {
        why = "control " + idText + " is disabled or hidden";
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

void Robot::StartCall(size_t index) {
    ResetEvent(callDone_);
    PostMessageW(sink_, kPluginCallMessage, index, 0);
}

void Robot::RunCall(size_t index) {
    result_ = session_.Call(index);
    SetEvent(callDone_);
}

void Robot::Run() {
    std::string why;
    // Without call steps the scenario is about the one call the host makes at once.
    if (!scenario_.namesCalls)
        StartCall(0);
    for (const Step& step : scenario_.steps) {
        std::printf("  > %s\n", step.source.c_str());
        std::fflush(stdout);
        if (!(this->*step.entry->robot)(step, why)) {
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

} // namespace host
