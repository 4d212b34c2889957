// Values of the application-side provider: a double put into, or read from,
// the IAppValue that an owner (the provider or one of its phases) hands out.
// Provider calls are not tested: an absent value object is skipped.
#pragma once

#include "host/interfaces.h"
#include "platform/com.h"

template <class Owner>
void PutAppValue(Owner* owner, HRESULT (STDMETHODCALLTYPE Owner::*getter)(IAppValue**),
                 double value) {
    if (owner == nullptr)
        return;
    IAppValue* holder = nullptr;
    (owner->*getter)(&holder);
    if (holder == nullptr)
        return;
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    holder->put_Value(v);
    holder->Release();
}

// The value as a double: VT_R8, VT_R4 or VT_I4 values are converted, others
// (and an absent value) give 0.
template <class Owner>
double ReadAppValue(Owner* owner, HRESULT (STDMETHODCALLTYPE Owner::*getter)(IAppValue**)) {
    if (owner == nullptr)
        return 0.0;
    IAppValue* holder = nullptr;
    (owner->*getter)(&holder);
    if (holder == nullptr)
        return 0.0;
    VARIANT v;
    VariantInit(&v);
    holder->get_Value(&v);
    holder->Release();
    double result = 0.0;
    if (v.vt == VT_R8) {
        result = v.dblVal;
    } else if (v.vt == VT_R4) {
        result = v.fltVal;
    } else if (v.vt == VT_I4 || v.vt == VT_INT) {
        result = v.lVal;
    }
    VariantClear(&v);
    return result;
}
