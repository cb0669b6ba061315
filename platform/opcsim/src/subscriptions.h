// The client sinks subscribed to one group (IOPCDataCallback connections and IDataObject stream
// subscriptions) and what they are sent. Shared by the group, its connection points, its own
// notifications (notifier.h) and sinks kept past a failed withdrawal, which may outlive one
// another in any order.
#pragma once

#include "sink_list.h"
#include "stats.h"

#include "opcda.h"

#include <atomic>
#include <memory>

namespace opcsim {

class Subscriptions {
public:
    Subscriptions(bool ownThreads, std::shared_ptr<Stats> stats, OPCHANDLE clientGroup,
                  bool active);
    Subscriptions(const Subscriptions&) = delete;
    Subscriptions& operator=(const Subscriptions&) = delete;

    // One IOPCDataCallback connection at a time, as a real server allows.
    const std::shared_ptr<SinkList>& Callbacks() const { return callbacks_; }
    // IAdviseSink subscriptions, each with its stream format.
    const std::shared_ptr<SinkList>& Streams() const { return streams_; }

    void SetClientGroup(OPCHANDLE handle) { clientGroup_ = handle; }
    OPCHANDLE ClientGroup() const { return clientGroup_; }
    void SetActive(bool active) { active_ = active; }
    bool Active() const { return active_; }

    // A data change to every subscriber: IOPCDataCallback::OnDataChange and an
    // "OPCSTMFORMATDATATIME" stream. Null qualities: all good; null errors: all succeeded.
    void SendDataChange(DWORD count, const OPCHANDLE* handles, const VARIANT* values,
                        const WORD* qualities, const HRESULT* errors);
    // IOPCDataCallback::OnWriteComplete and an "OPCSTMFORMATWRITECOMPLETE" stream.
    void SendWriteComplete(DWORD count, const OPCHANDLE* handles, const HRESULT* errors);
    // A stream of that format without items, to one subscription (ADVF_PRIMEFIRST).
    void SendEmptyStream(CLIPFORMAT format, DWORD cookie);
    // Notifications that break the rules, one of each kind, about an item of client handle
    // `handle`. Every "OPCSTMFORMATDATATIME" subscriber gets the malformed streams of stream.h
    // and a medium without memory, counted as "IAdviseSink::OnDataChange (malformed)". Every
    // IOPCDataCallback connection gets, counted as "<method> (mismatched)": OnDataChange with a
    // count and no arrays (only a sink called without a marshaller, which would refuse it: an
    // in-process server bound to its apartment), OnDataChange for a group the client never
    // made with a failed item, OnReadComplete and OnCancelComplete of a transaction it never
    // started, and OnWriteComplete with failures of items it never wrote.
    void SendMalformed(OPCHANDLE handle);

    // What a sink kept past a failed withdrawal gets later: a data change without items.
    SinkList::Call LateCallbackCall() const;
    SinkList::Call LateStreamCall() const;

    void Clear();

private:
    void SendStream(CLIPFORMAT format, DWORD onlyCookie, DWORD count, const OPCHANDLE* handles,
                    const VARIANT* values, const WORD* qualities, const HRESULT* errors);

    std::shared_ptr<Stats> stats_;
    std::shared_ptr<SinkList> callbacks_;
    std::shared_ptr<SinkList> streams_;
    const bool ownThreads_;
    std::atomic<OPCHANDLE> clientGroup_;
    std::atomic<bool> active_;
};

} // namespace opcsim
