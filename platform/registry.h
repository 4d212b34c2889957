// The registry for builds without the Windows headers: one tree per process,
// kept in memory, under the predefined roots HKEY_CLASSES_ROOT,
// HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS (independent trees
// here; HKCR is not a merged view). The Reg* functions have the Windows
// signatures and results (LONG Win32 error codes); key and value names are
// case-insensitive and case-preserving; subkeys enumerate in case-insensitive
// name order, values in creation order. The `A` functions take UTF-8 names
// and convert REG_SZ data between UTF-8 and the stored wide text.
//
// Handles are counted references to a key: a handle whose key has been
// deleted answers ERROR_KEY_DELETED. Every handle from RegCreateKey(Ex) or
// RegOpenKey(Ex) is closed with RegCloseKey; the predefined roots need not be.
//
// Persistence: platform::RegistrySave writes the whole tree to a text file
// and platform::RegistryLoad merges one back, for a host that wants its
// registrations to last; platform::RegistryClear empties the tree (tests).
//
// Include "platform/com.h" rather than this file.
#pragma once

#include <string>

#include "platform/win_types.h"

#define HKEY_CLASSES_ROOT reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u))
#define HKEY_CURRENT_USER reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u))
#define HKEY_LOCAL_MACHINE reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u))
#define HKEY_USERS reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000003u))

// Value types
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11

// Access rights (accepted, not enforced)
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE 0x20019
#define KEY_ALL_ACCESS 0xF003F

// Options and dispositions
#define REG_OPTION_NON_VOLATILE 0x0
#define REG_OPTION_VOLATILE 0x1
#define REG_CREATED_NEW_KEY 0x1
#define REG_OPENED_EXISTING_KEY 0x2

// RegGetValue type restrictions
#define RRF_RT_REG_NONE 0x00000001
#define RRF_RT_REG_SZ 0x00000002
#define RRF_RT_REG_EXPAND_SZ 0x00000004
#define RRF_RT_REG_BINARY 0x00000008
#define RRF_RT_REG_DWORD 0x00000010
#define RRF_RT_REG_MULTI_SZ 0x00000020
#define RRF_RT_REG_QWORD 0x00000040
#define RRF_RT_ANY 0x0000ffff

extern "C" {

// Opens the key `lpSubKey` (a backslash-separated path relative to `hKey`,
// created with every missing level) and returns a new handle in *phkResult.
// `lpSubKey` null or empty opens `hKey` itself again. *lpdwDisposition (may
// be null) says REG_CREATED_NEW_KEY or REG_OPENED_EXISTING_KEY. `Reserved`,
// `lpClass`, `dwOptions`, `samDesired` and `lpSecurityAttributes` are
// accepted and ignored. Returns ERROR_SUCCESS, ERROR_INVALID_HANDLE,
// ERROR_INVALID_PARAMETER (phkResult null), ERROR_KEY_DELETED.
LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, void* lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition);
LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, void* lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition);
LONG RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult);
LONG RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);

// Opens an existing key; ERROR_FILE_NOT_FOUND when any level is missing.
LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                   PHKEY phkResult);
LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult);
LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);

// Closes a handle. Predefined roots are accepted and stay valid.
// ERROR_INVALID_HANDLE for null. Closing a handle twice is a caller error.
LONG RegCloseKey(HKEY hKey);

// Sets value `lpValueName` (null or "" = the key's default value) to `cbData`
// bytes at `lpData` (may be null when cbData is 0) of type `dwType`. REG_SZ
// data is OLECHAR text, normally including its terminator; a missing
// terminator is added. REG_DWORD needs cbData == 4. The bytes are copied.
// Returns ERROR_SUCCESS, ERROR_INVALID_HANDLE, ERROR_INVALID_PARAMETER,
// ERROR_KEY_DELETED.
LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                    const BYTE* lpData, DWORD cbData);
// As above with a UTF-8 name; REG_SZ/REG_EXPAND_SZ data is UTF-8 text
// (cbData bytes, terminator optional) converted to the stored wide text.
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);
// Sets the default value of subkey `lpSubKey` (created if missing; null =
// hKey itself) to the REG_SZ text `lpData`; `dwType` must be REG_SZ and
// cbData is ignored.
LONG RegSetValueW(HKEY hKey, LPCWSTR lpSubKey, DWORD dwType, LPCWSTR lpData, DWORD cbData);

