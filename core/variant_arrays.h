// Reading and making VARIANTs that hold a one-dimensional array of doubles
// (VT_ARRAY | VT_R8), as the application-side provider takes and hands out
// compositions and ln fugacities.
#pragma once

#include <cstdint>

#include "platform/com.h"

// Copies the first elements of the array in `v`, at most `n`, into out[0..];
// returns how many were copied (0 when `v` holds no array or it cannot be
// read). The rest of `out` is left alone.
inline int32_t CopyArrayValues(const VARIANT& v, double* out, int32_t n) {
    if ((v.vt & VT_ARRAY) == 0 || v.parray == nullptr)
        return 0;
    LONG lo = 0;
    LONG hi = -1;
    SafeArrayGetLBound(v.parray, 1, &lo);
    SafeArrayGetUBound(v.parray, 1, &hi);
    double* data = nullptr;
    if (FAILED(SafeArrayAccessData(v.parray, reinterpret_cast<void**>(&data))))
        return 0;
    int32_t copied = 0;
    for (LONG i = 0; i <= hi - lo && copied < n; ++i)
        out[copied++] = data[i];
    SafeArrayUnaccessData(v.parray);
    return copied;
}

// A VARIANT owning a copy of n doubles as a VT_ARRAY | VT_R8 array with lower
// bound 0 (empty, VT_EMPTY, when the array cannot be made); cleared on
// destruction.
class DoubleArrayVariant {
  public:
    DoubleArrayVariant(const double* values, int32_t n) {
        VariantInit(&v_);
        SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(n));
        double* data = nullptr;
        if (array == nullptr)
            return;
        if (FAILED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)))) {
            SafeArrayDestroy(array);
            return;
        }
        for (int32_t i = 0; i < n; ++i)
            data[i] = values[i];
        SafeArrayUnaccessData(array);
        v_.vt = VT_ARRAY | VT_R8;
        v_.parray = array;
    }
    ~DoubleArrayVariant() { VariantClear(&v_); }
    DoubleArrayVariant(const DoubleArrayVariant&) = delete;
    DoubleArrayVariant& operator=(const DoubleArrayVariant&) = delete;

    VARIANT& get() { return v_; }

  private:
    VARIANT v_;
};
