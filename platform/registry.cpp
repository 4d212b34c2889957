// The in-memory registry: a tree of keys per predefined root, counted
// handles, the Reg* functions and text persistence.

#include <locale.h>
#include <wctype.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/com.h"

// A handle: a counted reference to a key. Declared opaque in win_types.h.
struct HKEY__ {
    static constexpr uint32_t kMagic = 0x4b455931;  // detects stray pointers
    uint32_t magic = kMagic;
    std::shared_ptr<struct RegKey> key;
};

struct RegValue {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegKey {
    std::wstring name;
    std::map<std::wstring, std::shared_ptr<RegKey>> children;  // by folded name
    std::vector<RegValue> values;                              // creation order
    bool deleted = false;
};

namespace {

constexpr const wchar_t* kRootNames[] = {L"HKEY_CLASSES_ROOT", L"HKEY_CURRENT_USER",
                                         L"HKEY_LOCAL_MACHINE", L"HKEY_USERS"};
constexpr int kRootCount = 4;

struct Registry {
    std::mutex mutex;
    std::shared_ptr<RegKey> roots[kRootCount];
    Registry() {
        for (int i = 0; i < kRootCount; ++i) {
            roots[i] = std::make_shared<RegKey>();
            roots[i]->name = kRootNames[i];
        }
    }
};

// Never destroyed, so that handles closed during static destruction are safe.
Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

// Upper-casing of non-ASCII characters uses the Unicode tables of the C.UTF-8
// locale, whatever locale the process runs in; without it, only ASCII folds.
locale_t UnicodeLocale() {
    static locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return loc;
}

// Case folding for key and value names (Windows compares upper-cased names).
std::wstring Fold(const std::wstring& s) {
    std::wstring f = s;
    for (auto& c : f) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        } else if (c > 0x7f && UnicodeLocale()) {
            c = static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), UnicodeLocale()));
        }
    }
    return f;
}

std::wstring WideOrEmpty(LPCWSTR s) {
    return s ? std::wstring(s) : std::wstring();
}

int RootIndex(HKEY h) {
    const auto v = reinterpret_cast<ULONG_PTR>(h);
    if (v >= 0x80000000u && v < 0x80000000u + kRootCount) {
        return static_cast<int>(v - 0x80000000u);
    }
    return -1;
}

// Resolves a handle (predefined root or opened key) to its key; null when the
// handle is invalid. Caller holds the lock.
std::shared_ptr<RegKey> KeyOf(HKEY h, LONG* error) {
    if (!h) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    const int root = RootIndex(h);
    if (root >= 0) {
        return registry().roots[root];
    }
    if (h->magic != HKEY__::kMagic || !h->key) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (h->key->deleted) {
        *error = ERROR_KEY_DELETED;
        return nullptr;
    }
    return h->key;
}

std::vector<std::wstring> SplitPath(const std::wstring& path) {
    std::vector<std::wstring> parts;
    std::wstring part;
    for (wchar_t c : path) {
        if (c == L'\\') {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) {
        parts.push_back(part);
    }
    return parts;
}

std::shared_ptr<RegKey> Child(const std::shared_ptr<RegKey>& key, const std::wstring& name) {
    auto it = key->children.find(Fold(name));
    return it == key->children.end() ? nullptr : it->second;
}

// Walks (and with `create`, builds) the path below `key`. Caller holds the lock.
std::shared_ptr<RegKey> Walk(std::shared_ptr<RegKey> key, const std::wstring& path, bool create,
                             bool* created) {
    if (created) {
        *created = false;
    }
    for (const auto& part : SplitPath(path)) {
        auto next = Child(key, part);
        if (!next) {
            if (!create) {
                return nullptr;
            }
            next = std::make_shared<RegKey>();
            next->name = part;
            key->children[Fold(part)] = next;
            if (created) {
                *created = true;
            }
        }
        key = next;
    }
    return key;
}

void MarkDeleted(RegKey& key) {
    key.deleted = true;
    for (auto& [name, child] : key.children) {
        MarkDeleted(*child);
    }
    key.children.clear();
    key.values.clear();
}

HKEY NewHandle(std::shared_ptr<RegKey> key) {
    auto* h = new (std::nothrow) HKEY__;
    if (h) {
        h->key = std::move(key);
    }
    return h;
}

RegValue* FindValue(RegKey& key, const std::wstring& name) {
    const std::wstring folded = Fold(name);
    for (auto& v : key.values) {
        if (Fold(v.name) == folded) {
            return &v;
        }
    }
    return nullptr;
}

bool IsText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Stores bytes as a value, adding the terminator REG_SZ text may lack.
void SetValue(RegKey& key, const std::wstring& name, DWORD type, const BYTE* data, DWORD cb) {
    std::vector<BYTE> bytes(data, data + cb);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        bytes.resize((bytes.size() + sizeof(wchar_t) - 1) / sizeof(wchar_t) * sizeof(wchar_t));
        const size_t n = bytes.size() / sizeof(wchar_t);
        wchar_t last = 0;
        if (n > 0) {
            std::memcpy(&last, bytes.data() + (n - 1) * sizeof(wchar_t), sizeof(wchar_t));
        }
        if (n == 0 || last != 0) {
            bytes.resize(bytes.size() + sizeof(wchar_t), 0);
        }
    }
    if (RegValue* v = FindValue(key, name)) {
        v->type = type;
        v->data = std::move(bytes);
        return;
    }
    key.values.push_back(RegValue{name, type, std::move(bytes)});
}

