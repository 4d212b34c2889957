// Late binding of the utility's two dual interfaces through its type
// library. IPYRUtility's members have dispatch IDs below 100 and
// INotifyChange's from 101 on, so one IDispatch serves both. Where no
// type-library service exists (off Windows) every call answers E_NOTIMPL.
#pragma once

#include "host/interfaces.h"
#include "platform/com.h"

HRESULT UtilityGetTypeInfoCount(UINT* pctinfo);
HRESULT UtilityGetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo);
HRESULT UtilityGetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                             DISPID* rgDispId);
HRESULT UtilityInvoke(IPYRUtility* utility, INotifyChange* notify, DISPID dispIdMember, REFIID riid,
                      LCID lcid, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                      EXCEPINFO* pExcepInfo, UINT* puArgErr);
