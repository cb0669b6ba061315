#include "stats.h"

#include <sstream>

namespace opcsim {

void Stats::Count(const wchar_t* method) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++calls_[method];
}

void Stats::ObjectCreated(const void* object, const std::wstring& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    objects_[object] = Live{name, 0};
}

void Stats::ReferencesChanged(const void* object, long references) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = objects_.find(object);
    if (found != objects_.end())
        found->second.references = references;
}

void Stats::ObjectDestroyed(const void* object) {
    std::lock_guard<std::mutex> lock(mutex_);
    objects_.erase(object);
}

void Stats::SinkAdded(const std::wstring& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++sinks_[what];
}

void Stats::SinkRemoved(const std::wstring& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (--sinks_[what] == 0)
        sinks_.erase(what);
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