// Reads value `lpValueName` (null or "" = default value). *lpType (may be
// null) receives the type. With lpData null, *lpcbData receives the size in
// bytes; otherwise *lpcbData holds the buffer size in bytes on entry and the
// bytes written on return, and ERROR_MORE_DATA (with the needed size in
// *lpcbData) is returned when the buffer is too small. REG_SZ data includes
// its terminator. Returns ERROR_SUCCESS, ERROR_FILE_NOT_FOUND (no such value;
// also a default value never set), ERROR_MORE_DATA, ERROR_INVALID_HANDLE,
// ERROR_INVALID_PARAMETER (lpData given without lpcbData).
LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData);
// As above; REG_SZ/REG_EXPAND_SZ data is returned as UTF-8 with terminator.
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData);

// Reads value `lpValue` of subkey `lpSubKey` (null = hKey) in one call,
// accepting only the types allowed by `dwFlags` (RRF_RT_*; others give
// ERROR_UNSUPPORTED_TYPE). Buffer contract as RegQueryValueExW.
LONG RegGetValueW(HKEY hkey, LPCWSTR lpSubKey, LPCWSTR lpValue, DWORD dwFlags, LPDWORD pdwType,
                  PVOID pvData, LPDWORD pcbData);

// Deletes subkey `lpSubKey` of `hKey` with its values. As on Windows it must
// have no subkeys: ERROR_ACCESS_DENIED otherwise. ERROR_FILE_NOT_FOUND when
// missing; a null/empty subkey or a root is ERROR_INVALID_PARAMETER /
// ERROR_ACCESS_DENIED.
LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
// Deletes subkey `lpSubKey` with everything under it; with a null subkey,
// deletes everything under hKey (subkeys and values) but keeps hKey.
LONG RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);
LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey);

// Deletes one value (null or "" = default value). ERROR_FILE_NOT_FOUND when
// missing.
LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);

// Names the subkey at `dwIndex` (0-based, case-insensitive name order):
// lpName holds *lpcchName characters on entry; on return *lpcchName is the
// name's length without terminator. ERROR_MORE_DATA when it does not fit,
// ERROR_NO_MORE_ITEMS past the last subkey. lpReserved, lpClass, lpcchClass
// and lpftLastWriteTime may be null (a class, when asked, is empty).
LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
// Same with a buffer of cchName characters.
LONG RegEnumKeyW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD cchName);

// Names the value at `dwIndex` (creation order; the default value, when set,
// has the empty name). Name buffer as RegEnumKeyExW; type and data as
// RegQueryValueExW (each may be null).
LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                   LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

// Counts of the key: subkeys, longest subkey name (characters), values,
// longest value name, longest data (bytes). Every output may be null; the
// class, security and time outputs are zeroed when given.
LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                      LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                      LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                      LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime);

}  // extern "C"

namespace platform {

// Removes every key and value under every root. Open handles to removed keys
// answer ERROR_KEY_DELETED afterwards.
void RegistryClear();

// The whole tree as text (the file format of RegistrySave): one line per
// key, "[ROOT\path\to\key]", followed by its values, one per line, as
// `"name"=sz:"text"`, `"name"=dword:N`, `"name"=qword:N`,
// `"name"=hex(T):0a1b...` (any other type T), where the default value has
// the name `@` without quotes. Text is UTF-8; `\` `"` and control characters
// in quoted strings are escaped as \\ \" \n \t \r \xHH. Keys appear in
// depth-first, name order, so two equal trees give equal text.
std::string RegistryExport();

// Merges text in the RegistryExport format into the tree (keys created,
// values overwritten; nothing removed). Lines starting with ';' or '#' and
// blank lines are ignored. Returns S_OK, or E_INVALIDARG for malformed text
// (*error, when given, names the line), in which case nothing was changed.
HRESULT RegistryImport(const std::string& text, std::string* error = nullptr);

// Writes RegistryExport() to `path` (UTF-8 file name). S_OK, or
// HRESULT_FROM_WIN32(ERROR_CANTWRITE).
HRESULT RegistrySave(const std::string& path);

// Reads `path` and RegistryImport's it. S_OK;
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when the file cannot be opened;
// E_INVALIDARG for malformed content.
HRESULT RegistryLoad(const std::string& path, std::string* error = nullptr);

}  // namespace platform
