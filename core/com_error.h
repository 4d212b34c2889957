// The error raised inside the utility when a tested host call fails. It
// carries the failing HRESULT up to the interface method, which turns it into
// its return value; it never crosses a COM boundary.
#pragma once

#include "platform/com.h"

class CPYCOMError {
  public:
    explicit CPYCOMError(HRESULT hr) : hr_(hr) {}
    HRESULT Result() const { return hr_; }

  private:
    HRESULT hr_;
};

// Raises CPYCOMError when hr is negative (a failed query or call).
inline void CheckFailed(HRESULT hr) {
    if (FAILED(hr))
        throw CPYCOMError(hr);
}

// Raises CPYCOMError when hr is anything but S_OK.
inline void CheckOk(HRESULT hr) {
    if (hr != S_OK)
        throw CPYCOMError(hr);
}

// Releases *p if held and nulls it.
template <class T>
inline void SafeRelease(T*& p) {
    if (p != nullptr) {
        p->Release();
        p = nullptr;
    }
}
