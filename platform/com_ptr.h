// platform::ComPtr<T>: an owning smart pointer to a COM interface for our own
// layers (host, tests, command line). It holds one reference: AddRef when it
// takes a pointer it does not own, Release when it lets go.
//
//     platform::ComPtr<IClassFactory> factory;
//     HRESULT hr = CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr,
//                                   IID_IClassFactory, factory.put_void());
//     platform::ComPtr<IDispatch> disp;
//     hr = factory.QueryInterface(IID_IDispatch, &disp);
#pragma once

#include <cstddef>
#include <utility>

#ifdef _WIN32
#include <windows.h>

#include <ole2.h>
#else
#include "platform/interfaces.h"
#endif

namespace platform {

template <class T>
class ComPtr {
  public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Shares `p`: AddRef's it (p may be null).
    explicit ComPtr(T* p) noexcept : p_(p) {
        if (p_) {
            p_->AddRef();
        }
    }
    ComPtr(const ComPtr& other) noexcept : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }
    ~ComPtr() { Reset(); }

    ComPtr& operator=(const ComPtr& other) noexcept {
        if (other.p_ != p_) {
            ComPtr(other).Swap(*this);
        }
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        ComPtr(std::move(other)).Swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) noexcept {
        Reset();
        return *this;
    }

    // Takes ownership of the reference `p` carries (no AddRef).
    static ComPtr Adopt(T* p) noexcept {
        ComPtr c;
        c.p_ = p;
        return c;
    }

    T* Get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // Releases the current pointer and returns the address of the (now
    // null) slot, for an out-parameter that delivers an owned reference.
    T** put() noexcept {
        Reset();
        return &p_;
    }
    // The same address typed void**, for QueryInterface-style out-params.
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    // Releases the current pointer and takes ownership of `p` (no AddRef).
    void Attach(T* p) noexcept {
        Reset();
        p_ = p;
    }
    // Gives up ownership without Release and returns the pointer.
    T* Detach() noexcept {
        T* p = p_;
        p_ = nullptr;
        return p;
    }
    void Reset() noexcept {
        if (p_) {
            T* p = p_;
            p_ = nullptr;
            p->Release();
        }
    }
    void Swap(ComPtr& other) noexcept { std::swap(p_, other.p_); }

    // Queries the held object for `iid` into *out (released first). Returns
    // E_POINTER when this pointer is null or `out` is null, else the
    // object's answer.
    template <class U>
    HRESULT QueryInterface(REFIID iid, ComPtr<U>* out) const noexcept {
        if (!out) {
            return E_POINTER;
        }
        out->Reset();
        if (!p_) {
            return E_POINTER;
        }
        return p_->QueryInterface(iid, out->put_void());
    }

    // Hands an AddRef'd copy to an out-parameter. E_POINTER for null `out`.
    HRESULT CopyTo(T** out) const noexcept {
        if (!out) {
            return E_POINTER;
        }
        *out = p_;
        if (p_) {
            p_->AddRef();
        }
        return S_OK;
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
    friend bool operator!=(const ComPtr& a, const ComPtr& b) { return a.p_ != b.p_; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }
    friend bool operator!=(const ComPtr& a, std::nullptr_t) { return a.p_ != nullptr; }

  private:
    T* p_ = nullptr;
};

}  // namespace platform
