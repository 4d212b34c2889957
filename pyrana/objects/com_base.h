// Building blocks shared by the reference host's COM objects (pyrana/objects
// and pyrana/app): reference counting with live-object accounting, the
// IDispatch methods of objects that carry no type information, interface
// offers for QueryInterface, and HostCall, the wrapper every interface
// method runs its body through (fault-injection hook first, then the body
// with every exception turned into an HRESULT so that none crosses the COM
// boundary).
#pragma once

#include <new>
#include <utility>

#include "platform/com.h"
#include "pyrana/objects/fault_injection.h"

namespace pyrana::objects {

// Runs `body` (returning an HRESULT) as host call `operation`: an injected
// failure is returned without running it; std::bad_alloc gives E_OUTOFMEMORY
// and any other exception E_FAIL.
template <class Body>
HRESULT HostCall(const char* operation, Body&& body) noexcept {
    const HRESULT injected = detail::EnterHostCall(operation);
    if (FAILED(injected)) {
        return injected;
    }
    const detail::ProfiledHostCall profiled(operation);
    try {
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// Hands out `p` as interface `iid` when it matches `riid`: AddRef and S_OK.
template <class I>
bool Offer(REFIID riid, REFIID iid, I* p, void** ppv) {
    if (!IsEqualIID(riid, iid)) {
        return false;
    }
    *ppv = p;
    p->AddRef();
    return true;
}

// Writes a new reference of `p` (may be null) to *out; E_POINTER for null out.
template <class I, class T>
HRESULT HandOut(T* p, I** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = p;
    if (p != nullptr) {
        p->AddRef();
    }
    return S_OK;
}

// Creates a COM object of class T with one reference held by the result.
template <class T, class... Args>
platform::ComPtr<T> MakeObject(Args&&... args) {
    return platform::ComPtr<T>::Adopt(new T(std::forward<Args>(args)...));
}

}  // namespace pyrana::objects

// AddRef/Release of a class with a `ULONG refs_ = 1` member and deleting
// itself on the last Release (the creator holds the first reference).
#define PYR_REFCOUNTED                           \
    ULONG STDMETHODCALLTYPE AddRef() override {  \
        return ++refs_;                          \
    }                                            \
    ULONG STDMETHODCALLTYPE Release() override { \
        const ULONG left = --refs_;              \
        if (left == 0) {                         \
            delete this;                         \
        }                                        \
        return left;                             \
    }

// The four IDispatch methods of an object without type information: no
// type info, no late-bound calls (callers use the vtable).
#define PYR_NO_TYPEINFO_DISPATCH                                                               \
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {                         \
        if (count == nullptr) {                                                                \
            return E_POINTER;                                                                  \
        }                                                                                      \
        *count = 0;                                                                            \
        return S_OK;                                                                           \
    }                                                                                          \
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {             \
        if (info != nullptr) {                                                                 \
            *info = nullptr;                                                                   \
        }                                                                                      \
        return E_NOTIMPL;                                                                      \
    }                                                                                          \
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { \
        return E_NOTIMPL;                                                                      \
    }                                                                                          \
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,        \
                                     EXCEPINFO*, UINT*) override {                             \
        return E_NOTIMPL;                                                                      \
    }
