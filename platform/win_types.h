// Base types, calling-convention macros, result codes and GUIDs of the
// Win32/OLE programming model, for builds that do not have the Windows
// headers. The names, widths and values are those of Windows, so that code
// written against <windows.h> and <ole2.h> compiles unchanged here.
//
// Widths: HRESULT, LONG and ULONG are 32-bit (int32_t / uint32_t) on every
// platform, never `long`. OLECHAR is wchar_t, which is 32-bit on Linux and
// 16-bit on Windows: portable code must never assume the size of an OLECHAR.
//
// Include "platform/com.h" rather than this file.
#pragma once

#ifdef _WIN32
#error "platform/win_types.h is for builds without the Windows headers; include platform/com.h"
#endif

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Scalar types
// ---------------------------------------------------------------------------
typedef int32_t HRESULT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef int BOOL;
typedef int INT;
typedef unsigned int UINT;
typedef short SHORT;
typedef unsigned short USHORT;
typedef char CHAR;
typedef signed char INT8;
typedef unsigned char UCHAR;
typedef float FLOAT;
typedef double DOUBLE;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef int64_t LONG64;
typedef uint64_t ULONG64;
typedef uint64_t DWORD64;
typedef intptr_t INT_PTR;
typedef uintptr_t UINT_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t DWORD_PTR;
typedef size_t SIZE_T;
typedef LONG SCODE;
typedef LONG LSTATUS;
typedef DWORD LCID;
typedef WORD LANGID;
typedef LONG DISPID;
typedef LONG MEMBERID;
typedef short VARIANT_BOOL;
typedef double DATE;
typedef unsigned short VARTYPE;
typedef DWORD REGSAM;

typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HANDLE;
typedef BYTE* LPBYTE;
typedef BYTE* PBYTE;
typedef const BYTE* LPCBYTE;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef LONG* LPLONG;
typedef LONG* PLONG;
typedef ULONG* PULONG;
typedef WORD* LPWORD;
typedef BOOL* LPBOOL;
typedef INT* LPINT;
typedef UINT* LPUINT;

typedef wchar_t WCHAR;
typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* BSTR;
typedef BSTR* LPBSTR;
typedef WCHAR* LPWSTR;
typedef WCHAR* PWSTR;
typedef const WCHAR* LPCWSTR;
typedef const WCHAR* PCWSTR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;

typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

// Opaque handle types: distinct pointer types, as with STRICT on Windows.
struct HWND__;
typedef HWND__* HWND;
struct HINSTANCE__;
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HKEY__;
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define VARIANT_TRUE (static_cast<VARIANT_BOOL>(-1))
#define VARIANT_FALSE (static_cast<VARIANT_BOOL>(0))

// 64-bit count of 100 ns intervals, as the registry reports last-write times.
typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

// ---------------------------------------------------------------------------
// Calling conventions and method-declaration macros (no calling conventions
// exist on this ABI, so they are empty).
// ---------------------------------------------------------------------------
#define STDMETHODCALLTYPE
#define STDMETHODVCALLTYPE
#define STDAPICALLTYPE
#define WINAPI
#define APIENTRY
#define CALLBACK
#define __RPC_FAR
#define __RPC_STUB
#define __RPC_USER
#define DECLSPEC_NOVTABLE
#define PURE = 0
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT STDAPICALLTYPE
#define STDAPI_(type) extern "C" type STDAPICALLTYPE
#define WINOLEAPI STDAPI
#define WINOLEAPI_(type) STDAPI_(type)
#define UNREFERENCED_PARAMETER(P) (void)(P)

// ---------------------------------------------------------------------------
// HRESULT helpers
// ---------------------------------------------------------------------------
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define IS_ERROR(hr) (static_cast<uint32_t>(hr) >> 31 == 1)
#define HRESULT_CODE(hr) ((hr)&0xFFFF)
#define HRESULT_FACILITY(hr) (((hr) >> 16) & 0x1FFF)
#define HRESULT_SEVERITY(hr) (((hr) >> 31) & 0x1)
#define SCODE_CODE(sc) ((sc)&0xFFFF)
#define MAKE_HRESULT(sev, fac, code)                                                               \
    static_cast<HRESULT>((static_cast<uint32_t>(sev) << 31) | (static_cast<uint32_t>(fac) << 16) | \
                         static_cast<uint32_t>(code))
#define MAKE_SCODE(sev, fac, code) MAKE_HRESULT(sev, fac, code)
#define SEVERITY_SUCCESS 0
#define SEVERITY_ERROR 1
#define FACILITY_NULL 0
#define FACILITY_RPC 1
#define FACILITY_DISPATCH 2
#define FACILITY_STORAGE 3
#define FACILITY_ITF 4
#define FACILITY_WIN32 7
#define FACILITY_WINDOWS 8

