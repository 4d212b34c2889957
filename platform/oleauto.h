// Automation data types for builds without the Windows headers: BSTR, VARIANT,
// SAFEARRAY, DISPPARAMS and EXCEPINFO, with the Windows names, layout idea and
// ownership rules.
//
// BSTR: a pointer to the first character of a length-prefixed string. The
// 4 bytes before it hold the length in bytes (excluding the terminator); the
// characters are followed by one null OLECHAR. Embedded nulls are allowed, so
// the length, not the terminator, is authoritative. A null BSTR is the empty
// string for every function here.
//
// SAFEARRAY: arrays of one dimension are supported (SafeArrayCreate with more
// dimensions returns null). Element ownership follows Windows: an array of
// VT_BSTR owns its strings, VT_VARIANT its variants, VT_UNKNOWN/VT_DISPATCH
// hold one reference per element; SafeArrayDestroy frees or releases them.
//
// Include "platform/com.h" rather than this file.
#pragma once

#include "platform/win_types.h"

struct IUnknown;
struct IDispatch;

// ---------------------------------------------------------------------------
// BSTR
// ---------------------------------------------------------------------------
extern "C" {

// Allocates a BSTR holding a copy of the null-terminated string `psz`.
// Null `psz` returns null. The caller owns the result (SysFreeString).
BSTR SysAllocString(const OLECHAR* psz);

// Allocates a BSTR of `ui` characters. When `pch` is not null, `ui`
// characters are copied from it (embedded nulls included, no terminator
// needed); when it is null, the characters are zero. A terminating null is
// always appended. Returns null when out of memory. The caller owns it.
BSTR SysAllocStringLen(const OLECHAR* pch, UINT ui);

// Allocates a BSTR from `len` raw bytes of `psz` (null: zero bytes), so that
// SysStringByteLen returns `len`; used for byte payloads in a BSTR.
BSTR SysAllocStringByteLen(LPCSTR psz, UINT len);

// Replaces *pbstr by a copy of the null-terminated `psz`, freeing the old
// string. Returns TRUE on success, FALSE (and leaves *pbstr) when out of
// memory. `pbstr` must not be null.
INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz);

// As SysReAllocString with `len` characters of `psz` (null: zeros).
INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len);

// Frees a BSTR; null is accepted and ignored.
void SysFreeString(BSTR bstr);

// Number of characters (embedded nulls counted, terminator not); 0 for null.
UINT SysStringLen(BSTR bstr);

// Number of bytes (SysStringLen * sizeof(OLECHAR) for strings made from
// characters); 0 for null.
UINT SysStringByteLen(BSTR bstr);

}  // extern "C"

// ---------------------------------------------------------------------------
// SAFEARRAY
// ---------------------------------------------------------------------------
typedef struct tagSAFEARRAYBOUND {
    ULONG cElements;  // number of elements in the dimension
    LONG lLbound;     // index of the first element
} SAFEARRAYBOUND, *LPSAFEARRAYBOUND;

typedef struct tagSAFEARRAY {
    USHORT cDims;      // number of dimensions (always 1 here)
    USHORT fFeatures;  // FADF_* flags
    ULONG cbElements;  // size of one element in bytes
    ULONG cLocks;      // lock count (SafeArrayLock / AccessData)
    PVOID pvData;      // the elements, contiguous
    SAFEARRAYBOUND rgsabound[1];
} SAFEARRAY, *LPSAFEARRAY;

#define FADF_AUTO 0x0001
#define FADF_STATIC 0x0002
#define FADF_EMBEDDED 0x0004
#define FADF_FIXEDSIZE 0x0010
#define FADF_RECORD 0x0020
#define FADF_HAVEIID 0x0040
#define FADF_HAVEVARTYPE 0x0080
#define FADF_BSTR 0x0100
#define FADF_UNKNOWN 0x0200
#define FADF_DISPATCH 0x0400
#define FADF_VARIANT 0x0800

