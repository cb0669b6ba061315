// IUnknown for the simulator's small objects that offer one interface: QueryInterface for that
// interface and IUnknown, an interlocked count, and deletion with the last reference.
#pragma once

#include <ole2.h>
#include <windows.h>

namespace opcsim {

template <class Interface, const IID& kIid> class SingleInterface : public Interface {
public:
    SingleInterface(const SingleInterface&) = delete;
    SingleInterface& operator=(const SingleInterface&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIid)) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = InterlockedDecrement(&references_);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }

protected:
    SingleInterface() = default;
    virtual ~SingleInterface() = default;

private:
    LONG references_ = 0;
};

} // namespace opcsim
