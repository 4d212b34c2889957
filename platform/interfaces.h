// The base COM interfaces for builds without the Windows headers: IUnknown,
// IClassFactory, IDispatch, the GUID and category-info enumerators, and the
// component-category interfaces ICatRegister and ICatInformation, declared as
// C++ abstract classes whose virtual functions stand in the Windows vtable
// order, with their Windows interface identifiers.
//
// Include "platform/com.h" rather than this file.
#pragma once

#include "platform/oleauto.h"
#include "platform/win_types.h"

// clang-format off
DEFINE_GUID(IID_IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IDispatch, 0x00020400, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_ITypeInfo, 0x00020401, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_ITypeLib, 0x00020402, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IEnumGUID, 0x0002E000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IEnumCLSID, 0x0002E000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IEnumCATID, 0x0002E000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IEnumCATEGORYINFO, 0x0002E011, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_ICatRegister, 0x0002E012, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_ICatInformation, 0x0002E013, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(CLSID_StdComponentCategoriesMgr, 0x0002E005, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
// clang-format on

// Every COM interface derives from IUnknown. The three methods are the first
// three vtable slots; there is deliberately no virtual destructor (that would
// add a slot): objects delete themselves in Release.
struct IUnknown {
    // Returns in *ppvObject a pointer to the interface `riid` (AddRef'd) and
    // S_OK, or null and E_NOINTERFACE. E_POINTER when ppvObject is null.
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

struct IClassFactory : public IUnknown {
    // Creates an object and returns its interface `riid` in *ppvObject.
    // `pUnkOuter` is the controlling unknown when the object is created as
    // part of an aggregate (then riid must be IID_IUnknown), null otherwise;
    // classes that cannot be aggregated answer CLASS_E_NOAGGREGATION.
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                     void** ppvObject) = 0;
    // Keeps the server loaded (fLock TRUE) or releases that lock (FALSE).
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};
typedef IClassFactory* LPCLASSFACTORY;

// Type information is not provided by this runtime; these interfaces exist so
// that signatures mentioning them compile. A GetTypeInfo implementation off
// Windows answers E_NOTIMPL and a null pointer.
struct ITypeInfo : public IUnknown {};
struct ITypeLib : public IUnknown {};

struct IDispatch : public IUnknown {
    // *pctinfo = number of type-information interfaces (0 or 1).
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    // Maps cNames names (rgszNames[0] the member, the rest its parameters)
    // to cNames dispatch ids in rgDispId. Unknown names: DISPID_UNKNOWN and
    // DISP_E_UNKNOWNNAME.
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                                    LCID lcid, DISPID* rgDispId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid,
                                             WORD wFlags, DISPPARAMS* pDispParams,
                                             VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                             UINT* puArgErr) = 0;
};
typedef IDispatch* LPDISPATCH;

// Enumerator of GUIDs (classes or categories).
struct IEnumGUID : public IUnknown {
    // Copies up to `celt` GUIDs into rgelt[0..celt-1] (caller-owned storage
    // of at least celt GUIDs) and the number copied into *pceltFetched
    // (which may be null only when celt == 1). S_OK when celt were copied,
    // S_FALSE when fewer remained.
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, GUID* rgelt, ULONG* pceltFetched) = 0;
    // Skips `celt` items; S_FALSE when fewer remained.
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    // A new enumerator at the same position over the same items.
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumGUID** ppenum) = 0;
};
typedef IEnumGUID IEnumCLSID;
typedef IEnumGUID IEnumCATID;
typedef IEnumGUID* LPENUMGUID;
typedef IEnumGUID* LPENUMCLSID;
typedef IEnumGUID* LPENUMCATID;

typedef struct tagCATEGORYINFO {
    CATID catid;
    LCID lcid;
    OLECHAR szDescription[128];  // null-terminated, truncated to 127 characters
} CATEGORYINFO, *LPCATEGORYINFO;