// Copies `bytes` to a caller buffer with the RegQueryValueEx contract.
LONG Deliver(const std::vector<BYTE>& bytes, LPBYTE data, LPDWORD cb) {
    if (data && !cb) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!cb) {
        return ERROR_SUCCESS;
    }
    const DWORD needed = static_cast<DWORD>(bytes.size());
    if (!data) {
        *cb = needed;
        return ERROR_SUCCESS;
    }
    if (*cb < needed) {
        *cb = needed;
        return ERROR_MORE_DATA;
    }
    if (needed) {
        std::memcpy(data, bytes.data(), needed);
    }
    *cb = needed;
    return ERROR_SUCCESS;
}

// Wide text stored as bytes <-> UTF-8 bytes (terminators kept as they are).
std::vector<BYTE> Utf8BytesOf(const std::vector<BYTE>& wide) {
    std::wstring w(wide.size() / sizeof(wchar_t), L'\0');
    std::memcpy(&w[0], wide.data(), w.size() * sizeof(wchar_t));
    const std::string s = platform::Utf8FromWide(w);
    return std::vector<BYTE>(s.begin(), s.end());
}

std::vector<BYTE> WideBytesOf(const BYTE* data, DWORD cb) {
    const std::wstring w = platform::WideFromUtf8(reinterpret_cast<const char*>(data), cb);
    std::vector<BYTE> bytes(w.size() * sizeof(wchar_t));
    if (!w.empty()) {
        std::memcpy(bytes.data(), w.data(), bytes.size());
    }
    return bytes;
}

std::wstring W(LPCSTR s) {
    return s ? platform::WideFromUtf8(s, std::strlen(s)) : std::wstring();
}