// Maps a Win32 error code (a registry result, GetLastError()) to an HRESULT:
// 0 stays S_OK, anything else becomes 0x8007xxxx.
constexpr HRESULT HRESULT_FROM_WIN32(unsigned long x) {
    return static_cast<HRESULT>(x) <= 0
               ? static_cast<HRESULT>(x)
               : static_cast<HRESULT>((x & 0x0000FFFFu) | (FACILITY_WIN32 << 16) | 0x80000000u);
}

#define PLATFORM_HR(x) static_cast<HRESULT>(x##u)

// Success codes
#define S_OK static_cast<HRESULT>(0)
#define S_FALSE static_cast<HRESULT>(1)
#define NOERROR S_OK

// Generic failures
#define E_NOTIMPL PLATFORM_HR(0x80004001)
#define E_NOINTERFACE PLATFORM_HR(0x80004002)
#define E_POINTER PLATFORM_HR(0x80004003)
#define E_ABORT PLATFORM_HR(0x80004004)
#define E_FAIL PLATFORM_HR(0x80004005)
#define E_PENDING PLATFORM_HR(0x8000000A)
#define E_BOUNDS PLATFORM_HR(0x8000000B)
#define E_UNEXPECTED PLATFORM_HR(0x8000FFFF)
#define E_ACCESSDENIED PLATFORM_HR(0x80070005)
#define E_HANDLE PLATFORM_HR(0x80070006)
#define E_OUTOFMEMORY PLATFORM_HR(0x8007000E)
#define E_INVALIDARG PLATFORM_HR(0x80070057)

// Class objects, the class registry and the COM runtime
#define CLASS_E_NOAGGREGATION PLATFORM_HR(0x80040110)
#define CLASS_E_CLASSNOTAVAILABLE PLATFORM_HR(0x80040111)
#define CLASS_E_NOTLICENSED PLATFORM_HR(0x80040112)
#define REGDB_E_READREGDB PLATFORM_HR(0x80040150)
#define REGDB_E_WRITEREGDB PLATFORM_HR(0x80040151)
#define REGDB_E_KEYMISSING PLATFORM_HR(0x80040152)
#define REGDB_E_INVALIDVALUE PLATFORM_HR(0x80040153)
#define REGDB_E_CLASSNOTREG PLATFORM_HR(0x80040154)
#define REGDB_E_IIDNOTREG PLATFORM_HR(0x80040155)
#define CAT_E_CATIDNOEXIST PLATFORM_HR(0x80040160)
#define CAT_E_NODESCRIPTION PLATFORM_HR(0x80040161)
#define SELFREG_E_TYPELIB PLATFORM_HR(0x80040200)
#define SELFREG_E_CLASS PLATFORM_HR(0x80040201)
#define CO_E_NOTINITIALIZED PLATFORM_HR(0x800401F0)
#define CO_E_ALREADYINITIALIZED PLATFORM_HR(0x800401F1)
#define CO_E_CLASSSTRING PLATFORM_HR(0x800401F3)
#define CO_E_DLLNOTFOUND PLATFORM_HR(0x800401F8)
#define CO_E_ERRORINDLL PLATFORM_HR(0x800401F9)
#define CO_E_OBJNOTREG PLATFORM_HR(0x800401FB)
#define RPC_E_CHANGED_MODE PLATFORM_HR(0x80010106)

// Automation (IDispatch, VARIANT, SAFEARRAY) and type libraries
#define DISP_E_UNKNOWNINTERFACE PLATFORM_HR(0x80020001)
#define DISP_E_MEMBERNOTFOUND PLATFORM_HR(0x80020003)
#define DISP_E_PARAMNOTFOUND PLATFORM_HR(0x80020004)
#define DISP_E_TYPEMISMATCH PLATFORM_HR(0x80020005)
#define DISP_E_UNKNOWNNAME PLATFORM_HR(0x80020006)
#define DISP_E_NONAMEDARGS PLATFORM_HR(0x80020007)
#define DISP_E_BADVARTYPE PLATFORM_HR(0x80020008)
#define DISP_E_EXCEPTION PLATFORM_HR(0x80020009)
#define DISP_E_OVERFLOW PLATFORM_HR(0x8002000A)
#define DISP_E_BADINDEX PLATFORM_HR(0x8002000B)
#define DISP_E_UNKNOWNLCID PLATFORM_HR(0x8002000C)
#define DISP_E_ARRAYISLOCKED PLATFORM_HR(0x8002000D)
#define DISP_E_BADPARAMCOUNT PLATFORM_HR(0x8002000E)
#define DISP_E_PARAMNOTOPTIONAL PLATFORM_HR(0x8002000F)
#define TYPE_E_REGISTRYACCESS PLATFORM_HR(0x8002801C)
#define TYPE_E_LIBNOTREGISTERED PLATFORM_HR(0x8002801D)
#define TYPE_E_ELEMENTNOTFOUND PLATFORM_HR(0x8002802B)
#define TYPE_E_CANTLOADLIBRARY PLATFORM_HR(0x80029C4A)

