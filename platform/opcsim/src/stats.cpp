#include "stats.h"

#include "tracked.h"

#include <windows.h>

#include <cstdio>
#include <set>
#include <sstream>

namespace opcsim {
namespace {

std::mutex g_allMutex;
std::set<Stats*> g_all;

std::wstring ReportDirectory() {
    wchar_t directory[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"OPCSIM_REPORT_DIR", directory, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(directory) : std::wstring();
}

} // namespace

Stats::Stats(std::wstring serverName) : serverName_(std::move(serverName)) {
    std::lock_guard<std::mutex> lock(g_allMutex);
    g_all.insert(this);
}

Stats::~Stats() {
    std::lock_guard<std::mutex> lock(g_allMutex);
    g_all.erase(this);
}

void Stats::WriteReport(const wchar_t* when) const {
    const std::wstring directory = ReportDirectory();
    if (directory.empty())
        return;
    std::wstring name = serverName_;
    for (wchar_t& c : name)
        if (wcschr(L"\\/:*?\"<>|", c))
            c = L'_';
    const std::wstring path = directory + L"\\" + name + L".txt";
    FILE* file = _wfopen(path.c_str(), L"ab");
    if (!file)
        return;
    const std::wstring text = L"report " + std::wstring(when) + L" process=" +
                              std::to_wstring(GetCurrentProcessId()) + L"\n" + Report() + L"\n";
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes > 0 ? bytes - 1 : 0), '\0');
    if (bytes > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], bytes, nullptr, nullptr);
    std::fwrite(utf8.data(), 1, utf8.size(), file);
    std::fclose(file);
}

void Stats::WriteLeftoverReports() {
    std::lock_guard<std::mutex> lock(g_allMutex);
    for (Stats* stats : g_all) {
        long objects, references, sinks;
        stats->Outstanding(objects, references, sinks);
        if (objects > 0 || sinks > 0)
            stats->WriteReport(L"at exit");
    }
}

void Stats::SetDuringHook(DuringHook hook) {
    std::lock_guard<std::mutex> lock(mutex_);
    during_ = std::move(hook);
}

void Stats::RunDuringHook(const DuringCall& call) const {
    DuringHook hook;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hook = during_;
    }
    if (hook)
        hook(call); // unlocked: the clients it calls may call the server back
}

long Stats::Count(const wchar_t* method) {
    std::lock_guard<std::mutex> lock(mutex_);
    return ++calls_[method];
}

void Stats::ObjectCreated(const Tracked* object, const std::wstring& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    objects_[object] = Live{object, name, 0};
}

void Stats::ReferencesChanged(const void* object, long references) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = objects_.find(object);
    if (found != objects_.end())
        found->second.references = references;
}

void Stats::ReportWhenReleased(std::unique_lock<std::mutex>& lock) {
    if (!objects_.empty() || !sinks_.empty() || reported_)
        return;
    reported_ = true;
    lock.unlock();
    WriteReport(L"released");
}

void Stats::ObjectDestroyed(const void* object) {
    std::unique_lock<std::mutex> lock(mutex_);
    objects_.erase(object);
    ReportWhenReleased(lock);
}

void Stats::SinkAdded(const std::wstring& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++sinks_[what];
}

void Stats::SinkRemoved(const std::wstring& what) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (--sinks_[what] == 0)
        sinks_.erase(what);
    ReportWhenReleased(lock);
}

std::vector<IUnknown*> Stats::AcquireLive() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<IUnknown*> out;
    for (const auto& entry : objects_)
        if (IUnknown* identity = entry.second.object->TryAcquire())
            out.push_back(identity);
    return out;
}

long Stats::CallCount(const std::wstring& method) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = calls_.find(method);
    return found == calls_.end() ? 0 : found->second;
}

void Stats::Outstanding(long& objects, long& references, long& sinks) const {
    std::lock_guard<std::mutex> lock(mutex_);
    objects = static_cast<long>(objects_.size());
    references = 0;
    for (const auto& entry : objects_)
        references += entry.second.references;
    sinks = 0;
    for (const auto& entry : sinks_)
        sinks += entry.second;
}

long Stats::ObjectReferences(const std::wstring& namePrefix) const {
    std::lock_guard<std::mutex> lock(mutex_);
    long total = -1;
    for (const auto& entry : objects_)
        if (entry.second.name.compare(0, namePrefix.size(), namePrefix) == 0)
            total = (total < 0 ? 0 : total) + entry.second.references;
    return total;
}

std::wstring Stats::Report() const {
    long objects, references, sinks;
    Outstanding(objects, references, sinks);
    std::lock_guard<std::mutex> lock(mutex_);
    std::wostringstream out;
    out << L"server " << serverName_ << L"\n";
    out << L"outstanding objects=" << objects << L" references=" << references << L" sinks="
        << sinks << L"\n";
    for (const auto& entry : objects_)
        out << L"object " << entry.second.name << L" references=" << entry.second.references
            << L"\n";
    for (const auto& entry : sinks_)
        out << L"sink " << entry.first << L" held=" << entry.second << L"\n";
    for (const auto& entry : calls_)
        out << L"calls " << entry.first << L"=" << entry.second << L"\n";
    return out.str();
}

} // namespace opcsim