// Copies a name into a caller buffer of *cch characters (RegEnumKeyEx
// contract).
LONG DeliverName(const std::wstring& name, LPWSTR buf, LPDWORD cch) {
    if (!buf || !cch) {
        return ERROR_INVALID_PARAMETER;
    }
    if (*cch < name.size() + 1) {
        *cch = static_cast<DWORD>(name.size() + 1);
        return ERROR_MORE_DATA;
    }
    std::memcpy(buf, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    *cch = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

LONG DeliverNameA(const std::wstring& name, LPSTR buf, LPDWORD cch) {
    if (!buf || !cch) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string s = platform::Utf8FromWide(name);
    if (*cch < s.size() + 1) {
        *cch = static_cast<DWORD>(s.size() + 1);
        return ERROR_MORE_DATA;
    }
    std::memcpy(buf, s.c_str(), s.size() + 1);
    *cch = static_cast<DWORD>(s.size());
    return ERROR_SUCCESS;
}

// RegEnumKeyEx for either character width: `deliver` copies the subkey's
// name into the caller's buffer in that width.
template <class Char, class Deliver>
LONG EnumKeyEx(HKEY hKey, DWORD dwIndex, Char* lpName, LPDWORD lpcchName, Char* lpClass,
               LPDWORD lpcchClass, PFILETIME lpftLastWriteTime, Deliver deliver) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    LONG error = ERROR_SUCCESS;
    auto key = KeyOf(hKey, &error);
    if (!key) {
        return error;
    }
    if (dwIndex >= key->children.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    auto it = key->children.begin();
    std::advance(it, dwIndex);
    LONG r = deliver(it->second->name, lpName, lpcchName);
    if (r != ERROR_SUCCESS) {
        return r;
    }
    if (lpClass && lpcchClass && *lpcchClass > 0) {
        lpClass[0] = 0;
        *lpcchClass = 0;
    }
    if (lpftLastWriteTime) {
        *lpftLastWriteTime = FILETIME{0, 0};
    }
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM, void*,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (!phkResult) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    std::lock_guard<std::mutex> lock(registry().mutex);
    LONG error = ERROR_SUCCESS;
    auto key = KeyOf(hKey, &error);
    if (!key) {
        return error;
    }
    bool created = false;
    key = Walk(key, WideOrEmpty(lpSubKey), true, &created);
    HKEY h = NewHandle(key);
    if (!h) {
        return ERROR_OUTOFMEMORY;
    }
    *phkResult = h;
    if (lpdwDisposition) {
        *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD reserved, LPSTR, DWORD options, REGSAM sam,
                     void* security, PHKEY phkResult, LPDWORD lpdwDisposition) {
    const std::wstring sub = W(lpSubKey);
    return RegCreateKeyExW(hKey, sub.c_str(), reserved, nullptr, options, sam, security, phkResult,
                           lpdwDisposition);
}

LONG RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
    return RegCreateKeyExW(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, phkResult, nullptr);
}

LONG RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    const std::wstring sub = W(lpSubKey);
    return RegCreateKeyW(hKey, sub.c_str(), phkResult);
}

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    if (!phkResult) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    std::lock_guard<std::mutex> lock(registry().mutex);
    LONG error = ERROR_SUCCESS;
    auto key = KeyOf(hKey, &error);
    if (!key) {
        return error;
    }
    key = Walk(key, WideOrEmpty(lpSubKey), false, nullptr);
    if (!key) {
        return ERROR_FILE_NOT_FOUND;
    }
    HKEY h = NewHandle(key);
    if (!h) {
        return ERROR_OUTOFMEMORY;
    }
    *phkResult = h;
    return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD options, REGSAM sam, PHKEY phkResult) {
    const std::wstring sub = W(lpSubKey);
    return RegOpenKeyExW(hKey, sub.c_str(), options, sam, phkResult);
}

LONG RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
    return RegOpenKeyExW(hKey, lpSubKey, 0, KEY_ALL_ACCESS, phkResult);
}

LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    return RegOpenKeyExA(hKey, lpSubKey, 0, KEY_ALL_ACCESS, phkResult);
}

LONG RegCloseKey(HKEY hKey) {
    if (!hKey) {
        return ERROR_INVALID_HANDLE;
    }
    if (RootIndex(hKey) >= 0) {
        return ERROR_SUCCESS;
    }
    if (hKey->magic != HKEY__::kMagic) {
        return ERROR_INVALID_HANDLE;
    }
    std::lock_guard<std::mutex> lock(registry().mutex);
    hKey->magic = 0;
    delete hKey;
    return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
    if (!lpData && cbData) {
        return ERROR_INVALID_PARAMETER;
    }
    if (dwType == REG_DWORD && cbData != 4) {
        return ERROR_INVALID_PARAMETER;
    }
    if (dwType == REG_QWORD && cbData != 8) {
        return ERROR_INVALID_PARAMETER;
    }
    std::lock_guard<std::mutex> lock(registry().mutex);
    LONG error = ERROR_SUCCESS;
    auto key = KeyOf(hKey, &error);
    if (!key) {
        return error;
    }
    SetValue(*key, WideOrEmpty(lpValueName), dwType, lpData, cbData);
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
    const std::wstring name = W(lpValueName);
    if (IsText(dwType) && lpData) {
        const std::vector<BYTE> wide = WideBytesOf(lpData, cbData);
        return RegSetValueExW(hKey, name.c_str(), reserved, dwType, wide.data(),
                              static_cast<DWORD>(wide.size()));
    }
    return RegSetValueExW(hKey, name.c_str(), reserved, dwType, lpData, cbData);
}

