// The COM runtime for builds without the Windows headers: initialisation,
// class objects and instance creation, loading of in-process servers, GUID
// and ProgID conversions, task memory, module file names and the thread's
// last error.
//
// Where a class comes from, in order:
//   1. a class object registered in this process with CoRegisterClassObject
//      (how a host offers its own classes);
//   2. the runtime's built-in classes (CLSID_StdComponentCategoriesMgr);
//   3. the registry: HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32's default
//      value names a shared library, which is opened with dlopen (once per
//      path, kept open) and asked through its exported DllGetClassObject.
// CoFreeUnusedLibraries closes those libraries whose DllCanUnloadNow answers
// S_OK.
//
// Initialisation is counted per thread, as on Windows: CoGetClassObject and
// CoCreateInstance answer CO_E_NOTINITIALIZED on a thread that has not
// called CoInitialize(Ex)/OleInitialize.
//
// The runtime is one shared library (libpyrplatform.so): the executable and
// every server it loads share one registry, one class-object table and one
// live-object count.
//
// Include "platform/com.h" rather than this file.
#pragma once

#include <string>

#include "platform/interfaces.h"
#include "platform/win_types.h"

// Signatures of the functions an in-process server module exports.
typedef HRESULT(STDAPICALLTYPE* LPFNGETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDAPICALLTYPE* LPFNCANUNLOADNOW)();

extern "C" {

// --- Initialisation --------------------------------------------------------

// Initialises COM on the calling thread. Returns S_OK for the first call,
// S_FALSE for a nested one (each must be matched by CoUninitialize), and
// RPC_E_CHANGED_MODE when the thread was initialised with another
// concurrency model (that call must not be matched). `pvReserved` must be
// null.
HRESULT CoInitialize(LPVOID pvReserved);
HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
// Undoes one successful CoInitialize(Ex). The last one on a thread revokes
// the class objects the thread registered and closes every loaded server
// module that agrees to unload (DllCanUnloadNow).
void CoUninitialize();
// CoInitializeEx(COINIT_APARTMENTTHREADED) / CoUninitialize.
HRESULT OleInitialize(LPVOID pvReserved);
void OleUninitialize();

// --- Class objects and instances -------------------------------------------

// Returns the class object of `rclsid` as interface `riid` in *ppv (see the
// lookup order above). `dwClsContext` is a set of CLSCTX_* flags: registered
// class objects answer any in-process or local request, the registry is
// consulted for CLSCTX_INPROC_SERVER. `pvReserved` (server info) must be
// null. Results: S_OK; E_POINTER (ppv null); CO_E_NOTINITIALIZED;
// REGDB_E_CLASSNOTREG (no such class); CO_E_DLLNOTFOUND (the server library
// cannot be opened; platform::LastServerLoadError() says why);
// CO_E_ERRORINDLL (it exports no DllGetClassObject); or the server's answer.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                         LPVOID* ppv);

// Creates an instance of `rclsid` through its class object's CreateInstance,
// passing `pUnkOuter` (the controlling unknown of an aggregate, or null)
// through unchanged, and returns interface `riid` in *ppv (null on failure).
// Results as CoGetClassObject, plus the factory's own results
// (CLASS_E_NOAGGREGATION, E_NOINTERFACE, ...).
HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);

// Registers `pUnk` (a class object, AddRef'd and held until revoked) as the
// class object of `rclsid` for this process. `flags` is a REGCLS value:
// REGCLS_SINGLEUSE hides the object after the first CoGetClassObject that
// finds it. The most recent registration of a class wins. *lpdwRegister
// receives a nonzero cookie for CoRevokeClassObject. The registration belongs
// to the calling thread: its last CoUninitialize revokes it. Returns S_OK,
// E_INVALIDARG (null pointer), CO_E_NOTINITIALIZED.
HRESULT CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext, DWORD flags,
                              LPDWORD lpdwRegister);
// Removes a registration and releases its object. CO_E_OBJNOTREG for an
// unknown cookie.
HRESULT CoRevokeClassObject(DWORD dwRegister);
// Accepted for source compatibility; registrations are never suspended here.
HRESULT CoResumeClassObjects();

