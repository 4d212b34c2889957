// The COM runtime: per-thread initialisation, the process's class-object
// table, in-process server modules opened with dlopen, GUID strings and
// ProgIDs, task memory, module file names and the last error.

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/builtin_classes.h"
#include "platform/com.h"

namespace {

// --- per-thread state --------------------------------------------------------
thread_local int t_init_count = 0;
thread_local DWORD t_init_model = 0;
thread_local DWORD t_last_error = 0;

// --- class objects registered in this process ---------------------------------
struct Registration {
    DWORD cookie;
    CLSID clsid;
    IUnknown* object;  // one reference held
    DWORD flags;
    bool used;  // a REGCLS_SINGLEUSE object already handed out
    std::thread::id owner;
};

// --- server modules --------------------------------------------------------------
struct ServerModule {
    void* handle;
    LPFNGETCLASSOBJECT get_class_object;
    LPFNCANUNLOADNOW can_unload_now;  // may be null
};

struct Runtime {
    std::mutex mutex;
    std::vector<Registration> registrations;
    DWORD next_cookie = 1;
    std::map<std::string, ServerModule> modules;  // by path as registered
    std::set<void*> library_handles;              // from LoadLibrary
    std::string last_load_error;
};

// Never destroyed: objects may be released during static destruction.
Runtime& runtime() {
    static Runtime* r = new Runtime;
    return *r;
}

// Opens (or finds) the server module at `path`; outside the lock the caller
// then uses the function pointers, which stay valid until
// CoFreeUnusedLibraries, which only closes modules that agreed to unload.
// dlopen runs without the lock held: a module's static initialisers may call
// back into the runtime.
HRESULT LoadServer(const std::wstring& wpath, LPFNGETCLASSOBJECT* get) {
    const std::string path = platform::Utf8FromWide(wpath);
    Runtime& r = runtime();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        auto it = r.modules.find(path);
        if (it != r.modules.end()) {
            *get = it->second.get_class_object;
            return S_OK;
        }
        if (path.empty()) {
            r.last_load_error = "empty InprocServer32 path";
            return CO_E_DLLNOTFOUND;
        }
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        std::lock_guard<std::mutex> lock(r.mutex);
        r.last_load_error = why ? why : ("cannot open " + path);
        return CO_E_DLLNOTFOUND;
    }
    auto get_fn = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(handle, "DllGetClassObject"));
    if (!get_fn) {
        dlclose(handle);
        std::lock_guard<std::mutex> lock(r.mutex);
        r.last_load_error = path + ": no DllGetClassObject export";
        return CO_E_ERRORINDLL;
    }
    auto unload_fn = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(handle, "DllCanUnloadNow"));
    bool duplicate = false;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        auto inserted = r.modules.emplace(path, ServerModule{handle, get_fn, unload_fn});
        // Another thread may have loaded the same path meanwhile: keep one.
        duplicate = !inserted.second;
        *get = inserted.first->second.get_class_object;
        r.last_load_error.clear();
    }
    if (duplicate) {
        dlclose(handle);  // drops only our extra reference to the same library
    }
    return S_OK;
}

// Finds a registered class object for `clsid`, AddRef'd, or null: the one the
// calling thread registered last, else the one any thread registered last
// (threads that each offer their own host's classes get their own).
IUnknown* FindRegistered(REFCLSID clsid) {
    Runtime& r = runtime();
    std::lock_guard<std::mutex> lock(r.mutex);
    const auto self = std::this_thread::get_id();
    for (int pass = 0; pass < 2; ++pass) {
        for (auto it = r.registrations.rbegin(); it != r.registrations.rend(); ++it) {
            if (!IsEqualCLSID(it->clsid, clsid) || (pass == 0 && it->owner != self)) {
                continue;
            }
            if ((it->flags & REGCLS_MULTIPLEUSE) == 0 && (it->flags & REGCLS_MULTI_SEPARATE) == 0) {
                if (it->used) {
                    continue;
                }
                it->used = true;
            }
            it->object->AddRef();
            return it->object;
        }
    }
    return nullptr;
}

void ReleaseRegistrations(std::vector<Registration>& gone) {
    for (auto& g : gone) {
        g.object->Release();
    }
}

std::string ExecutablePath() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) {
        return std::string();
    }
    return std::string(buf, static_cast<size_t>(n));
}

