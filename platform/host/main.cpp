// The host stand-in: plays the configuration environment that loads device plug-ins, calls
// their OnCfgIoDev with records it owns and keeps each record in a device file.
//
//   host --plugin NAME|PATH --device FILE [--plugin ... --device ...] [--scenario FILE]
//        [--out DIR] [--first N] [--database postgres|CONNECTION]
//   host --world FILE [--plugin NAME]...   what the scenario needs set up before the host starts
//                                          (world.h); the plug-ins where it names none
//   host --steps           the scenario steps with their arguments and descriptions
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "device_file.h"
#include "fw/app.h"
#include "fw/string.h"
#include "robot.h"
#include "scenario.h"
#include "session.h"
#include "steps.h"
#include "world.h"

namespace {

const wchar_t kAppTitle[] = L"Configuration Host";
const char kUsage[] =
    "usage: host --plugin marvesk|pelorin|PATH --device FILE [--plugin ... --device ...]\n"
    "            [--scenario FILE] [--out DIR] [--first N] [--database postgres|CONNECTION]\n"
    "       host --world SCENARIO [--plugin NAME]...\n"
    "       host --steps\n";

struct Options {
    std::vector<std::wstring> plugins;
    std::vector<std::wstring> devices; // the n-th belongs to the n-th plug-in
    std::wstring scenario;
    std::wstring world;
    bool steps = false;
    std::wstring output = L".";
    int first = 1;
    // Where `given database` puts the point tables: a file (default), the test run's PostgreSQL
    // in a schema of the scenario's own, or this ODBC data source.
    std::wstring database;
};

int Usage(const std::string& problem) {
    std::printf("host: %s\n%s", problem.c_str(), kUsage);
    return 2;
}

bool ParseOptions(Options& options, std::string& problem) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < count;
        if (arg == L"--lang" && hasValue) {
            ++i; // chosen by ./run through the locale; nothing to do here
        } else if (arg == L"--show") {
        } else if (arg == L"--steps") {
            options.steps = true;
        } else if (arg == L"--plugin" && hasValue) {
            options.plugins.push_back(argv[++i]);
        } else if (arg == L"--device" && hasValue) {
            options.devices.push_back(argv[++i]);
        } else if (arg == L"--scenario" && hasValue) {
            options.scenario = argv[++i];
        } else if (arg == L"--world" && hasValue) {
            options.world = argv[++i];
        } else if (arg == L"--out" && hasValue) {
            options.output = argv[++i];
        } else if (arg == L"--first" && hasValue) {
            options.first = _wtoi(argv[++i]);
        } else if (arg == L"--database" && hasValue) {
            options.database = argv[++i];
        } else {
            problem = "unknown or incomplete argument " + fw::WideToUtf8(arg);
            LocalFree(argv);
            return false;
        }
    }
    LocalFree(argv);
    if (options.steps || !options.world.empty())
        return true;
    if (options.plugins.empty() || options.plugins.size() != options.devices.size()) {
        problem = "every --plugin needs a --device of its own";
        return false;
    }
    return true;
}

std::wstring ExeDirectory() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir = path;
    return dir.substr(0, dir.find_last_of(L"\\/"));
}

bool ReadScenario(const std::wstring& path, host::Scenario& scenario, std::string& error) {
    std::string text;
    if (!host::ReadWholeFile(path, text)) {
        error = "cannot read the scenario " + fw::WideToUtf8(path);
        return false;
    }
    return host::ParseScenario(text, scenario, error);
}