// Enumerator of category descriptions (same contract as IEnumGUID::Next).
struct IEnumCATEGORYINFO : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, CATEGORYINFO* rgelt,
                                           ULONG* pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumCATEGORYINFO** ppenum) = 0;
};
typedef IEnumCATEGORYINFO* LPENUMCATEGORYINFO;

// Writes component categories and class-category links into the registry.
// Every array argument holds exactly the given count of entries and stays
// owned by the caller; a count of 0 is a no-op. Results: S_OK, E_POINTER /
// E_INVALIDARG for a null array with a nonzero count, or a registry failure
// as HRESULT_FROM_WIN32.
struct ICatRegister : public IUnknown {
    // Creates HKCR\Component Categories\{catid} with a value named by the
    // hex LCID ("409") holding the description, for each entry.
    virtual HRESULT STDMETHODCALLTYPE RegisterCategories(ULONG cCategories,
                                                         CATEGORYINFO rgCategoryInfo[]) = 0;
    // Removes HKCR\Component Categories\{catid} for each entry.
    virtual HRESULT STDMETHODCALLTYPE UnRegisterCategories(ULONG cCategories, CATID rgcatid[]) = 0;
    // Creates HKCR\CLSID\{clsid}\Implemented Categories\{catid} for each entry.
    virtual HRESULT STDMETHODCALLTYPE RegisterClassImplCategories(REFCLSID rclsid,
                                                                  ULONG cCategories,
                                                                  CATID rgcatid[]) = 0;
    // Removes those keys (and the parent key when it becomes empty).
    virtual HRESULT STDMETHODCALLTYPE UnRegisterClassImplCategories(REFCLSID rclsid,
                                                                    ULONG cCategories,
                                                                    CATID rgcatid[]) = 0;
    // As above, under "Required Categories".
    virtual HRESULT STDMETHODCALLTYPE RegisterClassReqCategories(REFCLSID rclsid, ULONG cCategories,
                                                                 CATID rgcatid[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE UnRegisterClassReqCategories(REFCLSID rclsid,
                                                                   ULONG cCategories,
                                                                   CATID rgcatid[]) = 0;
};

// Reads component categories from the registry.
struct ICatInformation : public IUnknown {
    // Enumerates all registered categories with their description in `lcid`.
    virtual HRESULT STDMETHODCALLTYPE EnumCategories(LCID lcid,
                                                     IEnumCATEGORYINFO** ppenumCategoryInfo) = 0;
    // The description of category `rcatid` for `lcid` into *pszDesc
    // (CoTaskMemAlloc'd, caller frees with CoTaskMemFree). When no value
    // for that exact LCID exists, one of the same primary language, then
    // any description, is returned. CAT_E_CATIDNOEXIST for an unknown
    // category, CAT_E_NODESCRIPTION when it has no description.
    virtual HRESULT STDMETHODCALLTYPE GetCategoryDesc(REFCATID rcatid, LCID lcid,
                                                      LPWSTR* pszDesc) = 0;
    // Enumerates the classes under HKCR\CLSID that implement ALL of the
    // cImplemented categories in rgcatidImpl, and whose required categories
    // all appear among the cRequired in rgcatidReq. A count of (ULONG)-1
    // disables that test (its array may then be null).
    virtual HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG cImplemented,
                                                              const CATID rgcatidImpl[],
                                                              ULONG cRequired,
                                                              const CATID rgcatidReq[],
                                                              IEnumGUID** ppenumClsid) = 0;
    // The same test for one class: S_OK when it passes, S_FALSE otherwise.
    virtual HRESULT STDMETHODCALLTYPE IsClassOfCategories(REFCLSID rclsid, ULONG cImplemented,
                                                          const CATID rgcatidImpl[],
                                                          ULONG cRequired,
                                                          const CATID rgcatidReq[]) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumImplCategoriesOfClass(REFCLSID rclsid,
                                                                IEnumGUID** ppenumCatid) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumReqCategoriesOfClass(REFCLSID rclsid,
                                                               IEnumGUID** ppenumCatid) = 0;
};
