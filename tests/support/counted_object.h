// A COM object of a test (a client sink, a wrapper that records calls, a malloc spy) with the
// one IUnknown every such object needs: its own interface and IUnknown, and a reference count
// that deletes it. It starts with the creator's reference, which MakeObject hands over.
#pragma once

#include <objbase.h>
#include <windows.h>
#include <wrl/client.h>

#include <utility>

namespace simtest {

template <class Interface> class CountedObject : public Interface {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(Interface))) {
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
    LONG References() const { return references_; }
    virtual ~CountedObject() = default;

protected:
    LONG references_ = 1; // the creator's
};

// A new object whose one reference the returned pointer holds.
template <class Object, class... Arguments>
Microsoft::WRL::ComPtr<Object> MakeObject(Arguments&&... arguments) {
    Object* created = new Object(std::forward<Arguments>(arguments)...);
    Microsoft::WRL::ComPtr<Object> object(created); // takes a reference of its own (so would
                                                    // mingw's Attach)
    created->Release();
    return object;
}

} // namespace simtest