// ---------------------------------------------------------------------------
// VARIANT
// ---------------------------------------------------------------------------
enum VARENUM {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_RESERVED = 0x8000,
    VT_ILLEGAL = 0xffff,
    VT_ILLEGALMASKED = 0x0fff,
    VT_TYPEMASK = 0x0fff,
};

struct tagVARIANT;
typedef tagVARIANT VARIANT;
typedef tagVARIANT VARIANTARG;
typedef VARIANT* LPVARIANT;
typedef VARIANT* LPVARIANTARG;

struct tagVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;          // VT_I8
        LONG lVal;               // VT_I4
        BYTE bVal;               // VT_UI1
        SHORT iVal;              // VT_I2
        FLOAT fltVal;            // VT_R4
        DOUBLE dblVal;           // VT_R8
        VARIANT_BOOL boolVal;    // VT_BOOL
        SCODE scode;             // VT_ERROR
        DATE date;               // VT_DATE
        BSTR bstrVal;            // VT_BSTR (owned)
        IUnknown* punkVal;       // VT_UNKNOWN (one reference held)
        IDispatch* pdispVal;     // VT_DISPATCH (one reference held)
        SAFEARRAY* parray;       // VT_ARRAY | VT_xx (owned)
        BYTE* pbVal;             // VT_BYREF | VT_UI1
        SHORT* piVal;            // VT_BYREF | VT_I2
        LONG* plVal;             // VT_BYREF | VT_I4
        LONGLONG* pllVal;        // VT_BYREF | VT_I8
        FLOAT* pfltVal;          // VT_BYREF | VT_R4
        DOUBLE* pdblVal;         // VT_BYREF | VT_R8
        VARIANT_BOOL* pboolVal;  // VT_BYREF | VT_BOOL
        SCODE* pscode;           // VT_BYREF | VT_ERROR
        DATE* pdate;             // VT_BYREF | VT_DATE
        BSTR* pbstrVal;          // VT_BYREF | VT_BSTR
        IUnknown** ppunkVal;     // VT_BYREF | VT_UNKNOWN
        IDispatch** ppdispVal;   // VT_BYREF | VT_DISPATCH
        SAFEARRAY** pparray;     // VT_BYREF | VT_ARRAY
        VARIANT* pvarVal;        // VT_BYREF | VT_VARIANT
        PVOID byref;             // any VT_BYREF
        CHAR cVal;               // VT_I1
        USHORT uiVal;            // VT_UI2
        ULONG ulVal;             // VT_UI4
        ULONGLONG ullVal;        // VT_UI8
        INT intVal;              // VT_INT
        UINT uintVal;            // VT_UINT
        CHAR* pcVal;             // VT_BYREF | VT_I1
        USHORT* puiVal;          // VT_BYREF | VT_UI2
        ULONG* pulVal;           // VT_BYREF | VT_UI4
        ULONGLONG* pullVal;      // VT_BYREF | VT_UI8
        INT* pintVal;            // VT_BYREF | VT_INT
        UINT* puintVal;          // VT_BYREF | VT_UINT
    };
};

