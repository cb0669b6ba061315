// The plug-ins of one host run: each with its own record and tags (a device file each), loaded
// all before the first call, called in turn, freed at the end or when a scenario says so.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "record.h"
#include "scenario_database.h"
#include "tagdb.h"

namespace host {

struct Plugin {
    std::wstring name; // as the command line names it: marvesk, pelorin or a path
    std::wstring path; // the DLL
    std::wstring device;
    std::unique_ptr<Record> record;
    TagDatabase tags; // the device's tags; the plug-in holds pointers into it
    bool created = false;
    HMODULE module = nullptr;
    int(__cdecl* entry)(int first, void* record) = nullptr;

    // The name a scenario calls it by: the file name without directory and ".dll", lower case.
    std::string CallName() const;
    bool HasTags() const { return record->Layout().Field("tagdb") != nullptr; }
};

// "marvesk" and "pelorin" name the plug-ins beside the host; anything else is a path (or a name
// the loader finds). The file name tells the record layout: names containing "pelorin" get the
// DeviceRecord, others the AddressPair.
void ResolvePlugin(const std::wstring& name, const std::wstring& hostDirectory, std::wstring& path,
                   std::string& layout);

class HostSession {
public:
    HostSession() = default;
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;
    ~HostSession();

    // Adds a plug-in with its device file (read now; a missing file gives a new device).
    bool Add(const std::wstring& name, const std::wstring& device,
             const std::wstring& hostDirectory, std::string& error);
    std::vector<std::unique_ptr<Plugin>>& Plugins() { return plugins_; }

    // Loads every plug-in in order; false with a message on the first that fails.
    bool LoadAll(std::string& error);
    // The first argument of every call (the host's value; the plug-ins ignore it).
    void SetFirst(int first) { first_ = first; }
    // Calls the plug-in's OnCfgIoDev with its record; prints the record before and after.
    int Call(size_t index);
    // Frees every loaded plug-in, last loaded first.
    void UnloadAll();
    bool Unloaded() const { return unloaded_; }
    // Writes every device file; prints what fails.
    void SaveAll();

    // The plug-in a scenario calls by that name, or -1.
    int Find(const std::string& callName) const;
    // The plug-in of the latest call and its record just before that call (null before any).
    Plugin* Current() { return current_ < 0 ? nullptr : plugins_[current_].get(); }
    const Record* Before() const { return before_.get(); }
    // The names of the loaded plug-ins, for messages.
    std::string Names() const;

    // Where the scenario of this run lives and where its output goes.
    void SetScenarioPlace(const std::wstring& scenarioFile, const std::wstring& outputDirectory) {
        scenarioFile_ = scenarioFile;
        outputDirectory_ = outputDirectory;
    }
    const std::wstring& ScenarioFile() const { return scenarioFile_; }
    const std::wstring& OutputDirectory() const { return outputDirectory_; }
    // The database of the scenario's point tables (given database).
    ScenarioDatabase& Database() { return database_; }

private:
    std::vector<std::unique_ptr<Plugin>> plugins_;
    int first_ = 1;
    int current_ = -1;
    std::unique_ptr<Record> before_;
    bool unloaded_ = false;
    std::wstring scenarioFile_;
    std::wstring outputDirectory_ = L".";
    ScenarioDatabase database_;
};

// The record's fields as "name=value ...", for the host's report.
std::string DescribeRecord(const Record& record);

} // namespace host