// The file of the module identified by `h` (see GetModuleFileName).
bool ModulePath(HMODULE h, std::string* path) {
    if (!h) {
        *path = ExecutablePath();
        return !path->empty();
    }
    Runtime& r = runtime();
    bool is_handle = false;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        is_handle = r.library_handles.count(h) > 0;
        for (const auto& [p, m] : r.modules) {
            if (m.handle == static_cast<void*>(h)) {
                is_handle = true;
            }
        }
    }
    if (is_handle) {
        struct link_map* map = nullptr;
        if (dlinfo(h, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && map->l_name[0]) {
            *path = map->l_name;
            return true;
        }
        *path = ExecutablePath();
        return !path->empty();
    }
    Dl_info info;
    if (dladdr(static_cast<const void*>(h), &info) == 0 || !info.dli_fname) {
        return false;
    }
    // The main program is reported under the name it was started with.
    void* self = dlopen(nullptr, RTLD_NOW | RTLD_NOLOAD);
    struct link_map* main_map = nullptr;
    if (self && dlinfo(self, RTLD_DI_LINKMAP, &main_map) == 0 && main_map &&
        reinterpret_cast<void*>(main_map->l_addr) == info.dli_fbase) {
        *path = ExecutablePath();
    } else if (std::strchr(info.dli_fname, '/') == nullptr) {
        *path = ExecutablePath();
    } else {
        *path = info.dli_fname;
    }
    if (self) {
        dlclose(self);
    }
    return !path->empty();
}

int HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return -1;
}

bool ParseHex(const wchar_t* s, int digits, uint64_t* out) {
    uint64_t v = 0;
    for (int i = 0; i < digits; ++i) {
        const int h = HexValue(s[i]);
        if (h < 0) {
            return false;
        }
        v = v * 16 + static_cast<uint64_t>(h);
    }
    *out = v;
    return true;
}

LPOLESTR TaskString(const std::wstring& s) {
    auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc((s.size() + 1) * sizeof(OLECHAR)));
    if (p) {
        std::memcpy(p, s.c_str(), (s.size() + 1) * sizeof(OLECHAR));
    }
    return p;
}

}  // namespace

namespace platform {
namespace detail {

std::wstring GuidString(REFGUID g) {
    wchar_t buf[40];
    std::swprintf(buf, 40, L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), static_cast<unsigned>(g.Data2),
                  static_cast<unsigned>(g.Data3), g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                  g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

bool ParseGuid(const wchar_t* s, GUID* out) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (!s || std::wcslen(s) != 38 || s[0] != L'{' || s[37] != L'}' || s[9] != L'-' ||
        s[14] != L'-' || s[19] != L'-' || s[24] != L'-') {
        return false;
    }
    uint64_t v;
    GUID g{};
    if (!ParseHex(s + 1, 8, &v)) {
        return false;
    }
    g.Data1 = static_cast<uint32_t>(v);
    if (!ParseHex(s + 10, 4, &v)) {
        return false;
    }
    g.Data2 = static_cast<uint16_t>(v);
    if (!ParseHex(s + 15, 4, &v)) {
        return false;
    }
    g.Data3 = static_cast<uint16_t>(v);
    const int offsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ParseHex(s + offsets[i], 2, &v)) {
            return false;
        }
        g.Data4[i] = static_cast<uint8_t>(v);
    }
    *out = g;
    return true;
}

bool ReadDefaultString(HKEY root, const std::wstring& path, std::wstring* out) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD type = 0;
    DWORD cb = 0;
    LONG r = RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &cb);
    bool ok = false;
    if (r == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::wstring text(cb / sizeof(wchar_t) + 1, L'\0');
        r = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(&text[0]), &cb);
        if (r == ERROR_SUCCESS) {
            text.resize(cb / sizeof(wchar_t));
            while (!text.empty() && text.back() == L'\0') {
                text.pop_back();
            }
            *out = text;
            ok = true;
        }
    }
    RegCloseKey(key);
    return ok;
}

}  // namespace detail

std::string LastServerLoadError() {
    Runtime& r = runtime();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.last_load_error;
}

int LoadedServerCount() {
    Runtime& r = runtime();
    std::lock_guard<std::mutex> lock(r.mutex);
    return static_cast<int>(r.modules.size());
}

bool IsServerLoaded(const std::wstring& path) {
    const std::string p = Utf8FromWide(path);
    Runtime& r = runtime();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.modules.count(p) > 0;
}

int RevokeAllClassObjects() {
    std::vector<Registration> gone;
    {
        Runtime& r = runtime();
        std::lock_guard<std::mutex> lock(r.mutex);
        gone.swap(r.registrations);
    }
    ReleaseRegistrations(gone);
    return static_cast<int>(gone.size());
}

}  // namespace platform

using platform::detail::GuidString;
using platform::detail::ParseGuid;
using platform::detail::ReadDefaultString;

