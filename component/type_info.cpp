// Late binding through the module's type library (resource TYPELIB 1).
#include "component/type_info.h"

#include "component/module.h"

#ifdef _WIN32

namespace {
const DISPID kFirstNotifyDispId = 100;

// The type information of both interfaces, loaded once from the module.
struct TypeInfos {
    ITypeInfo* utility = nullptr;
    ITypeInfo* notify = nullptr;
    HRESULT status = E_FAIL;
};

TypeInfos& Loaded() {
    static TypeInfos infos = [] {
        TypeInfos t;
        ITypeLib* lib = nullptr;
        t.status = LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &lib);
        if (FAILED(t.status))
            return t;
        t.status = lib->GetTypeInfoOfGuid(IID_IPYRUtility, &t.utility);
        if (SUCCEEDED(t.status))
            t.status = lib->GetTypeInfoOfGuid(IID_INotifyChange, &t.notify);
        lib->Release();
        return t;
    }();
    return infos;
}
}  // namespace

HRESULT UtilityGetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo == nullptr)
        return E_POINTER;
    *pctinfo = 1;
    return S_OK;
}

HRESULT UtilityGetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo == nullptr)
        return E_POINTER;
    *ppTInfo = nullptr;
    if (iTInfo != 0)
        return DISP_E_BADINDEX;
    TypeInfos& t = Loaded();
    if (FAILED(t.status))
        return t.status;
    t.utility->AddRef();
    *ppTInfo = t.utility;
    return S_OK;
}

HRESULT UtilityGetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
    TypeInfos& t = Loaded();
    if (FAILED(t.status))
        return t.status;
    HRESULT hr = t.utility->GetIDsOfNames(rgszNames, cNames, rgDispId);
    if (hr == DISP_E_UNKNOWNNAME)
        hr = t.notify->GetIDsOfNames(rgszNames, cNames, rgDispId);
    return hr;
}

HRESULT UtilityInvoke(IPYRUtility* utility, INotifyChange* notify, DISPID dispIdMember, REFIID,
                      LCID, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                      EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    TypeInfos& t = Loaded();
    if (FAILED(t.status))
        return t.status;
    if (dispIdMember > kFirstNotifyDispId) {
        return t.notify->Invoke(notify, dispIdMember, wFlags, pDispParams, pVarResult, pExcepInfo,
                                puArgErr);
    }
    return t.utility->Invoke(utility, dispIdMember, wFlags, pDispParams, pVarResult, pExcepInfo,
                             puArgErr);
}

#else

HRESULT UtilityGetTypeInfoCount(UINT* pctinfo) {
    if (pctinfo != nullptr)
        *pctinfo = 0;
    return E_NOTIMPL;
}

HRESULT UtilityGetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo != nullptr)
        *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT UtilityGetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}

HRESULT UtilityInvoke(IPYRUtility*, INotifyChange*, DISPID, REFIID, LCID, WORD, DISPPARAMS*,
                      VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

#endif
