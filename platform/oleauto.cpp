// BSTR, VARIANT and SAFEARRAY: allocation, copying, clearing, conversion.

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <limits>
#include <new>
#include <string>

#include "platform/com.h"

namespace {

// ---------------------------------------------------------------------------
// BSTR storage: [uint32 byte length][characters][one null OLECHAR]. The
// characters start right after the prefix; malloc's alignment keeps them
// aligned for OLECHAR.
// ---------------------------------------------------------------------------
constexpr size_t kPrefix = sizeof(uint32_t);

BSTR AllocBytes(const void* data, size_t bytes) {
    if (bytes > 0xFFFFFFF0u) {
        return nullptr;
    }
    auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (!block) {
        return nullptr;
    }
    const uint32_t len = static_cast<uint32_t>(bytes);
    std::memcpy(block, &len, kPrefix);
    if (data) {
        std::memcpy(block + kPrefix, data, bytes);
    } else {
        std::memset(block + kPrefix, 0, bytes);
    }
    std::memset(block + kPrefix + bytes, 0, sizeof(OLECHAR));
    return reinterpret_cast<BSTR>(block + kPrefix);
}

unsigned char* BlockOf(BSTR s) {
    return reinterpret_cast<unsigned char*>(s) - kPrefix;
}

// ---------------------------------------------------------------------------
// SAFEARRAY storage: the descriptor is preceded by its element type, which
// SafeArrayGetVartype reports (FADF_HAVEVARTYPE).
// ---------------------------------------------------------------------------
struct ArrayBlock {
    VARTYPE vt;
    SAFEARRAY sa;
};

ArrayBlock* BlockOf(SAFEARRAY* psa) {
    return reinterpret_cast<ArrayBlock*>(reinterpret_cast<char*>(psa) - offsetof(ArrayBlock, sa));
}

VARTYPE ElementType(SAFEARRAY* psa) {
    return BlockOf(psa)->vt;
}

// Size of one element of type vt, or 0 when arrays of vt are not supported.
ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
            return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR:
            return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_DATE:
        case VT_CY:
            return 8;
        case VT_BSTR:
            return sizeof(BSTR);
        case VT_UNKNOWN:
        case VT_DISPATCH:
            return sizeof(IUnknown*);
        case VT_VARIANT:
            return sizeof(VARIANT);
        default:
            return 0;
    }
}

USHORT FeaturesFor(VARTYPE vt) {
    USHORT f = FADF_HAVEVARTYPE;
    switch (vt) {
        case VT_BSTR:
            f |= FADF_BSTR;
            break;
        case VT_UNKNOWN:
            f |= FADF_UNKNOWN;
            break;
        case VT_DISPATCH:
            f |= FADF_DISPATCH;
            break;
        case VT_VARIANT:
            f |= FADF_VARIANT;
            break;
        default:
            break;
    }
    return f;
}

char* ElementAt(SAFEARRAY* psa, size_t i) {
    return static_cast<char*>(psa->pvData) + i * psa->cbElements;
}

// Frees what element i owns and zeroes it.
void ClearElement(SAFEARRAY* psa, size_t i) {
    char* p = ElementAt(psa, i);
    switch (ElementType(psa)) {
        case VT_BSTR:
            SysFreeString(*reinterpret_cast<BSTR*>(p));
            break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            if (IUnknown* u = *reinterpret_cast<IUnknown**>(p)) {
                u->Release();
            }
            break;
        case VT_VARIANT:
            VariantClear(reinterpret_cast<VARIANT*>(p));
            break;
        default:
            break;
    }
    std::memset(p, 0, psa->cbElements);
}

// Offset of the element at rgIndices[0], or DISP_E_BADINDEX.
HRESULT OffsetOf(SAFEARRAY* psa, const LONG* rgIndices, size_t* offset) {
    if (!psa || !rgIndices) {
        return E_INVALIDARG;
    }
    const int64_t i = static_cast<int64_t>(rgIndices[0]) - psa->rgsabound[0].lLbound;
    if (i < 0 || i >= static_cast<int64_t>(psa->rgsabound[0].cElements)) {
        return DISP_E_BADINDEX;
    }
    *offset = static_cast<size_t>(i);
    return S_OK;
}

