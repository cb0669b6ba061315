// The host stand-in: plays the configuration environment that loads a device plug-in, calls
// OnCfgIoDev with a record it owns and keeps the record in a device file.
//
//   host --plugin marvesk|pelorin|PATH --device FILE [--scenario FILE] [--out DIR] [--first N]
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
#include "fw/resources.h"
#include "fw/string.h"
#include "record.h"
#include "robot.h"
#include "scenario.h"
#include "scenario_cells.h"
#include "tagdb.h"

namespace {

using host::Record;

const wchar_t kAppTitle[] = L"Configuration Host";

struct Options {
    std::wstring plugin;
    std::wstring device;
    std::wstring scenario;
    std::wstring output = L".";
    int first = 1;
};

int Usage(const char* problem) {
    std::printf("host: %s\nusage: host --plugin marvesk|pelorin|PATH --device FILE "
                "[--scenario FILE] [--out DIR] [--first N]\n",
                problem);
    return 2;
}

bool ParseOptions(Options& options, std::string& problem) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < count;
        if (arg == L"--lang" || arg == L"--show") {
            if (arg == L"--lang")
                ++i; // chosen by ./run through the locale; nothing to do here
        } else if (arg == L"--plugin" && hasValue) {
            options.plugin = argv[++i];
        } else if (arg == L"--device" && hasValue) {
            options.device = argv[++i];
        } else if (arg == L"--scenario" && hasValue) {
            options.scenario = argv[++i];
        } else if (arg == L"--out" && hasValue) {
            options.output = argv[++i];
        } else if (arg == L"--first" && hasValue) {
            options.first = _wtoi(argv[++i]);
        } else {
            problem = "unknown or incomplete argument " + fw::WideToUtf8(arg);
            LocalFree(argv);
            return false;
        }
    }
    LocalFree(argv);
    if (options.plugin.empty() || options.device.empty()) {
        problem = "--plugin and --device are required";
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

// "marvesk" and "pelorin" name the plug-ins beside the host; anything else is a path whose
// file name tells the record layout.
void ResolvePlugin(const std::wstring& plugin, std::wstring& path, std::string& kind) {
    if (plugin == L"marvesk" || plugin == L"pelorin") {
        path = ExeDirectory() + L"\\" + plugin + L".dll";
        kind = fw::WideToUtf8(plugin);
        return;
    }
    path = plugin;
    std::wstring name = plugin.substr(plugin.find_last_of(L"\\/") + 1);
    CharLowerW(&name[0]);
    kind = name.find(L"pelorin") != std::wstring::npos ? "pelorin" : "marvesk";
}

std::string Describe(const Record& record) {
    std::string text;
    for (const host::FieldSpec& field : record.Layout().fields) {
        if (field.kind == host::FieldKind::Pointer)
            continue;
        text +=
            std::string(text.empty() ? "" : " ") + field.name + "=" + record.FieldText(field.name);
    }
    return text;
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

// Waits for the robot's thread while serving the calls it sends to this thread.
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
        return Usage(problem.c_str());

    std::wstring pluginPath;
    std::string kind;
    ResolvePlugin(options.plugin, pluginPath, kind);
    const host::RecordLayout* layout = host::RecordLayout::ForPlugin(kind);

    host::Scenario scenario;
    const std::string scenarioName = fw::WideToUtf8(options.scenario);
    if (!options.scenario.empty()) {
        std::string text, error;
        if (!host::ReadWholeFile(options.scenario, text))
            return Usage(("cannot read the scenario " + scenarioName).c_str());
        if (!host::ParseScenario(text, scenario, error)) {
            std::printf("FAIL %s: %s\n", scenarioName.c_str(), error.c_str());
            return 2;
        }
    }

    Record record(*layout);
    host::TagDatabase tags; // the device's tags; the plug-in holds pointers into it
    bool created = false;
    std::string error;
    if (!host::LoadDeviceFile(options.device, record, created, error, &tags)) {
        std::printf("host: %s: %s\n", fw::WideToUtf8(options.device).c_str(), error.c_str());
        return 2;
    }
    for (const host::Step& step : scenario.given) {
        const std::string given = step.Kind();
        if (given == "given field") {
            if (!record.SetField(step.words[2].text, step.words[3], error)) {
                std::printf("FAIL %s:%d: %s\n  %s\n", scenarioName.c_str(), step.line,
                            step.source.c_str(), error.c_str());
                return 2;
            }
        } else if (given == "given tag") {
            if (!tags.AddCommitted(host::GivenTag(step), error)) {
                std::printf("FAIL %s:%d: %s\n  %s\n", scenarioName.c_str(), step.line,
                            step.source.c_str(), error.c_str());
                return 2;
            }
        } else if (given == "given lang") {
            const WORD primary = PRIMARYLANGID(fw::PreferredLanguage());
            const std::string lang = step.words[2].text;
            if ((lang == "en" && primary != LANG_ENGLISH) ||
                (lang == "zh" && primary != LANG_CHINESE) || (lang != "en" && lang != "zh")) {
                std::printf("FAIL %s:%d: the scenario needs --lang %s\n", scenarioName.c_str(),
                            step.line, lang.c_str());
                return 2;
            }
        }
    }

    fw::SetAppTitle(kAppTitle);
    HWND sink = nullptr;
    HWND mainWindow = CreateWindows(sink);
    fw::SetMainWindow(mainWindow);

    std::printf("device: %s%s\nplugin: %s (%s)\nrecord before: %s\n",
                fw::WideToUtf8(options.device).c_str(), created ? " (new, defaults)" : "",
                kind.c_str(), fw::WideToUtf8(pluginPath).c_str(), Describe(record).c_str());
    std::fflush(stdout);

    HMODULE plugin = LoadLibraryW(pluginPath.c_str());
    if (!plugin) {
        std::printf("host: cannot load the plug-in (error %lu)\n", GetLastError());
        return 3;
    }
    using Entry = int(__cdecl*)(int, void*);
    auto entry =
        reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(plugin, "OnCfgIoDev")));
    if (!entry) {
        std::printf("host: the plug-in has no OnCfgIoDev export\n");
        return 3;
    }

    // The host tag database the item link dialog calls (the record's layout may have no place
    // for it; then the plug-in does not get it).
    record.SetPointer("tagdb", static_cast<pelorin::HostTagDatabase*>(&tags));

    const Record before = record;
    std::unique_ptr<host::Robot> robot;
    if (!options.scenario.empty()) {
        robot.reset(new host::Robot(GetCurrentThreadId(), sink, scenario, record, before,
                                    options.output, scenarioName));
        robot->SetTagDatabase(&tags);
        robot->Start();
    }

    const int result = entry(options.first, record.Data());
    if (robot) {
        robot->Finished(result);
        WaitServing(robot->Thread());
    }

    std::printf("OnCfgIoDev returned %d\nrecord after:  %s\n", result, Describe(record).c_str());
    const std::vector<long> foreign = record.ForeignChanges(before);
    if (foreign.empty())
        std::printf("host-owned bytes: unchanged\n");
    else
        std::printf("host-owned bytes: %u changed, first at offset %ld\n",
                    static_cast<unsigned>(foreign.size()), foreign[0]);
    if (!host::SaveDeviceFile(options.device, record, error, &tags))
        std::printf("host: %s\n", error.c_str());
    if (robot) {
        std::printf("scenario: %s (%d steps passed)\n", robot->Failed() ? "FAILED" : "passed",
                    robot->StepsRun());
    }
    std::fflush(stdout);
    FreeLibrary(plugin);
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
