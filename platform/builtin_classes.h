// Internal to the runtime (not part of the public API): the classes the
// runtime itself provides, found by CoGetClassObject before the registry.
#pragma once

#include "platform/com.h"

namespace platform {
namespace detail {

// When `clsid` is a built-in class, creates its class object, returns
// interface `riid` of it in *ppv and true (with the query's result in *hr);
// returns false for any other class.
bool GetBuiltinClassObject(REFCLSID clsid, REFIID riid, void** ppv, HRESULT* hr);

// Reads the default (unnamed) REG_SZ value of HKCR-relative `path`, or of
// `root`\`path`. Returns false when the key or value is missing or not text.
bool ReadDefaultString(HKEY root, const std::wstring& path, std::wstring* out);

// "{XXXXXXXX-...}" for a GUID, and the inverse (braced form only).
std::wstring GuidString(REFGUID guid);
bool ParseGuid(const wchar_t* text, GUID* out);

}  // namespace detail
}  // namespace platform