// Copies the value at `src` (an element of type vt) into the element at
// `dst`, which must be zeroed or already cleared; owned values are duplicated.
HRESULT CopyElement(VARTYPE vt, const void* src, void* dst, ULONG size) {
    switch (vt) {
        case VT_BSTR: {
            BSTR s = *static_cast<const BSTR*>(src);
            BSTR copy = nullptr;
            if (s) {
                copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(s), SysStringByteLen(s));
                if (!copy) {
                    return E_OUTOFMEMORY;
                }
            }
            *static_cast<BSTR*>(dst) = copy;
            return S_OK;
        }
        case VT_UNKNOWN:
        case VT_DISPATCH: {
            IUnknown* u = *static_cast<IUnknown* const*>(src);
            if (u) {
                u->AddRef();
            }
            *static_cast<IUnknown**>(dst) = u;
            return S_OK;
        }
        case VT_VARIANT:
            VariantInit(static_cast<VARIANT*>(dst));
            return VariantCopy(static_cast<VARIANT*>(dst), static_cast<const VARIANT*>(src));
        default:
            std::memcpy(dst, src, size);
            return S_OK;
    }
}

bool KnownBaseType(VARTYPE t) {
    switch (t) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DATE:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_UNKNOWN:
        case VT_DECIMAL:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
            return true;
        default:
            return false;
    }
}

// A variant type this runtime can hold: a known scalar, or BYREF/ARRAY of a
// known type or of VT_VARIANT.
bool ValidVariantType(VARTYPE vt) {
    const VARTYPE base = vt & VT_TYPEMASK;
    const VARTYPE flags = vt & ~VT_TYPEMASK;
    if (flags & ~(VT_ARRAY | VT_BYREF)) {
        return false;
    }
    if (base == VT_VARIANT) {
        return flags != 0;
    }
    if ((flags & VT_ARRAY) && (base == VT_EMPTY || base == VT_NULL)) {
        return false;
    }
    return KnownBaseType(base);
}

}  // namespace

// ===========================================================================
// BSTR
// ===========================================================================
extern "C" {

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) {
        return nullptr;
    }
    return SysAllocStringLen(psz, static_cast<UINT>(std::wcslen(psz)));
}

BSTR SysAllocStringLen(const OLECHAR* pch, UINT ui) {
    if (ui > 0xFFFFFFF0u / sizeof(OLECHAR)) {
        return nullptr;
    }
    return AllocBytes(pch, static_cast<size_t>(ui) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) {
    return AllocBytes(psz, len);
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    return SysReAllocStringLen(pbstr, psz, psz ? static_cast<UINT>(std::wcslen(psz)) : 0);
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
    if (!pbstr) {
        return FALSE;
    }
    // Allocate first: psz may point into the string being replaced.
    BSTR fresh = SysAllocStringLen(psz, len);
    if (!fresh) {
        return FALSE;
    }
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

void SysFreeString(BSTR bstr) {
    if (bstr) {
        std::free(BlockOf(bstr));
    }
}

UINT SysStringByteLen(BSTR bstr) {
    if (!bstr) {
        return 0;
    }
    uint32_t len;
    std::memcpy(&len, BlockOf(bstr), kPrefix);
    return len;
}

UINT SysStringLen(BSTR bstr) {
    return SysStringByteLen(bstr) / sizeof(OLECHAR);
}

// ===========================================================================
// SAFEARRAY
// ===========================================================================

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    if (cDims != 1 || !rgsabound) {
        return nullptr;
    }
    return SafeArrayCreateVector(vt, rgsabound[0].lLbound, rgsabound[0].cElements);
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    const ULONG size = ElementSize(vt);
    if (size == 0) {
        return nullptr;
    }
    auto* block = static_cast<ArrayBlock*>(std::calloc(1, sizeof(ArrayBlock)));
    if (!block) {
        return nullptr;
    }
    void* data = nullptr;
    if (cElements > 0) {
        data = std::calloc(cElements, size);
        if (!data) {
            std::free(block);
            return nullptr;
        }
    }
    block->vt = vt;
    SAFEARRAY* psa = &block->sa;
    psa->cDims = 1;
    psa->fFeatures = FeaturesFor(vt);
    psa->cbElements = size;
    psa->cLocks = 0;
    psa->pvData = data;
    psa->rgsabound[0].cElements = cElements;
    psa->rgsabound[0].lLbound = lLbound;
    return psa;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) {
        return S_OK;
    }
    if (psa->cLocks > 0) {
        return DISP_E_ARRAYISLOCKED;
    }
    for (size_t i = 0; i < psa->rgsabound[0].cElements; ++i) {
        ClearElement(psa, i);
    }
    std::free(psa->pvData);
    std::free(BlockOf(psa));
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa ? psa->cDims : 0;
}

