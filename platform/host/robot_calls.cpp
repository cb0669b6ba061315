// The robot's steps on the calls of the plug-ins: starting one, freeing the plug-ins, letting
// the host pump messages, and checking what a call returned and wrote, and what it asked of a
// simulated server.
#include "device_file.h"
#include "robot.h"
#include "robot_util.h"
#include "session.h"
#include "sim_report.h"

namespace host {

bool Robot::Call(const Step& step, std::string& why) {
    const std::string& name = step.Arg(0).text;
    if (!WaitForCall(why))
        return false;
    if (session_.Unloaded()) {
        why = "the plug-ins were unloaded";
        return false;
    }
    const int index = session_.Find(name);
    if (index < 0) {
        why = "no plug-in " + name + " is loaded (loaded: " + session_.Names() + ")";
        return false;
    }
    StartCall(static_cast<size_t>(index));
    return true;
}

bool Robot::Unload(const Step&, std::string& why) {
    if (!WaitForCall(why))
        return false;
    // Posted: a plug-in's detach may call out through COM, which a sent message forbids.
    if (!OnUiPosted([this] { session_.UnloadAll(); })) {
        why = "the user-interface thread does not answer";
        return false;
    }
    return Sync();
}

bool Robot::Pump(const Step& step, std::string& why) {
    // The UI thread dispatches whatever arrives (it serves the robot) while this thread waits;
    // there is nothing to wait for but the time.
    Sleep(static_cast<DWORD>(std::stoul(step.Arg(0).text)));
    if (!Sync()) {
        why = "the user-interface thread does not answer";
        return false;
    }
    return true;
}

bool Robot::ExpectResult(const Step& step, std::string& why) {
    if (!WaitForCall(why))
        return false;
    if (std::to_string(result_) != step.Arg(0).text) {
        why = "OnCfgIoDev returned " + std::to_string(result_) + ", expected " + step.Arg(0).text;
        return false;
    }
    return true;
}

bool Robot::ExpectField(const Step& step, std::string& why) {
    if (!WaitForCall(why))
        return false;
    Plugin* plugin = session_.Current();
    if (!plugin) {
        why = "no plug-in was called";
        return false;
    }
    return plugin->record->FieldEquals(step.Arg(0).text, step.Arg(1), why);
}

bool Robot::ExpectBytesUnchanged(const Step&, std::string& why) {
    if (!WaitForCall(why))
        return false;
    Plugin* plugin = session_.Current();
    if (!plugin || !session_.Before()) {
        why = "no plug-in was called";
        return false;
    }
    const std::vector<long> changed = plugin->record->ForeignChanges(*session_.Before());
    if (!changed.empty()) {
        why = std::to_string(changed.size()) + " byte(s) the plug-in must not touch changed, " +
              "first at offset " + std::to_string(changed[0]);
        return false;
    }
    return true;
}

bool Robot::ExpectCalls(const Step& step, std::string& why) {
    wchar_t directory[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"OPCSIM_REPORT_DIR", directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        why = "OPCSIM_REPORT_DIR is not set (run the scenario with ./run test or ./run host)";
        return false;
    }
    const std::wstring path =
        std::wstring(directory) + L"\\" + ReportFileName(Wide(step.Arg(0).text));
    ReportCount count;
    // The report is written when the server's last object goes, which may follow the dialog's
    // end by a moment (a server in another process).
    WaitUntil([&] {
        std::string text;
        count = ReadWholeFile(path, text) ? CountCalls(text, step.Arg(1).text) : ReportCount();
        return count.reports > 0;
    });
    if (count.reports == 0) {
        why = "no report of " + step.Arg(0).text + " in " + fw::WideToUtf8(path) +
              " (the server was never created, or something still holds it)";
        return false;
    }
    if (std::to_string(count.calls) != step.Arg(2).text) {
        why = step.Arg(0).text + " counted " + std::to_string(count.calls) + " call(s) of " +
              step.Arg(1).text + " in " + std::to_string(count.reports) + " report(s), expected " +
              step.Arg(2).text;
        return false;
    }
    return true;
}

} // namespace host