// Asks every loaded server module's DllCanUnloadNow and closes (dlclose)
// those answering S_OK. Modules without DllCanUnloadNow stay loaded.
void CoFreeUnusedLibraries();
void CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD dwReserved);

// --- GUID strings and ProgIDs -----------------------------------------------

// Writes "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper-case hex, null
// terminated: 39 OLECHARs) into lpsz, which holds cchMax OLECHARs. Returns the
// number of OLECHARs written including the terminator (39), or 0 when the
// buffer is too small or null.
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// The same string in *lplpsz, CoTaskMemAlloc'd (caller frees with
// CoTaskMemFree). S_OK, E_INVALIDARG, E_OUTOFMEMORY.
HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);

// Parses "{...}" (hex digits of either case) into *pclsid. A string that is
// not a braced GUID is tried as a ProgID. A null string gives CLSID_NULL.
// Returns S_OK, E_INVALIDARG (pclsid null), CO_E_CLASSSTRING.
HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
// Parses a braced GUID only. S_OK or E_INVALIDARG.
HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid);

// Reads HKCR\<ProgID>\CLSID's default value; when the ProgID key has no CLSID
// subkey, follows HKCR\<ProgID>\CurVer (a version-dependent ProgID) once more
// (up to a few levels). Returns S_OK, E_INVALIDARG (null pointer),
// CO_E_CLASSSTRING (unknown ProgID or malformed CLSID text).
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
// Reads HKCR\CLSID\{clsid}\ProgID's default value into *lplpszProgID
// (CoTaskMemAlloc'd). Returns S_OK, E_INVALIDARG, REGDB_E_CLASSNOTREG.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);

// --- Task memory -------------------------------------------------------------

// Memory that crosses a COM boundary (strings returned by the runtime, by
// GetCategoryDesc, ...). CoTaskMemFree accepts null.
LPVOID CoTaskMemAlloc(SIZE_T cb);
LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
void CoTaskMemFree(LPVOID pv);

// --- Modules -------------------------------------------------------------------

// Opens a shared library (dlopen, RTLD_NOW) and returns its handle, or null
// with GetLastError() = ERROR_MOD_NOT_FOUND. Paths are UTF-8 (A) or wide (W).
HMODULE LoadLibraryA(LPCSTR lpLibFileName);
HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
// dlsym on a handle from LoadLibrary; null with ERROR_PROC_NOT_FOUND.
void* GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
// dlclose on a handle from LoadLibrary. TRUE on success.
BOOL FreeLibrary(HMODULE hLibModule);

// Writes the path of module `hModule` into lpFilename (nSize characters
// including the terminator). `hModule` is null (the executable), a handle
// from LoadLibrary, or any address inside a loaded module — a module finds
// its own with platform::ThisModule(). Returns the number of characters
// written without the terminator; when the buffer is too small, the path is
// truncated, nSize is returned and the last error is
// ERROR_INSUFFICIENT_BUFFER; 0 on failure (ERROR_MOD_NOT_FOUND).
DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

// The calling thread's last Win32 error code.
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

}  // extern "C"

namespace platform {

namespace detail {
// A distinct object in every module (internal linkage): its address lies
// inside the module whose code refers to it.
static const char this_module_marker = 0;
}  // namespace detail

// The HMODULE of the module (executable or shared library) containing the
// calling code, for GetModuleFileName: how a server learns its own path for
// registration (%MODULE%).
static inline HMODULE ThisModule() {
    return reinterpret_cast<HMODULE>(const_cast<char*>(&detail::this_module_marker));
}

// Why the most recent attempt to open a server module failed (dlerror text,
// or a missing export); empty when the last attempt succeeded.
std::string LastServerLoadError();

// Number of server modules currently loaded through InprocServer32.
int LoadedServerCount();

// True when the server module at `path` (as written in InprocServer32) is
// currently loaded.
bool IsServerLoaded(const std::wstring& path);

// Revokes every class object registered with CoRegisterClassObject (test
// isolation). Returns how many were revoked.
int RevokeAllClassObjects();

}  // namespace platform