UINT SafeArrayGetElemsize(SAFEARRAY* psa) {
    return psa ? psa->cbElements : 0;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound) {
        return E_INVALIDARG;
    }
    if (nDim != 1) {
        return DISP_E_BADINDEX;
    }
    *plLbound = psa->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound) {
        return E_INVALIDARG;
    }
    if (nDim != 1) {
        return DISP_E_BADINDEX;
    }
    *plUbound = static_cast<LONG>(static_cast<int64_t>(psa->rgsabound[0].lLbound) +
                                  psa->rgsabound[0].cElements - 1);
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt) {
        return E_INVALIDARG;
    }
    *pvt = ElementType(psa);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!pv) {
        return E_INVALIDARG;
    }
    size_t i = 0;
    HRESULT hr = OffsetOf(psa, rgIndices, &i);
    if (FAILED(hr)) {
        return hr;
    }
    return CopyElement(ElementType(psa), ElementAt(psa, i), pv, psa->cbElements);
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    size_t i = 0;
    HRESULT hr = OffsetOf(psa, rgIndices, &i);
    if (FAILED(hr)) {
        return hr;
    }
    const VARTYPE vt = ElementType(psa);
    // BSTR and interface elements are passed by value; the rest by address.
    const bool by_value = vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH;
    if (!pv && !by_value) {
        return E_INVALIDARG;
    }
    const void* src = by_value ? static_cast<const void*>(&pv) : pv;
    // Build the new element aside, so that a failed copy leaves the old one.
    alignas(VARIANT) unsigned char fresh[sizeof(VARIANT)] = {};
    hr = CopyElement(vt, src, fresh, psa->cbElements);
    if (FAILED(hr)) {
        return hr;
    }
    ClearElement(psa, i);
    std::memcpy(ElementAt(psa, i), fresh, psa->cbElements);
    return S_OK;
}

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData) {
    if (!ppvData) {
        return E_INVALIDARG;
    }
    size_t i = 0;
    HRESULT hr = OffsetOf(psa, rgIndices, &i);
    if (FAILED(hr)) {
        return hr;
    }
    *ppvData = ElementAt(psa, i);
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) {
        return E_INVALIDARG;
    }
    ++psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa) {
        return E_INVALIDARG;
    }
    if (psa->cLocks == 0) {
        return E_UNEXPECTED;
    }
    --psa->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData) {
        return E_INVALIDARG;
    }
    ++psa->cLocks;
    *ppvData = psa->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) {
    return SafeArrayUnlock(psa);
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut) {
        return E_INVALIDARG;
    }
    *ppsaOut = nullptr;
    if (!psa) {
        return S_OK;
    }
    const VARTYPE vt = ElementType(psa);
    SAFEARRAY* copy =
        SafeArrayCreateVector(vt, psa->rgsabound[0].lLbound, psa->rgsabound[0].cElements);
    if (!copy) {
        return E_OUTOFMEMORY;
    }
    for (size_t i = 0; i < psa->rgsabound[0].cElements; ++i) {
        HRESULT hr = CopyElement(vt, ElementAt(psa, i), ElementAt(copy, i), psa->cbElements);
        if (FAILED(hr)) {
            SafeArrayDestroy(copy);
            return hr;
        }
    }
    *ppsaOut = copy;
    return S_OK;
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
    if (!psa || !psaboundNew) {
        return E_INVALIDARG;
    }
    if (psa->cLocks > 0) {
        return DISP_E_ARRAYISLOCKED;
    }
    const size_t old_n = psa->rgsabound[0].cElements;
    const size_t new_n = psaboundNew->cElements;
    if (new_n < old_n) {
        for (size_t i = new_n; i < old_n; ++i) {
            ClearElement(psa, i);
        }
    }
    if (new_n == 0) {
        std::free(psa->pvData);
        psa->pvData = nullptr;
    } else if (new_n != old_n) {
        void* data = std::realloc(psa->pvData, new_n * psa->cbElements);
        if (!data) {
            return E_OUTOFMEMORY;
        }
        psa->pvData = data;
        if (new_n > old_n) {
            std::memset(ElementAt(psa, old_n), 0, (new_n - old_n) * psa->cbElements);
        }
    }
    psa->rgsabound[0].cElements = psaboundNew->cElements;
    psa->rgsabound[0].lLbound = psaboundNew->lLbound;
    return S_OK;
}

