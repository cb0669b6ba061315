// The client sinks subscribed at one connection point or data object, and their delivery.
// A server bound to its apartment calls them directly on the calling thread. A server with
// threads of its own ("Both", "Free") calls them from a worker thread of the multithreaded
// apartment: a sink that arrived in a single-threaded apartment goes through the global
// interface table, which marshals it; that needs the sink's proxy/stub, without which the
// subscription fails with CONNECT_E_CANNOTCONNECT as on Windows.
#pragma once

#include "stats.h"

#include <ole2.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace opcsim {

struct SinkEntry {
    DWORD cookie = 0;
    IUnknown* direct = nullptr; // one reference, when the sink is called without the table
    DWORD globalCookie = 0;     // the sink in the global interface table
    CLIPFORMAT format = 0;      // DAdvise: the stream format subscribed
};

class SinkList : public std::enable_shared_from_this<SinkList> {
public:
    // limit: how many sinks it takes at once (0: any number); one more is refused with
    // CONNECT_E_ADVISELIMIT.
    SinkList(REFIID iid, bool ownThreads, std::shared_ptr<Stats> stats, std::wstring what,
             size_t limit = 0);
    ~SinkList();
    SinkList(const SinkList&) = delete;
    SinkList& operator=(const SinkList&) = delete;

    // Queries the sink for the list's interface and keeps it.
    HRESULT Add(IUnknown* sink, CLIPFORMAT format, DWORD* cookie);
    HRESULT Remove(DWORD cookie); // CONNECT_E_NOCONNECTION for an unknown cookie
    size_t Count() const;
    bool HasFormat(CLIPFORMAT format) const;
    void Clear();

    // Calls fn(sink, entry) for every sink (or only the one with the given cookie) and returns
    // when all were called.
    using Call = std::function<void(IUnknown* sink, const SinkEntry& entry)>;
    void Deliver(const Call& fn, DWORD onlyCookie = 0);

    // Takes the sink out of the list without letting it go; afterMs later it is called once
    // with fn (on the server's clock, see ticker.h) and then released. False for an unknown
    // cookie.
    bool KeepAndCallLater(DWORD cookie, DWORD afterMs, Call fn);

private:
    std::vector<SinkEntry> Copy(DWORD onlyCookie) const;
    void Drop(SinkEntry& entry);

    const IID iid_;
    const bool ownThreads_;
    std::shared_ptr<Stats> stats_;
    const std::wstring what_;
    const size_t limit_;
    mutable std::mutex mutex_;
    std::vector<SinkEntry> entries_;
    DWORD nextCookie_ = 1;
};

} // namespace opcsim
