#include "session.h"

#include <cstdio>

#include "device_file.h"
#include "fw/string.h"

namespace host {

std::string Plugin::CallName() const {
    std::wstring file = path.substr(path.find_last_of(L"\\/") + 1);
    if (file.size() > 4 && _wcsicmp(file.c_str() + file.size() - 4, L".dll") == 0)
        file.resize(file.size() - 4);
    CharLowerW(&file[0]);
    return fw::WideToUtf8(file);
}

void ResolvePlugin(const std::wstring& name, const std::wstring& hostDirectory, std::wstring& path,
                   std::string& layout) {
    if (name == L"marvesk" || name == L"pelorin") {
        path = hostDirectory + L"\\" + name + L".dll";
        layout = fw::WideToUtf8(name);
        return;
    }
    // A bare name is a plug-in beside the host, as the loader would find it first.
    const bool bare = name.find_first_of(L"\\/") == std::wstring::npos;
    const bool hasExtension =
        name.size() > 4 && _wcsicmp(name.c_str() + name.size() - 4, L".dll") == 0;
    path = bare ? hostDirectory + L"\\" + name + (hasExtension ? L"" : L".dll") : name;
    std::wstring file = name.substr(name.find_last_of(L"\\/") + 1);
    CharLowerW(&file[0]);
    layout = file.find(L"pelorin") != std::wstring::npos ? "pelorin" : "marvesk";
}

std::string DescribeRecord(const Record& record) {
    std::string text;
    for (const FieldSpec& field : record.Layout().fields) {
        if (field.kind == FieldKind::Pointer)
            continue;
        text +=
            std::string(text.empty() ? "" : " ") + field.name + "=" + record.FieldText(field.name);
    }
    return text;
}

HostSession::~HostSession() {
    UnloadAll();
}

bool HostSession::Add(const std::wstring& name, const std::wstring& device,
                      const std::wstring& hostDirectory, std::string& error) {
    auto plugin = std::make_unique<Plugin>();
    plugin->name = name;
    plugin->device = device;
    std::string layout;
    ResolvePlugin(name, hostDirectory, plugin->path, layout);
    plugin->record = std::make_unique<Record>(*RecordLayout::ForPlugin(layout));
    if (!LoadDeviceFile(device, *plugin->record, plugin->created, error, &plugin->tags)) {
        error = fw::WideToUtf8(device) + ": " + error;
        return false;
    }
    // The host tag database the item link dialog calls (a layout without a place for it does
    // not get it).
    plugin->record->SetPointer("tagdb", static_cast<pelorin::HostTagDatabase*>(&plugin->tags));
    plugins_.push_back(std::move(plugin));
    return true;
}

bool HostSession::LoadAll(std::string& error) {
    for (auto& plugin : plugins_) {
        std::printf("device: %s%s\nplugin: %s (%s record, %s)\n",
                    fw::WideToUtf8(plugin->device).c_str(),
                    plugin->created ? " (new, defaults)" : "", plugin->CallName().c_str(),
                    plugin->record->Layout().plugin, fw::WideToUtf8(plugin->path).c_str());
        std::fflush(stdout);
        plugin->module = LoadLibraryW(plugin->path.c_str());
        if (!plugin->module) {
            error = "cannot load the plug-in " + fw::WideToUtf8(plugin->path) + " (error " +
                    std::to_string(GetLastError()) + ")";
            return false;
        }
        plugin->entry = reinterpret_cast<int(__cdecl*)(int, void*)>(
            reinterpret_cast<void*>(GetProcAddress(plugin->module, "OnCfgIoDev")));
        if (!plugin->entry) {
            error = "the plug-in " + fw::WideToUtf8(plugin->path) + " has no OnCfgIoDev export";
            return false;
        }
    }
    return true;
}

int HostSession::Call(size_t index) {
    Plugin& plugin = *plugins_[index];
    current_ = static_cast<int>(index);
    before_ = std::make_unique<Record>(*plugin.record);
    std::printf("call: %s\nrecord before: %s\n", plugin.CallName().c_str(),
                DescribeRecord(*plugin.record).c_str());
    std::fflush(stdout);
    const int result = plugin.entry(first_, plugin.record->Data());
    std::printf("OnCfgIoDev returned %d\nrecord after:  %s\n", result,
                DescribeRecord(*plugin.record).c_str());
    const std::vector<long> foreign = plugin.record->ForeignChanges(*before_);
    if (foreign.empty())
        std::printf("host-owned bytes: unchanged\n");
    else
        std::printf("host-owned bytes: %u changed, first at offset %ld\n",
                    static_cast<unsigned>(foreign.size()), foreign[0]);
    std::fflush(stdout);
    return result;
}

void HostSession::UnloadAll() {
    for (auto it = plugins_.rbegin(); it != plugins_.rend(); ++it) {
        Plugin& plugin = **it;
        if (plugin.module)
            FreeLibrary(plugin.module);
        plugin.module = nullptr;
        plugin.entry = nullptr;
    }
    unloaded_ = true;
}

void HostSession::SaveAll() {
    for (auto& plugin : plugins_) {
        std::string error;
        if (!SaveDeviceFile(plugin->device, *plugin->record, error, &plugin->tags))
            std::printf("host: %s: %s\n", fw::WideToUtf8(plugin->device).c_str(), error.c_str());
    }
    std::fflush(stdout);
}

int HostSession::Find(const std::string& callName) const {
    for (size_t i = 0; i < plugins_.size(); ++i)
        if (plugins_[i]->CallName() == callName)
            return static_cast<int>(i);
    return -1;
}

std::string HostSession::Names() const {
    std::string names;
    for (const auto& plugin : plugins_)
        names += (names.empty() ? "" : ", ") + plugin->CallName();
    return names;
}

} // namespace host