// ===========================================================================
// VARIANT
// ===========================================================================

void VariantInit(VARIANTARG* pvarg) {
    if (pvarg) {
        std::memset(pvarg, 0, sizeof(VARIANT));
        pvarg->vt = VT_EMPTY;
    }
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg) {
        return E_INVALIDARG;
    }
    const VARTYPE vt = pvarg->vt;
    if (!ValidVariantType(vt) && vt != VT_EMPTY) {
        return DISP_E_BADVARTYPE;
    }
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            HRESULT hr = SafeArrayDestroy(pvarg->parray);
            if (FAILED(hr)) {
                return hr;
            }
        } else if (vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
            if (pvarg->punkVal) {
                pvarg->punkVal->Release();
            }
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc) {
        return E_INVALIDARG;
    }
    if (pvargDest == pvargSrc) {
        return S_OK;
    }
    const VARTYPE vt = pvargSrc->vt;
    if (!ValidVariantType(vt) && vt != VT_EMPTY) {
        return DISP_E_BADVARTYPE;
    }
    HRESULT hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        return hr;
    }
    VARIANT copy = *pvargSrc;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
        } else if (vt == VT_BSTR) {
            hr = CopyElement(VT_BSTR, &pvargSrc->bstrVal, &copy.bstrVal, sizeof(BSTR));
        } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
            if (copy.punkVal) {
                copy.punkVal->AddRef();
            }
        }
    }
    if (FAILED(hr)) {
        return hr;
    }
    *pvargDest = copy;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc) {
    if (!pvarDest || !pvargSrc) {
        return E_INVALIDARG;
    }
    if (!(pvargSrc->vt & VT_BYREF)) {
        return VariantCopy(pvarDest, pvargSrc);
    }
    const VARTYPE vt = pvargSrc->vt & ~VT_BYREF;
    if (!ValidVariantType(pvargSrc->vt) || !pvargSrc->byref) {
        return pvargSrc->byref ? DISP_E_BADVARTYPE : E_INVALIDARG;
    }
    // Build the value as a non-owning view, then deep-copy it.
    VARIANT view;
    VariantInit(&view);
    if (vt == VT_VARIANT) {
        view = *pvargSrc->pvarVal;
    } else if (vt & VT_ARRAY) {
        view.vt = vt;
        view.parray = *pvargSrc->pparray;
    } else {
        view.vt = vt;
        switch (vt) {
            case VT_BSTR:
                view.bstrVal = *pvargSrc->pbstrVal;
                break;
            case VT_UNKNOWN:
            case VT_DISPATCH:
                view.punkVal = *pvargSrc->ppunkVal;
                break;
            default: {
                const ULONG size = ElementSize(vt);
                if (size == 0 && vt != VT_EMPTY && vt != VT_NULL) {
                    return DISP_E_BADVARTYPE;
                }
                std::memcpy(&view.llVal, pvargSrc->byref, size);
                break;
            }
        }
    }
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = VariantCopy(&result, &view);
    if (FAILED(hr)) {
        return hr;
    }
    hr = VariantClear(pvarDest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *pvarDest = result;
    return S_OK;
}

}  // extern "C"