extern "C" {

// --- Initialisation -------------------------------------------------------------

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    if (pvReserved) {
        return E_INVALIDARG;
    }
    const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
    if (t_init_count > 0) {
        if (model != t_init_model) {
            return RPC_E_CHANGED_MODE;
        }
        ++t_init_count;
        return S_FALSE;
    }
    t_init_model = model;
    t_init_count = 1;
    return S_OK;
}

HRESULT CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
    if (t_init_count == 0) {
        return;
    }
    if (--t_init_count > 0) {
        return;
    }
    // Last one on this thread: revoke the thread's class objects, then let
    // idle server modules go.
    std::vector<Registration> gone;
    {
        Runtime& r = runtime();
        std::lock_guard<std::mutex> lock(r.mutex);
        const auto self = std::this_thread::get_id();
        auto keep = std::stable_partition(r.registrations.begin(), r.registrations.end(),
                                          [&](const Registration& g) { return g.owner != self; });
        gone.assign(keep, r.registrations.end());
        r.registrations.erase(keep, r.registrations.end());
    }
    ReleaseRegistrations(gone);
    CoFreeUnusedLibraries();
}

HRESULT OleInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void OleUninitialize() {
    CoUninitialize();
}

// --- Class objects -------------------------------------------------------------------

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                         LPVOID* ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (pvReserved) {
        return E_INVALIDARG;
    }
    if (t_init_count == 0) {
        return CO_E_NOTINITIALIZED;
    }
    if (dwClsContext & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER)) {
        if (IUnknown* object = FindRegistered(rclsid)) {
            HRESULT hr = object->QueryInterface(riid, ppv);
            object->Release();
            return hr;
        }
    }
    if (!(dwClsContext & CLSCTX_INPROC_SERVER)) {
        return REGDB_E_CLASSNOTREG;
    }
    HRESULT hr = S_OK;
    if (platform::detail::GetBuiltinClassObject(rclsid, riid, ppv, &hr)) {
        return hr;
    }
    std::wstring path;
    if (!ReadDefaultString(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidString(rclsid) + L"\\InprocServer32",
                           &path)) {
        return REGDB_E_CLASSNOTREG;
    }
    LPFNGETCLASSOBJECT get = nullptr;
    hr = LoadServer(path, &get);
    if (FAILED(hr)) {
        return hr;
    }
    hr = get(rclsid, riid, ppv);
    if (FAILED(hr)) {
        *ppv = nullptr;
    }
    return hr;
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        return hr;
    }
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(hr)) {
        *ppv = nullptr;
    }
    return hr;
}

HRESULT CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD, DWORD flags,
                              LPDWORD lpdwRegister) {
    if (!pUnk || !lpdwRegister) {
        return E_INVALIDARG;
    }
    if (t_init_count == 0) {
        return CO_E_NOTINITIALIZED;
    }
    Runtime& r = runtime();
    pUnk->AddRef();
    std::lock_guard<std::mutex> lock(r.mutex);
    const DWORD cookie = r.next_cookie++;
    r.registrations.push_back(
        Registration{cookie, rclsid, pUnk, flags, false, std::this_thread::get_id()});
    *lpdwRegister = cookie;
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD dwRegister) {
    IUnknown* object = nullptr;
    {
        Runtime& r = runtime();
        std::lock_guard<std::mutex> lock(r.mutex);
        auto it = std::find_if(r.registrations.begin(), r.registrations.end(),
                               [&](const Registration& g) { return g.cookie == dwRegister; });
        if (it == r.registrations.end()) {
            return CO_E_OBJNOTREG;
        }
        object = it->object;
        r.registrations.erase(it);
    }
    object->Release();
    return S_OK;
}

HRESULT CoResumeClassObjects() {
    return S_OK;
}

void CoFreeUnusedLibraries() {
    Runtime& r = runtime();
    std::vector<std::pair<std::string, ServerModule>> candidates;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        for (const auto& m : r.modules) {
            if (m.second.can_unload_now) {
                candidates.push_back(m);
            }
        }
    }
    for (const auto& [path, module] : candidates) {
        if (module.can_unload_now() != S_OK) {
            continue;
        }
        bool close = false;
        {
            std::lock_guard<std::mutex> lock(r.mutex);
            auto it = r.modules.find(path);
            if (it != r.modules.end() && it->second.handle == module.handle) {
                r.modules.erase(it);
                close = true;
            }
        }
        if (close) {
            dlclose(module.handle);
        }
    }
}

void CoFreeUnusedLibrariesEx(DWORD, DWORD) {
    CoFreeUnusedLibraries();
}