// Win32 error codes (registry results, GetLastError()); LONG as on Windows.
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_BADDB 1009L
#define ERROR_BADKEY 1010L
#define ERROR_CANTOPEN 1011L
#define ERROR_CANTREAD 1012L
#define ERROR_CANTWRITE 1013L
#define ERROR_KEY_DELETED 1018L
#define ERROR_UNSUPPORTED_TYPE 1630L

// ---------------------------------------------------------------------------
// Locales and dispatch flags
// ---------------------------------------------------------------------------
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_ENGLISH_US 0x01
#define SORT_DEFAULT 0x0
#define MAKELANGID(p, s) static_cast<WORD>((static_cast<WORD>(s) << 10) | static_cast<WORD>(p))
#define PRIMARYLANGID(lgid) static_cast<WORD>((lgid)&0x3ff)
#define SUBLANGID(lgid) static_cast<WORD>(static_cast<WORD>(lgid) >> 10)
#define MAKELCID(lgid, srtid)                                                 \
    static_cast<DWORD>((static_cast<DWORD>(static_cast<WORD>(srtid)) << 16) | \
                       static_cast<WORD>(lgid))
#define LANGIDFROMLCID(lcid) static_cast<WORD>(lcid)
#define LOCALE_NEUTRAL 0x0000
#define LOCALE_INVARIANT 0x007f
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SYSTEM_DEFAULT 0x0800

#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPATCH_PROPERTYPUTREF 0x8
#define DISPID_UNKNOWN (-1)
#define DISPID_VALUE 0
#define DISPID_PROPERTYPUT (-3)
#define DISPID_NEWENUM (-4)

// ---------------------------------------------------------------------------
// GUIDs
// ---------------------------------------------------------------------------
typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;
typedef GUID CATID;
typedef GUID FMTID;
typedef GUID* LPGUID;
typedef GUID* LPCLSID;
typedef GUID* LPIID;
typedef const GUID* LPCGUID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
typedef const CATID& REFCATID;
typedef const FMTID& REFFMTID;

inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return true;
}
inline bool IsEqualIID(REFIID a, REFIID b) {
    return IsEqualGUID(a, b);
}
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) {
    return IsEqualGUID(a, b);
}
inline bool operator==(REFGUID a, REFGUID b) {
    return IsEqualGUID(a, b);
}
inline bool operator!=(REFGUID a, REFGUID b) {
    return !IsEqualGUID(a, b);
}

// Defines a GUID constant. Each translation unit gets its own copy of the
// value (internal linkage), so no INITGUID translation unit is needed and no
// symbol is shared between modules: a vague-linkage (inline) variable would
// become a GNU unique symbol, which keeps a server module from ever being
// unloaded by dlclose. GUIDs are compared by value, never by address.
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    static constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

DEFINE_GUID(GUID_NULL, 0x00000000, 0x0000, 0x0000, 0, 0, 0, 0, 0, 0, 0, 0);
DEFINE_GUID(IID_NULL, 0x00000000, 0x0000, 0x0000, 0, 0, 0, 0, 0, 0, 0, 0);
DEFINE_GUID(CLSID_NULL, 0x00000000, 0x0000, 0x0000, 0, 0, 0, 0, 0, 0, 0, 0);

// ---------------------------------------------------------------------------
// Activation contexts and initialisation flags
// ---------------------------------------------------------------------------
typedef enum tagCLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_INPROC_SERVER16 = 0x8,
    CLSCTX_REMOTE_SERVER = 0x10,
} CLSCTX;
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL \
    (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

typedef enum tagCOINIT {
    COINIT_MULTITHREADED = 0x0,
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
} COINIT;

typedef enum tagREGCLS {
    REGCLS_SINGLEUSE = 0,
    REGCLS_MULTIPLEUSE = 1,
    REGCLS_MULTI_SEPARATE = 2,
    REGCLS_SUSPENDED = 4,
    REGCLS_SURROGATE = 8,
} REGCLS;