// ---------------------------------------------------------------------------
// VariantChangeType
// ---------------------------------------------------------------------------
namespace {

bool IsNumeric(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8:
        case VT_UI8:
        case VT_R4:
        case VT_R8:
        case VT_BOOL:
            return true;
        default:
            return false;
    }
}

long double NumberOf(const VARIANT& v) {
    switch (v.vt) {
        case VT_I1:
            return v.cVal;
        case VT_UI1:
            return v.bVal;
        case VT_I2:
            return v.iVal;
        case VT_UI2:
            return v.uiVal;
        case VT_I4:
            return v.lVal;
        case VT_UI4:
            return v.ulVal;
        case VT_INT:
            return v.intVal;
        case VT_UINT:
            return v.uintVal;
        case VT_I8:
            return static_cast<long double>(v.llVal);
        case VT_UI8:
            return static_cast<long double>(v.ullVal);
        case VT_R4:
            return v.fltVal;
        case VT_R8:
            return v.dblVal;
        case VT_BOOL:
            return v.boolVal ? -1 : 0;
        default:
            return 0;
    }
}

// Rounds to the nearest integer, ties to even, and checks [lo, hi].
bool RoundInto(long double x, long double lo, long double hi, long double* out) {
    if (std::isnan(x)) {
        return false;
    }
    long double r = std::nearbyint(x);  // default rounding mode: ties to even
    if (r < lo || r > hi) {
        return false;
    }
    *out = r;
    return true;
}

template <class T>
bool IntegerFrom(long double x, T* out) {
    long double r;
    if (!RoundInto(x, static_cast<long double>(std::numeric_limits<T>::min()),
                   static_cast<long double>(std::numeric_limits<T>::max()), &r)) {
        return false;
    }
    *out = static_cast<T>(r);
    return true;
}

HRESULT NumberInto(long double x, VARTYPE vt, VARIANT* out) {
    out->vt = vt;
    bool ok = true;
    switch (vt) {
        case VT_I1:
            ok = IntegerFrom(x, &out->cVal);
            break;
        case VT_UI1:
            ok = IntegerFrom(x, &out->bVal);
            break;
        case VT_I2:
            ok = IntegerFrom(x, &out->iVal);
            break;
        case VT_UI2:
            ok = IntegerFrom(x, &out->uiVal);
            break;
        case VT_I4:
            ok = IntegerFrom(x, &out->lVal);
            break;
        case VT_UI4:
            ok = IntegerFrom(x, &out->ulVal);
            break;
        case VT_INT:
            ok = IntegerFrom(x, &out->intVal);
            break;
        case VT_UINT:
            ok = IntegerFrom(x, &out->uintVal);
            break;
        case VT_I8:
            ok = IntegerFrom(x, &out->llVal);
            break;
        case VT_UI8:
            ok = IntegerFrom(x, &out->ullVal);
            break;
        case VT_R4:
            if (std::isfinite(x) && std::fabs(x) > std::numeric_limits<float>::max()) {
                ok = false;
            }
            out->fltVal = static_cast<float>(x);
            break;
        case VT_R8:
            out->dblVal = static_cast<double>(x);
            break;
        case VT_BOOL:
            out->boolVal = x != 0 ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        default:
            return DISP_E_TYPEMISMATCH;
    }
    return ok ? S_OK : DISP_E_OVERFLOW;
}

std::wstring TextOf(const VARIANT& v, USHORT flags) {
    wchar_t buf[64];
    switch (v.vt) {
        case VT_BOOL:
            if (flags & VARIANT_ALPHABOOL) {
                return v.boolVal ? L"True" : L"False";
            }
            return v.boolVal ? L"-1" : L"0";
        case VT_R4:
            std::swprintf(buf, 64, L"%.7G", static_cast<double>(v.fltVal));
            return buf;
        case VT_R8:
            std::swprintf(buf, 64, L"%.15G", v.dblVal);
            return buf;
        case VT_UI8:
            std::swprintf(buf, 64, L"%llu", static_cast<unsigned long long>(v.ullVal));
            return buf;
        default:
            std::swprintf(buf, 64, L"%lld", static_cast<long long>(NumberOf(v)));
            return buf;
    }
}

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i])) {
            return false;
        }
    }
    return i == a.size() && b[i] == 0;
}

