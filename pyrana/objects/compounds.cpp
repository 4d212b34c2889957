// The compound collection and compounds of the reference host.
#include "pyrana/objects/host_objects.h"

namespace pyrana::objects {

HRESULT CompoundCollection::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (Offer(riid, IID_IUnknown, this, ppv) || Offer(riid, IID_IDispatch, this, ppv) ||
        Offer(riid, IID_ICompoundCollection, this, ppv)) {
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT CompoundCollection::get_Compound(LONG nIndex, IDispatch** compound) {
    return HostCall("ICompoundCollection::get_Compound", [&] {
        if (compound == nullptr) {
            return E_POINTER;
        }
        *compound = nullptr;
        if (nIndex < 0 || nIndex >= state_->nc()) {
            return E_INVALIDARG;
        }
        auto object = MakeObject<CompoundObject>(state_, static_cast<int>(nIndex));
        *compound = static_cast<IBasicCompound*>(object.Detach());
        return S_OK;
    });
}

HRESULT CompoundCollection::get_NumberOfCompounds(LONG* count) {
    return HostCall("ICompoundCollection::get_NumberOfCompounds", [&] {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = state_->nc();
        return S_OK;
    });
}

HRESULT CompoundObject::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (Offer(riid, IID_IUnknown, static_cast<IBasicCompound*>(this), ppv) ||
        Offer(riid, IID_IDispatch, static_cast<IBasicCompound*>(this), ppv) ||
        Offer(riid, IID_IBasicCompound, static_cast<IBasicCompound*>(this), ppv) ||
        Offer(riid, IID_ICompoundID, static_cast<ICompoundID*>(this), ppv) ||
        Offer(riid, IID_ICompoundFamily, static_cast<ICompoundFamily*>(this), ppv)) {
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT CompoundObject::TC(double, double, tagExtrapolationEnum, double* value) {
    return HostCall("IBasicCompound::TC", [&] {
        if (value == nullptr) {
            return E_POINTER;
        }
        *value = compound().tc;
        return S_OK;
    });
}

HRESULT CompoundObject::PC(double, double, tagExtrapolationEnum, double* value) {
    return HostCall("IBasicCompound::PC", [&] {
        if (value == nullptr) {
            return E_POINTER;
        }
        *value = compound().pc;
        return S_OK;
    });
}

HRESULT CompoundObject::get_Name(BSTR* name) {
    return HostCall("IBasicCompound::get_Name", [&] {
        if (name == nullptr) {
            return E_POINTER;
        }
        *name = platform::Bstr(compound().name).Detach();
        return *name != nullptr ? S_OK : E_OUTOFMEMORY;
    });
}

HRESULT CompoundObject::get_ID(int* id) {
    return HostCall("ICompoundID::get_ID", [&] {
        if (id == nullptr) {
            return E_POINTER;
        }
        *id = compound().id;
        return S_OK;
    });
}

HRESULT CompoundObject::get_Family(int* family) {
    return HostCall("ICompoundFamily::get_Family", [&] {
        if (family == nullptr) {
            return E_POINTER;
        }
        *family = compound().family;
        return S_OK;
    });
}

}  // namespace pyrana::objects
