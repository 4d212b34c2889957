// Type-library registration in one call on every platform.

#include "platform/typelib_registration.h"

#include <cwchar>
#include <string>

#ifdef _WIN32
#include <windows.h>

#include <oleauto.h>
#else
#include "platform/com_runtime.h"
#include "platform/registry.h"
#endif

namespace platform {

#ifdef _WIN32

HRESULT RegisterTypeLibFor(REFGUID libid, WORD, WORD, LPCOLESTR path, LPCOLESTR, LPCOLESTR) {
    if (!path) {
        return E_INVALIDARG;
    }
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_REGISTER, &lib);
    if (FAILED(hr)) {
        return hr;
    }
    TLIBATTR* attr = nullptr;
    hr = lib->GetLibAttr(&attr);
    if (SUCCEEDED(hr)) {
        if (!IsEqualGUID(attr->guid, libid)) {
            hr = TYPE_E_LIBNOTREGISTERED;
        }
        lib->ReleaseTLibAttr(attr);
    }
    lib->Release();
    return hr;
}

HRESULT UnRegisterTypeLibFor(REFGUID libid, WORD major, WORD minor) {
    return UnRegisterTypeLib(libid, major, minor, LOCALE_NEUTRAL, SYS_WIN64);
}

#else

namespace {

std::wstring LibraryPath(REFGUID libid) {
    wchar_t guid[40];
    StringFromGUID2(libid, guid, 40);
    return std::wstring(L"TypeLib\\") + guid;
}

std::wstring VersionName(WORD major, WORD minor) {
    wchar_t buf[16];
    std::swprintf(buf, 16, L"%x.%x", static_cast<unsigned>(major), static_cast<unsigned>(minor));
    return buf;
}

LONG SetDefault(HKEY parent, const std::wstring& sub, const std::wstring& text) {
    HKEY key = nullptr;
    LONG r = RegCreateKeyW(parent, sub.empty() ? nullptr : sub.c_str(), &key);
    if (r != ERROR_SUCCESS) {
        return r;
    }
    r = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return r;
}

}  // namespace

HRESULT RegisterTypeLibFor(REFGUID libid, WORD major, WORD minor, LPCOLESTR path, LPCOLESTR helpdir,
                           LPCOLESTR name) {
    if (!path) {
        return E_INVALIDARG;
    }
    try {
        std::wstring help;
        if (helpdir) {
            help = helpdir;
        } else {
            help = path;
            const size_t slash = help.find_last_of(L"/\\");
            help = slash == std::wstring::npos ? std::wstring() : help.substr(0, slash);
        }
        HKEY version = nullptr;
        const std::wstring key = LibraryPath(libid) + L"\\" + VersionName(major, minor);
        if (RegCreateKeyW(HKEY_CLASSES_ROOT, key.c_str(), &version) != ERROR_SUCCESS) {
            return TYPE_E_REGISTRYACCESS;
        }
        LONG r = SetDefault(version, L"", name ? name : L"");
        if (r == ERROR_SUCCESS) {
            r = SetDefault(version, L"FLAGS", L"0");
        }
        if (r == ERROR_SUCCESS) {
            r = SetDefault(version, L"0\\win64", path);
        }
        if (r == ERROR_SUCCESS) {
            r = SetDefault(version, L"HELPDIR", help);
        }
        RegCloseKey(version);
        return r == ERROR_SUCCESS ? S_OK : TYPE_E_REGISTRYACCESS;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT UnRegisterTypeLibFor(REFGUID libid, WORD major, WORD minor) {
    try {
        const std::wstring lib = LibraryPath(libid);
        const std::wstring version = lib + L"\\" + VersionName(major, minor);
        if (RegDeleteTreeW(HKEY_CLASSES_ROOT, version.c_str()) != ERROR_SUCCESS) {
            return TYPE_E_LIBNOTREGISTERED;
        }
        // The library key goes when no other version is left.
        RegDeleteKeyW(HKEY_CLASSES_ROOT, lib.c_str());
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

#endif

}  // namespace platform