int PrintWorld(const std::wstring& path, const std::vector<std::wstring>& plugins) {
    std::vector<std::string> defaults;
    for (const std::wstring& plugin : plugins)
        defaults.push_back(fw::WideToUtf8(plugin));
    host::Scenario scenario;
    std::string error;
    std::vector<std::string> lines;
    if (!ReadScenario(path, scenario, error) ||
        !host::DescribeWorld(scenario, path, ExeDirectory(), defaults, lines, error)) {
        std::printf("FAIL %s: %s\n", fw::WideToUtf8(path).c_str(), error.c_str());
        return 2;
    }
    for (const std::string& line : lines)
        std::printf("%s\n", line.c_str());
    return 0;
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE)
        return 0; // the host's window stays while a plug-in runs
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND CreateWindows(HWND& sink) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW main = {};
    main.lpfnWndProc = MainWindowProc;
    main.hInstance = instance;
    main.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    main.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    main.lpszClassName = L"ConfigurationHostMain";
    RegisterClassW(&main);
    WNDCLASSW robot = {};
    robot.lpfnWndProc = host::Robot::SinkProc;
    robot.hInstance = instance;
    robot.lpszClassName = L"ConfigurationHostRobot";
    RegisterClassW(&robot);
    sink = CreateWindowW(robot.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                         nullptr);
    HWND window = CreateWindowW(main.lpszClassName, kAppTitle, WS_OVERLAPPEDWINDOW, 0, 0, 800, 600,
                                nullptr, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return window;
}

// Waits for the robot's thread while serving what it asks of this thread (calls of the
// plug-ins among them) and whatever else arrives, COM calls into the process too.
void WaitServing(HANDLE thread) {
    for (;;) {
        DWORD got = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT);
        if (got == WAIT_OBJECT_0)
            return;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

int Run() {
    Options options;
    std::string problem;
    if (!ParseOptions(options, problem))
        return Usage(problem);
    if (options.steps) {
        std::printf("%s", host::StepList().c_str());
        return 0;
    }
    if (!options.world.empty())
        return PrintWorld(options.world, options.plugins);

    host::HostSession session;
    session.SetFirst(options.first);
    session.SetScenarioPlace(options.scenario, options.output);
    session.Database().SetTarget(fw::WideToUtf8(options.database));
    for (size_t i = 0; i < options.plugins.size(); ++i) {
        if (!session.Add(options.plugins[i], options.devices[i], ExeDirectory(), problem)) {
            std::printf("host: %s\n", problem.c_str());
            return 2;
        }
    }

    host::Scenario scenario;
    const std::string scenarioName = fw::WideToUtf8(options.scenario);
    if (!options.scenario.empty()) {
        if (!ReadScenario(options.scenario, scenario, problem)) {
            std::printf("FAIL %s: %s\n", scenarioName.c_str(), problem.c_str());
            return 2;
        }
        for (const host::Step& step : scenario.given) {
            if (step.entry->given && !step.entry->given(step, session, problem)) {
                std::printf("FAIL %s:%d: %s\n  %s\n", scenarioName.c_str(), step.line,
                            step.source.c_str(), problem.c_str());
                return 2;
            }
        }
    }

    fw::SetAppTitle(kAppTitle);
    HWND sink = nullptr;
    HWND mainWindow = CreateWindows(sink);
    fw::SetMainWindow(mainWindow);

    if (!session.LoadAll(problem)) {
        std::printf("host: %s\n", problem.c_str());
        return 3;
    }

    std::unique_ptr<host::Robot> robot;
    if (!options.scenario.empty()) {
        robot.reset(new host::Robot(GetCurrentThreadId(), sink, scenario, session, options.output,
                                    scenarioName));
        if (!robot->Start()) {
            std::printf("host: cannot start the robot's thread\n");
            return 3;
        }
        WaitServing(robot->Thread());
    } else {
        for (size_t i = 0; i < session.Plugins().size(); ++i)
            session.Call(i);
    }

    session.SaveAll();
    if (robot) {
        std::printf("scenario: %s (%d steps passed)\n", robot->Failed() ? "FAILED" : "passed",
                    robot->StepsRun());
    }
    std::fflush(stdout);
    session.UnloadAll();
    DestroyWindow(mainWindow);
    return robot && robot->Failed() ? 1 : 0;
}

} // namespace

int main() {
    _setmode(_fileno(stdout), _O_BINARY); // texts are printed as UTF-8 bytes
    try {
        return Run();
    } catch (const std::exception& e) {
        std::printf("host: %s\n", e.what());
        return 4;
    }
}
