#include "sink_list.h"

#include "ticker.h"

#include <objidl.h>
#include <olectl.h>

namespace opcsim {
namespace {

IGlobalInterfaceTable* GlobalTable() {
    IGlobalInterfaceTable* table = nullptr;
    if (FAILED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&table))))
        return nullptr;
    return table;
}

// Calls each sink from this thread of the multithreaded apartment: a sink received there is
// used as it is, one received in a single-threaded apartment through the global interface
// table (a proxy into that apartment).
void CallFromMultithreaded(REFIID iid, const std::vector<SinkEntry>& entries,
                           const SinkList::Call& fn) {
    IGlobalInterfaceTable* table = GlobalTable();
    for (const SinkEntry& entry : entries) {
        IUnknown* sink = entry.direct;
        if (sink)
            sink->AddRef();
        else if (!table || FAILED(table->GetInterfaceFromGlobal(entry.globalCookie, iid,
                                                                reinterpret_cast<void**>(&sink))))
            sink = nullptr; // withdrawn meanwhile
        if (sink) {
            try {
                fn(sink, entry);
            } catch (...) {
            }
            sink->Release();
        }
    }
    if (table)
        table->Release();
}

struct WorkerJob {
    IID iid;
    std::vector<SinkEntry> entries;
    const SinkList::Call* fn;
};

DWORD WINAPI Worker(void* parameter) {
    auto* job = static_cast<WorkerJob*>(parameter);
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        CallFromMultithreaded(job->iid, job->entries, *job->fn);
        CoUninitialize();
    }
    return 0;
}

// Waits for a handle; an apartment thread keeps serving calls meanwhile (the worker's calls may
// come back to it).
void WaitPumping(HANDLE handle) {
    DWORD index = 0;
    HRESULT hr = CoWaitForMultipleHandles(0, INFINITE, 1, &handle, &index);
    if (hr == CO_E_NOTINITIALIZED || hr == RPC_E_WRONG_THREAD || FAILED(hr))
        WaitForSingleObject(handle, INFINITE);
}

} // namespace

SinkList::SinkList(REFIID iid, bool ownThreads, std::shared_ptr<Stats> stats, std::wstring what,
                   size_t limit)
    : iid_(iid), ownThreads_(ownThreads), stats_(std::move(stats)), what_(std::move(what)),
      limit_(limit) {}

SinkList::~SinkList() {
    Clear();
}

HRESULT SinkList::Add(IUnknown* sink, CLIPFORMAT format, DWORD* cookie) {
    if (!sink || !cookie)
        return E_POINTER;
    *cookie = 0;
    if (limit_ && Count() >= limit_)
        return CONNECT_E_ADVISELIMIT;
    SinkEntry entry;
    entry.format = format;
    IUnknown* typed = nullptr;
    if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(&typed))) || !typed)
        return CONNECT_E_CANNOTCONNECT;
    // A sink received in the multithreaded apartment can be called from any of its threads;
    // one received in a single-threaded apartment only through the global interface table.
    if (ownThreads_ && !InMultithreadedApartment()) {
        IGlobalInterfaceTable* table = GlobalTable();
        HRESULT hr =
            table ? table->RegisterInterfaceInGlobal(typed, iid_, &entry.globalCookie) : E_FAIL;
        if (table)
            table->Release();
        typed->Release();
        if (FAILED(hr))
            return CONNECT_E_CANNOTCONNECT;
    } else {
        entry.direct = typed;
    }
    bool full;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        full = limit_ && entries_.size() >= limit_; // another one came in meanwhile
        if (!full) {
            entry.cookie = nextCookie_++;
            entries_.push_back(entry);
        }
    }
    stats_->SinkAdded(what_);
    if (full) {
        Drop(entry);
        return CONNECT_E_ADVISELIMIT;
    }
    *cookie = entry.cookie;
    return S_OK;
}

void SinkList::Drop(SinkEntry& entry) {
    if (entry.direct)
        entry.direct->Release();
    if (entry.globalCookie) {
        if (IGlobalInterfaceTable* table = GlobalTable()) {
            table->RevokeInterfaceFromGlobal(entry.globalCookie);
            table->Release();
        }
    }
    stats_->SinkRemoved(what_);
}

HRESULT SinkList::Remove(DWORD cookie) {
    SinkEntry removed;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = entries_.begin();
        while (it != entries_.end() && it->cookie != cookie)
            ++it;
        if (it == entries_.end())
            return CONNECT_E_NOCONNECTION;
        removed = *it;
        entries_.erase(it);
    }
    Drop(removed);
    return S_OK;
}

size_t SinkList::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
}

void SinkList::Clear() {
    std::vector<SinkEntry> all;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        all.swap(entries_);
    }
    for (SinkEntry& entry : all)
        Drop(entry);
}

std::vector<SinkEntry> SinkList::Copy(DWORD onlyCookie) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<SinkEntry> out;
    for (const SinkEntry& entry : entries_) {
        if (onlyCookie && entry.cookie != onlyCookie)
            continue;
        out.push_back(entry);
        if (out.back().direct)
            out.back().direct->AddRef();
    }
    return out;
}

bool SinkList::HasFormat(CLIPFORMAT format) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const SinkEntry& entry : entries_)
        if (entry.format == format)
            return true;
    return false;
}

void SinkList::Deliver(const Call& fn, DWORD onlyCookie) {
    std::vector<SinkEntry> entries = Copy(onlyCookie);
    if (entries.empty())
        return;
    if (!ownThreads_) {
        for (SinkEntry& entry : entries) {
            fn(entry.direct, entry);
            entry.direct->Release();
        }
        return;
    }
    if (InMultithreadedApartment()) { // the server's own thread
        CallFromMultithreaded(iid_, entries, fn);
        for (SinkEntry& entry : entries)
            if (entry.direct)
                entry.direct->Release();
        return;
    }
    WorkerJob job{iid_, entries, &fn};
    HANDLE thread = CreateThread(nullptr, 0, Worker, &job, 0, nullptr);
    if (thread) {
        WaitPumping(thread);
        CloseHandle(thread);
    }
    for (SinkEntry& entry : entries)
        if (entry.direct)
            entry.direct->Release();
}

bool SinkList::KeepAndCallLater(DWORD cookie, DWORD afterMs, Call fn) {
    SinkEntry kept;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = entries_.begin();
        while (it != entries_.end() && it->cookie != cookie)
            ++it;
        if (it == entries_.end())
            return false;
        kept = *it;
        entries_.erase(it);
    }
    // Still counted as held until it is let go.
    std::shared_ptr<SinkList> self = shared_from_this();
    const bool scheduled = Ticker::Once(ownThreads_, afterMs, [self, kept, fn]() mutable {
        if (kept.direct) {
            try {
                fn(kept.direct, kept);
            } catch (...) {
            }
        } else {
            CallFromMultithreaded(self->iid_, {kept}, fn);
        }
        self->Drop(kept);
    });
    if (!scheduled)
        Drop(kept);
    return true;
}

} // namespace opcsim