LONG RegSetValueW(HKEY hKey, LPCWSTR lpSubKey, DWORD dwType, LPCWSTR lpData, DWORD) {
    if (dwType != REG_SZ || !lpData) {
        return ERROR_INVALID_PARAMETER;
    }
    HKEY sub = nullptr;
    LONG r = RegCreateKeyW(hKey, lpSubKey, &sub);
    if (r != ERROR_SUCCESS) {
        return r;
    }
    r = RegSetValueExW(sub, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(lpData),
                       static_cast<DWORD>((std::wcslen(lpData) + 1) * sizeof(wchar_t)));
    RegCloseKey(sub);
    return r;
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    LONG error = ERROR_SUCCESS;
    auto key = KeyOf(hKey, &error);
    if (!key) {
        return error;
    }
    const RegValue* v = FindValue(*key, WideOrEmpty(lpValueName));
    if (!v) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (lpType) {
        *lpType = v->type;
    }
    return Deliver(v->data, lpData, lpcbData);
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData) {
    const std::wstring name = W(lpValueName);
    std::lock_guard<std::mutex> lock(registry().mutex);
    LONG error = ERROR_SUCCESS;
    auto key = KeyOf(hKey, &error);
    if (!key) {
        return error;
    }
    const RegValue* v = FindValue(*key, name);
    if (!v) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (lpType) {
        *lpType = v->type;
    }
    return Deliver(IsText(v->type) ? Utf8BytesOf(v->data) : v->data, lpData, lpcbData);
}

LONG RegGetValueW(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, DWORD dwFlags, LPDWORD pdwType,
                  PVOID pvData, LPDWORD pcbData) {
    HKEY sub = nullptr;
    LONG r = RegOpenKeyExW(hkey, lpSubKey, 0, KEY_READ, &sub);
    if (r != ERROR_SUCCESS) {
        return r;
    }
    DWORD type = REG_NONE;
    r = RegQueryValueExW(sub, lpValue, nullptr, &type, nullptr, nullptr);
    if (r == ERROR_SUCCESS) {
        DWORD allowed = 0;
        switch (type) {
            case REG_NONE:
                allowed = RRF_RT_REG_NONE;
                break;
            case REG_SZ:
                allowed = RRF_RT_REG_SZ;
                break;
            case REG_EXPAND_SZ:
                allowed = RRF_RT_REG_EXPAND_SZ;
                break;
            case REG_BINARY:
                allowed = RRF_RT_REG_BINARY;
                break;
            case REG_DWORD:
                allowed = RRF_RT_REG_DWORD;
                break;
            case REG_MULTI_SZ:
                allowed = RRF_RT_REG_MULTI_SZ;
                break;
            case REG_QWORD:
                allowed = RRF_RT_REG_QWORD;
                break;
            default:
                break;
        }
        if (!(dwFlags & allowed)) {
            r = ERROR_UNSUPPORTED_TYPE;
        } else {
            r = RegQueryValueExW(sub, lpValue, nullptr, pdwType, static_cast<LPBYTE>(pvData),
                                 pcbData);
        }
    }
    RegCloseKey(sub);
    return r;
}

LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    const auto parts = SplitPath(WideOrEmpty(lpSubKey));
    if (parts.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    std::lock_guard<std::mutex> lock(registry().mutex);
    LONG error = ERROR_SUCCESS;
    auto key = KeyOf(hKey, &error);
    if (!key) {
        return error;
    }
    std::wstring parent_path;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        parent_path += parts[i] + L"\\";
    }
    auto parent = Walk(key, parent_path, false, nullptr);
    auto victim = parent ? Child(parent, parts.back()) : nullptr;
    if (!victim) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (!victim->children.empty()) {
        return ERROR_ACCESS_DENIED;
    }
    parent->children.erase(Fold(parts.back()));
    MarkDeleted(*victim);
    return ERROR_SUCCESS;
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    const std::wstring sub = W(lpSubKey);
    return RegDeleteKeyW(hKey, sub.c_str());
}

