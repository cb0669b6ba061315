// The robot: runs a scenario's steps on its own thread against the real windows of the host's
// user-interface thread, the way an engineer would click and type.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "record.h"
#include "scenario.h"

namespace host {

class TagDatabase;

class Robot {
public:
    // `sink` is a window of the UI thread that runs the robot's calls (see SinkProc).
    Robot(DWORD uiThread, HWND sink, const Scenario& scenario, const Record& record,
          const Record& before, std::wstring outputDir, std::string scenarioName);

    // Starts the thread. The UI thread then calls the plug-in and, when it returns, Finished().
    bool Start();
    void Finished(int result);
    HANDLE Thread() const { return thread_; }

    bool Failed() const { return failed_; }
    int StepsRun() const { return stepsRun_; }

    // Window procedure of the sink window: runs calls and answers syncs from the robot.
    static LRESULT CALLBACK SinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // The tag database that `expect tag` and `expect tags` read.
    void SetTagDatabase(const TagDatabase* tags) { tags_ = tags; }

private:
    static DWORD WINAPI ThreadMain(LPVOID self);
    void Run();
    bool RunStep(const Step& step, std::string& why);
    void TearDown();

    // UI thread access.
    bool OnUi(const std::function<void()>& call);
    bool Sync();
    HWND TopDialog(); // the enabled, visible dialog or message box of the UI thread
    bool IsMessageBox(HWND window);
    std::wstring MessageBoxText(HWND box);
    bool WaitForDialog(HWND& dialog, std::string& why);
    bool Control(const std::string& idText, HWND& control, std::string& why);
    bool WaitForCall(std::string& why);
    bool UnexpectedMessageBox(std::string& why);

    // Steps on grid cells and tags (robot_cells.cpp); `handled` false for any other step.
    bool RunCellStep(const Step& step, std::string& why, bool& handled);
    bool ClickCell(const Step& step, size_t first, HWND& control, std::string& why);

    // Steps on the items of combo and list boxes (robot_lists.cpp); `handled` false otherwise.
    bool RunListStep(const Step& step, std::string& why, bool& handled);

    bool Screenshot(const std::string& name, std::string& why);
    bool CheckGlyphs(HWND control, std::string& why);

    DWORD uiThread_;
    HWND sink_;
    const Scenario& scenario_;
    const Record& record_;
    const Record& before_;
    std::wstring outputDir_;
    std::string scenarioName_;
    HANDLE thread_ = nullptr;
    HANDLE callDone_;
    int result_ = 0;
    HWND current_ = nullptr; // the dialog the last step worked on
    bool failed_ = false;
    int stepsRun_ = 0;
    const TagDatabase* tags_ = nullptr;
};

} // namespace host