// Parses the whole text (surrounding blanks allowed) as a number or, for a
// boolean target, "True"/"False".
bool ParseNumber(BSTR s, VARTYPE target, long double* out) {
    std::wstring text(s ? s : L"", SysStringLen(s));
    const size_t first = text.find_first_not_of(L" \t");
    const size_t last = text.find_last_not_of(L" \t");
    if (first == std::wstring::npos) {
        return false;
    }
    text = text.substr(first, last - first + 1);
    if (target == VT_BOOL) {
        if (EqualsNoCase(text, L"true")) {
            *out = -1;
            return true;
        }
        if (EqualsNoCase(text, L"false")) {
            *out = 0;
            return true;
        }
    }
    if (text.find(L'\0') != std::wstring::npos) {
        return false;
    }
    wchar_t* end = nullptr;
    const long double x = std::wcstold(text.c_str(), &end);
    if (end == text.c_str() || *end != 0) {
        return false;
    }
    *out = x;
    return true;
}

HRESULT ChangeType(VARIANT* result, const VARIANT& src, USHORT flags, VARTYPE vt) {
    if (vt == src.vt) {
        return VariantCopy(result, &src);
    }
    if (vt == VT_EMPTY) {
        return S_OK;
    }
    if (src.vt == VT_NULL || (vt & ~VT_TYPEMASK) != 0) {
        return DISP_E_TYPEMISMATCH;
    }
    if (vt == VT_BSTR) {
        std::wstring text;
        if (src.vt != VT_EMPTY) {
            if (!IsNumeric(src.vt)) {
                return DISP_E_TYPEMISMATCH;
            }
            text = TextOf(src, flags);
        }
        BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!b) {
            return E_OUTOFMEMORY;
        }
        result->vt = VT_BSTR;
        result->bstrVal = b;
        return S_OK;
    }
    if ((vt == VT_UNKNOWN || vt == VT_DISPATCH) &&
        (src.vt == VT_UNKNOWN || src.vt == VT_DISPATCH)) {
        if (!src.punkVal) {
            result->vt = vt;
            result->punkVal = nullptr;
            return S_OK;
        }
        void* p = nullptr;
        HRESULT hr =
            src.punkVal->QueryInterface(vt == VT_UNKNOWN ? IID_IUnknown : IID_IDispatch, &p);
        if (FAILED(hr)) {
            return DISP_E_TYPEMISMATCH;
        }
        result->vt = vt;
        result->punkVal = static_cast<IUnknown*>(p);
        return S_OK;
    }
    if (!IsNumeric(vt)) {
        return DISP_E_TYPEMISMATCH;
    }
    long double x = 0;
    if (src.vt == VT_BSTR) {
        if (!ParseNumber(src.bstrVal, vt, &x)) {
            return DISP_E_TYPEMISMATCH;
        }
    } else if (src.vt != VT_EMPTY) {
        if (!IsNumeric(src.vt)) {
            return DISP_E_TYPEMISMATCH;
        }
        x = NumberOf(src);
    }
    return NumberInto(x, vt, result);
}

}  // namespace

extern "C" HRESULT VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc,
                                     USHORT wFlags, VARTYPE vt) {
    if (!pvargDest || !pvarSrc) {
        return E_INVALIDARG;
    }
    if (!ValidVariantType(vt) && vt != VT_EMPTY) {
        return DISP_E_BADVARTYPE;
    }
    // Work on a dereferenced copy: the destination may be the source.
    VARIANT src;
    VariantInit(&src);
    HRESULT hr = VariantCopyInd(&src, pvarSrc);
    if (FAILED(hr)) {
        return hr;
    }
    VARIANT result;
    VariantInit(&result);
    hr = ChangeType(&result, src, wFlags, vt);
    VariantClear(&src);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *pvargDest = result;
    return S_OK;
}

extern "C" HRESULT VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID,
                                       USHORT wFlags, VARTYPE vt) {
    return VariantChangeType(pvargDest, pvarSrc, wFlags, vt);
}