#define V_VT(X) ((X)->vt)
#define V_ISBYREF(X) (V_VT(X) & VT_BYREF)
#define V_ISARRAY(X) (V_VT(X) & VT_ARRAY)
#define V_UI1(X) ((X)->bVal)
#define V_I2(X) ((X)->iVal)
#define V_I4(X) ((X)->lVal)
#define V_I8(X) ((X)->llVal)
#define V_INT(X) ((X)->intVal)
#define V_UINT(X) ((X)->uintVal)
#define V_UI4(X) ((X)->ulVal)
#define V_R4(X) ((X)->fltVal)
#define V_R8(X) ((X)->dblVal)
#define V_BOOL(X) ((X)->boolVal)
#define V_ERROR(X) ((X)->scode)
#define V_DATE(X) ((X)->date)
#define V_BSTR(X) ((X)->bstrVal)
#define V_UNKNOWN(X) ((X)->punkVal)
#define V_DISPATCH(X) ((X)->pdispVal)
#define V_ARRAY(X) ((X)->parray)
#define V_BYREF(X) ((X)->byref)
#define V_I4REF(X) ((X)->plVal)
#define V_R8REF(X) ((X)->pdblVal)
#define V_BOOLREF(X) ((X)->pboolVal)
#define V_BSTRREF(X) ((X)->pbstrVal)
#define V_VARIANTREF(X) ((X)->pvarVal)
#define V_ARRAYREF(X) ((X)->pparray)
#define V_UNKNOWNREF(X) ((X)->ppunkVal)
#define V_DISPATCHREF(X) ((X)->ppdispVal)

// VariantChangeType flags.
#define VARIANT_NOVALUEPROP 0x01
#define VARIANT_ALPHABOOL 0x02
#define VARIANT_NOUSEROVERRIDE 0x04

// ---------------------------------------------------------------------------
// IDispatch call frames
// ---------------------------------------------------------------------------
typedef struct tagDISPPARAMS {
    VARIANTARG* rgvarg;         // cArgs arguments, in reverse order
    DISPID* rgdispidNamedArgs;  // cNamedArgs dispatch ids of the named arguments
    UINT cArgs;
    UINT cNamedArgs;
} DISPPARAMS;

typedef struct tagEXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    PVOID pvReserved;
    HRESULT(STDAPICALLTYPE* pfnDeferredFillIn)(struct tagEXCEPINFO*);
    SCODE scode;
} EXCEPINFO, *LPEXCEPINFO;

extern "C" {

// ---------------------------------------------------------------------------
// VARIANT functions
// ---------------------------------------------------------------------------

// Sets vt to VT_EMPTY (the value is not freed: use on fresh storage).
void VariantInit(VARIANTARG* pvarg);

// Frees what the variant owns (BSTR, SAFEARRAY with its elements, one
// reference of VT_UNKNOWN/VT_DISPATCH; nothing for VT_BYREF) and sets it to
// VT_EMPTY. Returns S_OK, E_INVALIDARG for null, DISP_E_BADVARTYPE for a type
// this runtime does not know (the variant is then left untouched).
HRESULT VariantClear(VARIANTARG* pvarg);

// Clears `pvargDest`, then makes it a deep copy of `pvargSrc`: a BSTR is
// duplicated, an interface AddRef'd, an array copied with SafeArrayCopy;
// VT_BYREF values copy the pointer. Copying a variant onto itself is a no-op.
// Returns S_OK, E_INVALIDARG (null argument), DISP_E_BADVARTYPE,
// E_OUTOFMEMORY (the destination is then VT_EMPTY).
HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);

// As VariantCopy, but a VT_BYREF source is dereferenced into a value copy.
HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);

// Converts `pvarSrc` to type `vt` into `pvargDest` (which may be the same
// variant). Supported: among VT_I2, VT_I4, VT_INT, VT_UI1, VT_UI2, VT_UI4,
// VT_UINT, VT_I8, VT_UI8, VT_R4, VT_R8, VT_BOOL, VT_ERROR->numeric, and
// to/from VT_BSTR for those (text in the C locale); VT_EMPTY converts to
// zero/empty. Integer conversions round to nearest (ties to even) as
// Windows does. Returns S_OK, DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW,
// DISP_E_BADVARTYPE, E_INVALIDARG.
HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags,
                          VARTYPE vt);
HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid,
                            USHORT wFlags, VARTYPE vt);

