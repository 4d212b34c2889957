// IUnknown for COM classes that implement one interface.
//
// SingleInterfaceObject<I> answers QueryInterface for IUnknown and for one
// IID given at construction (so one template also serves an interface chosen
// at run time, such as an enumerator's), counts references atomically and
// deletes the object on the last Release. The creator holds the first
// reference.
//
//     class Factory final : public platform::SingleInterfaceObject<IClassFactory> {
//       public:
//         Factory() : SingleInterfaceObject(IID_IClassFactory) {}
//         ... the interface's own methods ...
//     };
#pragma once

#include <atomic>

#include "platform/com.h"

namespace platform {

template <class Interface>
class SingleInterfaceObject : public Interface {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, iid_)) {
            *ppv = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG n = --refs_;
        if (n == 0) {
            delete this;
        }
        return n;
    }

    // The current reference count (for tests that check every reference is
    // released).
    ULONG refs() const { return refs_; }

  protected:
    explicit SingleInterfaceObject(REFIID iid) : iid_(iid) {}
    virtual ~SingleInterfaceObject() = default;

    // The interface's IID as given at construction.
    const IID& InterfaceId() const { return iid_; }

  private:
    const IID iid_;
    std::atomic<ULONG> refs_{1};
};

}  // namespace platform
