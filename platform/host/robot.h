// The robot: runs a scenario's steps on its own thread against the real windows of the host's
// user-interface thread, the way an engineer would click and type. It also asks the UI thread to
// make the calls of the plug-ins (posted, so a call runs in no sent message).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "scenario.h"

namespace tabulo {
struct ReadTable;
}

namespace host {

class HostSession;

class Robot {
public:
    // `sink` is a window of the UI thread that runs the robot's requests (see SinkProc).
    Robot(DWORD uiThread, HWND sink, const Scenario& scenario, HostSession& session,
          std::wstring outputDir, std::string scenarioName);
    ~Robot();
    Robot(const Robot&) = delete;
    Robot& operator=(const Robot&) = delete;

    // Starts the thread; the UI thread then serves the robot until the thread ends.
    bool Start();
    HANDLE Thread() const { return thread_; }

    bool Failed() const { return failed_; }
    int StepsRun() const { return stepsRun_; }

    // Window procedure of the sink window: runs calls, plug-in calls and syncs for the robot.
    static LRESULT CALLBACK SinkProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // Step handlers, called through the step table (steps.cpp).
    // Dialogs and controls (robot_controls.cpp).
    bool Window(const Step& step, std::string& why);
    bool ExpectCaption(const Step& step, std::string& why);
    bool Type(const Step& step, std::string& why);
    bool Keys(const Step& step, std::string& why);
    bool Select(const Step& step, std::string& why);
    bool Click(const Step& step, std::string& why);
    bool Command(const Step& step, std::string& why);
    bool Key(const Step& step, std::string& why);
    bool Close(const Step& step, std::string& why);
    bool ExpectText(const Step& step, std::string& why);
    bool ExpectState(const Step& step, std::string& why); // visible, enabled, checked
    bool ExpectFocus(const Step& step, std::string& why);
    bool ExpectGlyphs(const Step& step, std::string& why);
    bool ExpectMessage(const Step& step, std::string& why);
    bool ExpectClosed(const Step& step, std::string& why);
    bool Shot(const Step& step, std::string& why);
    // Combo and list boxes (robot_lists.cpp).
    bool Dropdown(const Step& step, std::string& why);
    bool DoubleClick(const Step& step, std::string& why);
    bool ExpectList(const Step& step, std::string& why); // items, count, selection
    // Tree views (robot_tree.cpp).
    bool TreeSelect(const Step& step, std::string& why);
    bool TreeExpand(const Step& step, std::string& why);
    bool TreeCollapse(const Step& step, std::string& why);
    bool ExpectTree(const Step& step, std::string& why);
    // Grid cells and tags (robot_cells.cpp).
    bool CellClick(const Step& step, std::string& why);
    bool CellType(const Step& step, std::string& why);
    bool CellKey(const Step& step, std::string& why);
    bool ExpectCell(const Step& step, std::string& why); // cell, rows
    bool ExpectTags(const Step& step, std::string& why); // tag, tags
    // The scenario's database: the data-source dialog and the tables (robot_database.cpp).
    bool ChooseDatabase(const Step& step, std::string& why);
    bool ExpectTables(const Step& step, std::string& why);
    bool ExpectTable(const Step& step, std::string& why);
    bool ExpectRow(const Step& step, std::string& why);
    // Calls and their results (robot_calls.cpp).
    bool Call(const Step& step, std::string& why);
    bool Unload(const Step& step, std::string& why);
    bool Pump(const Step& step, std::string& why);
    bool ExpectResult(const Step& step, std::string& why);
    bool ExpectField(const Step& step, std::string& why);
    bool ExpectBytesUnchanged(const Step& step, std::string& why);
    bool ExpectCalls(const Step& step, std::string& why);

private:
    static LRESULT Serve(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static DWORD WINAPI ThreadMain(LPVOID self);
    void Run();
    void TearDown();

    // UI thread access. OnUi sends (the call must not call out through COM); OnUiPosted posts
    // and waits, for calls that may.
    bool OnUi(const std::function<void()>& call);
    bool OnUiPosted(const std::function<void()>& call);
    bool Sync();
    HWND TopDialog(); // the enabled, visible dialog or message box of the UI thread
    bool IsMessageBox(HWND window);
    std::wstring MessageBoxText(HWND box);
    bool WaitForDialog(HWND& dialog, std::string& why);
    bool Control(const std::string& idText, HWND& control, std::string& why);
    // The control, which a person could reach: visible and enabled.
    bool UsableControl(const std::string& idText, HWND& control, std::string& why);
    bool WaitForCall(std::string& why);
    bool UnexpectedMessageBox(std::string& why);

    // Starts a call of the session's plug-in `index` on the UI thread.
    void StartCall(size_t index);
    void RunCall(size_t index); // on the UI thread

    bool ClickCell(const Step& step, HWND& control, std::string& why);
    bool ClickAt(HWND control, POINT at);
    // The list box `id` and the middle of its entry of exactly that text, scrolled into view.
    bool ListEntry(const std::string& id, const std::string& entry, HWND& list, POINT& at,
                   std::string& why);
    bool ClickListEntry(const Step& step, std::string& why);
    bool PressKey(HWND control, UINT key);
    bool TreePath(const Step& step, HWND& tree, std::vector<std::wstring>& path, std::string& why);
    bool ToggleTreeItem(const Step& step, bool expand, std::string& why);
    bool CheckGlyphs(HWND control, std::string& why);
    // The table a database step names first, read back once no message box is in the way.
    bool NamedTable(const Step& step, tabulo::ReadTable& table, std::string& why);

    DWORD uiThread_;
    HWND sink_;
    const Scenario& scenario_;
    HostSession& session_;
    std::wstring outputDir_;
    std::string scenarioName_;
    HANDLE thread_ = nullptr;
    HANDLE callDone_;
    int result_ = 0;
    HWND current_ = nullptr; // the dialog the last step worked on
    bool failed_ = false;
    int stepsRun_ = 0;
};

} // namespace host