// --- GUID strings and ProgIDs --------------------------------------------------------

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (!lpsz || cchMax < 39) {
        return 0;
    }
    const std::wstring s = GuidString(rguid);
    std::memcpy(lpsz, s.c_str(), (s.size() + 1) * sizeof(OLECHAR));
    return static_cast<int>(s.size() + 1);
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    if (!lplpsz) {
        return E_INVALIDARG;
    }
    *lplpsz = TaskString(GuidString(rclsid));
    return *lplpsz ? S_OK : E_OUTOFMEMORY;
}

HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) {
    return StringFromCLSID(rclsid, lplpsz);
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
    if (!pclsid) {
        return E_INVALIDARG;
    }
    if (!lpsz) {
        *pclsid = CLSID_NULL;
        return S_OK;
    }
    if (ParseGuid(lpsz, pclsid)) {
        return S_OK;
    }
    if (lpsz[0] != L'{' && SUCCEEDED(CLSIDFromProgID(lpsz, pclsid))) {
        return S_OK;
    }
    *pclsid = CLSID_NULL;
    return CO_E_CLASSSTRING;
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
    if (!lpiid) {
        return E_INVALIDARG;
    }
    if (!lpsz) {
        *lpiid = IID_NULL;
        return S_OK;
    }
    return ParseGuid(lpsz, lpiid) ? S_OK : E_INVALIDARG;
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid) {
    if (!lpszProgID || !lpclsid) {
        return E_INVALIDARG;
    }
    std::wstring progid = lpszProgID;
    // A version-independent ProgID names its current version in CurVer; a
    // few levels are followed, which also stops a CurVer cycle.
    for (int depth = 0; depth < 8 && !progid.empty(); ++depth) {
        std::wstring text;
        if (ReadDefaultString(HKEY_CLASSES_ROOT, progid + L"\\CLSID", &text)) {
            return ParseGuid(text.c_str(), lpclsid) ? S_OK : CO_E_CLASSSTRING;
        }
        std::wstring next;
        if (!ReadDefaultString(HKEY_CLASSES_ROOT, progid + L"\\CurVer", &next)) {
            break;
        }
        progid = next;
    }
    return CO_E_CLASSSTRING;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (!lplpszProgID) {
        return E_INVALIDARG;
    }
    *lplpszProgID = nullptr;
    std::wstring text;
    if (!ReadDefaultString(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidString(clsid) + L"\\ProgID",
                           &text)) {
        return REGDB_E_CLASSNOTREG;
    }
    *lplpszProgID = TaskString(text);
    return *lplpszProgID ? S_OK : E_OUTOFMEMORY;
}

// --- Task memory -------------------------------------------------------------------------

LPVOID CoTaskMemAlloc(SIZE_T cb) {
    return std::malloc(cb ? cb : 1);
}

LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
    return std::realloc(pv, cb ? cb : 1);
}

void CoTaskMemFree(LPVOID pv) {
    std::free(pv);
}

// --- Modules ---------------------------------------------------------------------------------

HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
    if (!lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* handle = dlopen(lpLibFileName, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    Runtime& r = runtime();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.library_handles.insert(handle);
    return static_cast<HMODULE>(handle);
}

HMODULE LoadLibraryW(LPCWSTR lpLibFileName) {
    if (!lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryA(platform::Utf8FromWide(lpLibFileName, std::wcslen(lpLibFileName)).c_str());
}

void* GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    if (!hModule || !lpProcName) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* p = dlsym(hModule, lpProcName);
    if (!p) {
        SetLastError(ERROR_PROC_NOT_FOUND);
    }
    return p;
}

BOOL FreeLibrary(HMODULE hLibModule) {
    if (!hLibModule) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    {
        Runtime& r = runtime();
        std::lock_guard<std::mutex> lock(r.mutex);
        auto it = r.library_handles.find(hLibModule);
        if (it == r.library_handles.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        r.library_handles.erase(it);
    }
    return dlclose(hLibModule) == 0 ? TRUE : FALSE;
}

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    std::string path;
    if (!ModulePath(hModule, &path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!lpFilename || nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() + 1 > nSize) {
        std::memcpy(lpFilename, path.data(), nSize - 1);
        lpFilename[nSize - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::memcpy(lpFilename, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    std::string utf8;
    if (!ModulePath(hModule, &utf8)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    const std::wstring path = platform::WideFromUtf8(utf8);
    if (!lpFilename || nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() + 1 > nSize) {
        std::memcpy(lpFilename, path.data(), (nSize - 1) * sizeof(wchar_t));
        lpFilename[nSize - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::memcpy(lpFilename, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

DWORD GetLastError() {
    return t_last_error;
}

void SetLastError(DWORD dwErrCode) {
    t_last_error = dwErrCode;
}

}  // extern "C"