LONG RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    LONG error = ERROR_SUCCESS;
    auto key = KeyOf(hKey, &error);
    if (!key) {
        return error;
    }
    const auto parts = SplitPath(WideOrEmpty(lpSubKey));
    if (parts.empty()) {
        for (auto& [name, child] : key->children) {
            MarkDeleted(*child);
        }
        key->children.clear();
        key->values.clear();
        return ERROR_SUCCESS;
    }
    std::wstring parent_path;
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        parent_path += parts[i] + L"\\";
    }
    auto parent = Walk(key, parent_path, false, nullptr);
    auto victim = parent ? Child(parent, parts.back()) : nullptr;
    if (!victim) {
        return ERROR_FILE_NOT_FOUND;
    }
    parent->children.erase(Fold(parts.back()));
    MarkDeleted(*victim);
    return ERROR_SUCCESS;
}

LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) {
    if (!lpSubKey) {
        return RegDeleteTreeW(hKey, nullptr);
    }
    const std::wstring sub = W(lpSubKey);
    return RegDeleteTreeW(hKey, sub.c_str());
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    LONG error = ERROR_SUCCESS;
    auto key = KeyOf(hKey, &error);
    if (!key) {
        return error;
    }
    const std::wstring folded = Fold(WideOrEmpty(lpValueName));
    for (auto it = key->values.begin(); it != key->values.end(); ++it) {
        if (Fold(it->name) == folded) {
            key->values.erase(it);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    const std::wstring name = W(lpValueName);
    return RegDeleteValueW(hKey, name.c_str());
}

LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD,
                   LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    return EnumKeyEx(hKey, dwIndex, lpName, lpcchName, lpClass, lpcchClass, lpftLastWriteTime,
                     [](const std::wstring& name, LPWSTR out, LPDWORD cch) {
                         return DeliverName(name, out, cch);
                     });
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    return EnumKeyEx(hKey, dwIndex, lpName, lpcchName, lpClass, lpcchClass, lpftLastWriteTime,
                     [](const std::wstring& name, LPSTR out, LPDWORD cch) {
                         return DeliverNameA(name, out, cch);
                     });
}

LONG RegEnumKeyW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD cchName) {
    DWORD cch = cchName;
    return RegEnumKeyExW(hKey, dwIndex, lpName, &cch, nullptr, nullptr, nullptr, nullptr);
}

LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD,
                   LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    LONG error = ERROR_SUCCESS;
    auto key = KeyOf(hKey, &error);
    if (!key) {
        return error;
    }
    if (dwIndex >= key->values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const RegValue& v = key->values[dwIndex];
    LONG r = DeliverName(v.name, lpValueName, lpcchValueName);
    if (r != ERROR_SUCCESS) {
        return r;
    }
    if (lpType) {
        *lpType = v.type;
    }
    return Deliver(v.data, lpData, lpcbData);
}

LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD, LPDWORD lpcSubKeys,
                      LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                      LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    std::lock_guard<std::mutex> lock(registry().mutex);
    LONG error = ERROR_SUCCESS;
    auto key = KeyOf(hKey, &error);
    if (!key) {
        return error;
    }
    DWORD max_sub = 0, max_name = 0, max_data = 0;
    for (const auto& [folded, child] : key->children) {
        max_sub = std::max<DWORD>(max_sub, static_cast<DWORD>(child->name.size()));
    }
    for (const auto& v : key->values) {
        max_name = std::max<DWORD>(max_name, static_cast<DWORD>(v.name.size()));
        max_data = std::max<DWORD>(max_data, static_cast<DWORD>(v.data.size()));
    }
    if (lpClass && lpcchClass && *lpcchClass > 0) {
        lpClass[0] = 0;
    }
    if (lpcchClass) {
        *lpcchClass = 0;
    }
    if (lpcSubKeys) {
        *lpcSubKeys = static_cast<DWORD>(key->children.size());
    }
    if (lpcbMaxSubKeyLen) {
        *lpcbMaxSubKeyLen = max_sub;
    }
    if (lpcbMaxClassLen) {
        *lpcbMaxClassLen = 0;
    }
    if (lpcValues) {
        *lpcValues = static_cast<DWORD>(key->values.size());
    }
    if (lpcbMaxValueNameLen) {
        *lpcbMaxValueNameLen = max_name;
    }
    if (lpcbMaxValueLen) {
        *lpcbMaxValueLen = max_data;
    }
    if (lpcbSecurityDescriptor) {
        *lpcbSecurityDescriptor = 0;
    }
    if (lpftLastWriteTime) {
        *lpftLastWriteTime = FILETIME{0, 0};
    }
    return ERROR_SUCCESS;
}

}  // extern "C"

