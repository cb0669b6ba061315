// Observability of one simulated server object and everything it created: calls counted per
// method, live objects with the references held on them, and client sinks held. Shared (by
// shared_ptr, never by a COM reference) by the server, its groups, enumerators and connection
// points, and by the IOpcSimStats objects that tests read it through.
#pragma once

#include <unknwn.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace opcsim {

class Tracked;
struct DuringCall;

class Stats {
public:
    explicit Stats(std::wstring serverName);
    ~Stats();
    Stats(const Stats&) = delete;
    Stats& operator=(const Stats&) = delete;

    // Returns how often the method was called now.
    long Count(const wchar_t* method);
    void ObjectCreated(const Tracked* object, const std::wstring& name);
    void ReferencesChanged(const void* object, long references);
    void ObjectDestroyed(const void* object);
    void SinkAdded(const std::wstring& what);
    void SinkRemoved(const std::wstring& what);

    long CallCount(const std::wstring& method) const;
    void Outstanding(long& objects, long& references, long& sinks) const;
    long ObjectReferences(const std::wstring& namePrefix) const; // -1 when none lives
    std::wstring Report() const;
    // A reference to every live object that is not on its way out, for the server to
    // disconnect them from their clients.
    std::vector<IUnknown*> AcquireLive() const;

    // When the environment names a directory in OPCSIM_REPORT_DIR, the report of every server
    // object is appended to <dir>\<ProgID>.txt once its last object is gone, and at the end of
    // the process for servers whose objects are still alive: a test that drives a client in
    // another program (the host) reads there whether the client released everything.
    static void WriteLeftoverReports();

    // What the server sends its clients from inside one of its calls (faults "during"): set by
    // the server object, run from Tracked::Enter by every object of it.
    using DuringHook = std::function<void(const DuringCall&)>;
    void SetDuringHook(DuringHook hook);
    void RunDuringHook(const DuringCall& call) const;

private:
    void WriteReport(const wchar_t* when) const;
    // The "released" report, once no object lives and no sink is held any more.
    void ReportWhenReleased(std::unique_lock<std::mutex>& lock);

    struct Live {
        const Tracked* object = nullptr;
        std::wstring name;
        long references = 0;
    };
    mutable std::mutex mutex_;
    std::wstring serverName_;
    std::map<std::wstring, long> calls_;
    std::map<const void*, Live> objects_;
    std::map<std::wstring, long> sinks_;
    bool reported_ = false;
    DuringHook during_;
};

} // namespace opcsim
