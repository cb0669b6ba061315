// The one way to write a COM object in this plug-in: derive from ComObject<Interfaces...>,
// implement the interfaces' own methods, and create it with MakeComObject.
//
// - QueryInterface answers IUnknown and each listed interface with the object itself (one
//   AddRef), anything else with E_NOINTERFACE and a null pointer, a null out pointer with
//   E_POINTER.
// - The count changes atomically: a server may release us from a thread of its own.
// - The count starts at 0 and MakeComObject's ComPtr takes the first reference, so the creator
//   holds exactly one; the object deletes itself with the last Release.
// - While an object lives it keeps the module loaded (entry/module_keep_alive.h).
// - No exception may leave a COM method: the methods of a derived class catch what they may
//   throw and turn it into their result.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include <utility>

#include "entry/module_keep_alive.h"

namespace pelorin {

template <typename Primary, typename... Others> class ComObject : public Primary, public Others... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) noexcept override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown))
            *object = static_cast<IUnknown*>(static_cast<Primary*>(this));
        else
            (Answer<Primary>(iid, object) || ... || Answer<Others>(iid, object));
        if (!*object)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override {
        return static_cast<ULONG>(InterlockedIncrement(&references_));
    }
    STDMETHODIMP_(ULONG) Release() noexcept override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

protected:
    ComObject() { ThisModule().ObjectCreated(); }
    virtual ~ComObject() { ThisModule().ObjectDestroyed(); }

private:
    template <typename Interface> bool Answer(REFIID iid, void** object) noexcept {
        if (!IsEqualIID(iid, __uuidof(Interface)))
            return false;
        *object = static_cast<Interface*>(this);
        return true;
    }

    volatile LONG references_ = 0;
};

// Creates a COM object; the returned pointer holds its first and only reference. Throws
// std::bad_alloc like make_unique: callers are C++ code, not COM methods.
template <typename T, typename... Args> Microsoft::WRL::ComPtr<T> MakeComObject(Args&&... args) {
    return Microsoft::WRL::ComPtr<T>(new T(std::forward<Args>(args)...));
}

} // namespace pelorin