// ===========================================================================
// Persistence
// ===========================================================================
namespace platform {
namespace {

std::string Quote(const std::wstring& w) {
    const std::string s = Utf8FromWide(w);
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\x%02x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

// The text of a REG_SZ value when it is plain (one terminator, at the end).
bool PlainText(const RegValue& v, std::wstring* text) {
    if (v.type != REG_SZ || v.data.size() % sizeof(wchar_t) != 0 || v.data.empty()) {
        return false;
    }
    std::wstring w(v.data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(&w[0], v.data.data(), v.data.size());
    if (w.back() != 0 || w.find(L'\0') != w.size() - 1) {
        return false;
    }
    w.pop_back();
    *text = w;
    return true;
}

void ExportKey(const RegKey& key, const std::wstring& path, bool is_root, std::string& out) {
    if (!is_root || !key.values.empty()) {
        out += "[" + Utf8FromWide(path) + "]\n";
    }
    for (const auto& v : key.values) {
        out += v.name.empty() ? std::string("@") : Quote(v.name);
        out += "=";
        std::wstring text;
        if (PlainText(v, &text)) {
            out += "sz:" + Quote(text);
        } else if (v.type == REG_DWORD && v.data.size() == 4) {
            uint32_t d;
            std::memcpy(&d, v.data.data(), 4);
            out += "dword:" + std::to_string(d);
        } else if (v.type == REG_QWORD && v.data.size() == 8) {
            uint64_t q;
            std::memcpy(&q, v.data.data(), 8);
            out += "qword:" + std::to_string(q);
        } else {
            out += "hex(" + std::to_string(v.type) + "):";
            char buf[4];
            for (BYTE b : v.data) {
                std::snprintf(buf, sizeof buf, "%02x", b);
                out += buf;
            }
        }
        out += "\n";
    }
    for (const auto& [folded, child] : key.children) {
        ExportKey(*child, path + L"\\" + child->name, false, out);
    }
}

// One parsed line of the text format.
struct ImportItem {
    int root = -1;
    std::wstring path;  // below the root
    bool is_value = false;
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

bool ParseQuoted(const std::string& line, size_t* pos, std::wstring* out) {
    size_t i = *pos;
    if (i >= line.size() || line[i] != '"') {
        return false;
    }
    std::string s;
    for (++i; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            *pos = i + 1;
            *out = WideFromUtf8(s);
            return true;
        }
        if (c != '\\') {
            s += c;
            continue;
        }
        if (++i >= line.size()) {
            return false;
        }
        switch (line[i]) {
            case '\\':
                s += '\\';
                break;
            case '"':
                s += '"';
                break;
            case 'n':
                s += '\n';
                break;
            case 'r':
                s += '\r';
                break;
            case 't':
                s += '\t';
                break;
            case 'x': {
                if (i + 2 >= line.size()) {
                    return false;
                }
                const std::string hex = line.substr(i + 1, 2);
                char* end = nullptr;
                const long v = std::strtol(hex.c_str(), &end, 16);
                if (*end != 0) {
                    return false;
                }
                s += static_cast<char>(v);
                i += 2;
                break;
            }
            default:
                return false;
        }
    }
    return false;
}

bool ParseUnsigned(const std::string& s, uint64_t max, uint64_t* out) {
    if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    errno = 0;
    const unsigned long long v = std::strtoull(s.c_str(), nullptr, 10);
    if (errno != 0 || v > max) {
        return false;
    }
    *out = v;
    return true;
}

bool ParseValueLine(const std::string& line, ImportItem* item) {
    size_t pos = 0;
    if (line[0] == '@') {
        pos = 1;
    } else if (!ParseQuoted(line, &pos, &item->name)) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=') {
        return false;
    }
    const std::string rest = line.substr(pos + 1);
    if (rest.compare(0, 3, "sz:") == 0) {
        size_t p = 3;
        std::wstring text;
        if (!ParseQuoted(rest, &p, &text) || p != rest.size()) {
            return false;
        }
        item->type = REG_SZ;
        item->data.resize((text.size() + 1) * sizeof(wchar_t));
        std::memcpy(item->data.data(), text.c_str(), item->data.size());
        return true;
    }
    if (rest.compare(0, 6, "dword:") == 0) {
        uint64_t v;
        if (!ParseUnsigned(rest.substr(6), 0xFFFFFFFFu, &v)) {
            return false;
        }
        const uint32_t d = static_cast<uint32_t>(v);
        item->type = REG_DWORD;
        item->data.resize(4);
        std::memcpy(item->data.data(), &d, 4);
        return true;
    }
    if (rest.compare(0, 6, "qword:") == 0) {
        uint64_t v;
        if (!ParseUnsigned(rest.substr(6), UINT64_MAX, &v)) {
            return false;
        }
        item->type = REG_QWORD;
        item->data.resize(8);
        std::memcpy(item->data.data(), &v, 8);
        return true;
    }
    if (rest.compare(0, 4, "hex(") == 0) {
        const size_t close = rest.find("):");
        uint64_t type;
        if (close == std::string::npos ||
            !ParseUnsigned(rest.substr(4, close - 4), 0xFFFFFFFFu, &type)) {
            return false;
        }
        const std::string hex = rest.substr(close + 2);
        if (hex.size() % 2 != 0 ||
            hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            return false;
        }
        item->type = static_cast<DWORD>(type);
        for (size_t i = 0; i < hex.size(); i += 2) {
            item->data.push_back(static_cast<BYTE>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        }
        return true;
    }
    return false;
}

bool ParseKeyLine(const std::string& line, ImportItem* item) {
    if (line.size() < 3 || line.back() != ']') {
        return false;
    }
    const std::wstring full = WideFromUtf8(line.substr(1, line.size() - 2));
    const size_t slash = full.find(L'\\');
    const std::wstring root = Fold(full.substr(0, slash));
    for (int i = 0; i < kRootCount; ++i) {
        if (root == kRootNames[i]) {
            item->root = i;
        }
    }
    if (item->root < 0) {
        return false;
    }
    item->path = slash == std::wstring::npos ? L"" : full.substr(slash + 1);
    return true;
}

}  // namespace

void RegistryClear() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (auto& root : r.roots) {
        for (auto& [name, child] : root->children) {
            MarkDeleted(*child);
        }
        root->children.clear();
        root->values.clear();
    }
}

std::string RegistryExport() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::string out;
    for (int i = 0; i < kRootCount; ++i) {
        ExportKey(*r.roots[i], kRootNames[i], true, out);
    }
    return out;
}

HRESULT RegistryImport(const std::string& text, std::string* error) {
    try {
        std::vector<ImportItem> items;
        std::istringstream in(text);
        std::string line;
        int line_no = 0;
        bool have_key = false;
        ImportItem current;
        while (std::getline(in, line)) {
            ++line_no;
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (line.empty() || line[0] == ';' || line[0] == '#') {
                continue;
            }
            bool ok;
            if (line[0] == '[') {
                current = ImportItem();
                ok = ParseKeyLine(line, &current);
                if (ok) {
                    items.push_back(current);
                    have_key = true;
                }
            } else {
                ImportItem value = current;
                value.is_value = true;
                ok = have_key && ParseValueLine(line, &value);
                if (ok) {
                    items.push_back(value);
                }
            }
            if (!ok) {
                if (error) {
                    *error = "line " + std::to_string(line_no) + ": cannot read '" + line + "'";
                }
                return E_INVALIDARG;
            }
        }
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        for (const auto& item : items) {
            auto key = Walk(r.roots[item.root], item.path, true, nullptr);
            if (item.is_value) {
                SetValue(*key, item.name, item.type, item.data.data(),
                         static_cast<DWORD>(item.data.size()));
            }
        }
        if (error) {
            error->clear();
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

HRESULT RegistrySave(const std::string& path) {
    try {
        const std::string text = RegistryExport();
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << "; registry of the portable COM runtime\n" << text;
        out.close();
        return out ? S_OK : HRESULT_FROM_WIN32(ERROR_CANTWRITE);
    } catch (...) {
        return HRESULT_FROM_WIN32(ERROR_CANTWRITE);
    }
}

HRESULT RegistryLoad(const std::string& path, std::string* error) {
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            if (error) {
                *error = "cannot open " + path;
            }
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        }
        std::ostringstream text;
        text << in.rdbuf();
        return RegistryImport(text.str(), error);
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace platform