// ---------------------------------------------------------------------------
// SAFEARRAY functions (one dimension)
//
// Element types: VT_I1, VT_UI1, VT_I2, VT_UI2, VT_BOOL, VT_I4, VT_UI4, VT_INT,
// VT_UINT, VT_R4, VT_ERROR, VT_I8, VT_UI8, VT_R8, VT_DATE, VT_CY, VT_BSTR,
// VT_VARIANT, VT_UNKNOWN, VT_DISPATCH.
// ---------------------------------------------------------------------------

// Creates an array of `cDims` dimensions described by rgsabound[0..cDims-1]
// (element count and lower bound). Only cDims == 1 is supported; other
// values, an unsupported `vt` or a null `rgsabound` return null. Elements
// start zeroed (null BSTRs/interfaces, VT_EMPTY variants). The caller owns
// the array (SafeArrayDestroy).
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);

// Creates a one-dimensional array of `cElements` elements whose first index
// is `lLbound`. Null for an unsupported `vt` or when out of memory.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);

// Frees the elements (see above) and the array. Null: S_OK. Returns
// DISP_E_ARRAYISLOCKED while the array is locked (AccessData/Lock).
HRESULT SafeArrayDestroy(SAFEARRAY* psa);

// Number of dimensions; 0 for null.
UINT SafeArrayGetDim(SAFEARRAY* psa);

// Size of one element in bytes; 0 for null.
UINT SafeArrayGetElemsize(SAFEARRAY* psa);

// Lower / upper bound of dimension `nDim` (1-based) into *plLbound /
// *plUbound. An empty array has UBound = LBound - 1. Returns S_OK,
// E_INVALIDARG (null pointers), DISP_E_BADINDEX (nDim out of range).
HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);

// Element type of the array into *pvt. Returns S_OK or E_INVALIDARG.
HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);

// Copies the element at rgIndices[0] (one index per dimension, here one)
// into the storage `pv` points to, which must hold one element of the
// array's type. The copy is owned by the caller: a BSTR is duplicated
// (pv is a BSTR*), a VARIANT deep-copied into an *uninitialised* VARIANT,
// an interface AddRef'd (pv is IUnknown** / IDispatch**).
// Returns S_OK, E_INVALIDARG (null argument), DISP_E_BADINDEX (index out of
// bounds), E_OUTOFMEMORY.
HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);

// Stores a copy of the value at `pv` at index rgIndices[0], freeing the
// element it replaces. For VT_BSTR `pv` IS the BSTR (copied; null stores
// null); for VT_VARIANT `pv` points to a VARIANT (deep-copied); for
// VT_UNKNOWN/VT_DISPATCH `pv` IS the interface pointer (AddRef'd; null
// stores null); otherwise `pv` points to the value. The caller keeps
// ownership of what it passed. Returns S_OK, E_INVALIDARG,
// DISP_E_BADINDEX, E_OUTOFMEMORY.
HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);

// Address of the element at rgIndices[0] inside the array's storage (no
// copy, no lock). Returns S_OK, E_INVALIDARG, DISP_E_BADINDEX.
HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData);

// Locks the array and returns its contiguous storage in *ppvData: element i
// (0-based from the lower bound) is at ((char*)*ppvData + i*cbElements).
// Every successful call must be paired with SafeArrayUnaccessData.
// Returns S_OK or E_INVALIDARG; Unaccess returns E_UNEXPECTED when the
// array is not locked.
HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT SafeArrayUnaccessData(SAFEARRAY* psa);
HRESULT SafeArrayLock(SAFEARRAY* psa);
HRESULT SafeArrayUnlock(SAFEARRAY* psa);

// Deep copy of `psa` into *ppsaOut (null source gives null and S_OK).
// Returns S_OK, E_INVALIDARG, E_OUTOFMEMORY.
HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);

// Changes the element count (and lower bound) of the array to
// psaboundNew[0]; elements past the new end are freed, new ones zeroed.
// Returns S_OK, E_INVALIDARG, DISP_E_ARRAYISLOCKED, E_OUTOFMEMORY.
HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew);

}  // extern "C"
