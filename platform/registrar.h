// The registrar: applies a registration script to the registry, to register
// or unregister a server module. Shared code on every platform (on Windows it
// drives the real registry through the Reg* calls).
//
// Script syntax (the usual .rgs form), keywords case-insensitive:
//
//   script    := root*
//   root      := ROOTNAME '{' body '}'        HKCR, HKCU, HKLM, HKU or the
//                                             long HKEY_... names
//   body      := (key | value)*
//   key       := [NoRemove | ForceRemove | Delete] NAME ['=' data] ['{' body '}']
//   value     := 'val' NAME '=' data
//   data      := s 'TEXT' | d 'N' | d N | b 'HEX'      REG_SZ, REG_DWORD, REG_BINARY
//   NAME      := a bare word (ending at white space, '=' or a quote; it may
//                itself be a braced GUID such as {0002E005-...}) or 'quoted'
//
// In quoted text '' stands for one quote. `%NAME%` in any name or text is
// replaced from the replacement map (%MODULE% normally: the module's path);
// `%%` is a literal percent. An unknown %NAME% is an error.
//
// Registering creates every key and value; a ForceRemove key is first
// deleted with its whole tree; a Delete key is deleted and its body ignored.
// Unregistering walks the script depth-first: values named with `val` are
// deleted, a ForceRemove key is deleted with its tree, a plain key is deleted
// once its scripted children are gone and only if no other subkeys remain, a
// NoRemove key is kept (its children are still processed). Missing keys are
// skipped.
//
// The whole script is parsed before the registry is touched, so a script with
// an error changes nothing.
#pragma once

#include <map>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/win_types.h"
#endif

namespace platform {

// Result of a script that does not parse (a FACILITY_ITF error of this
// runtime). Registrar::LastError() holds the message with the line number.
#define REGISTRAR_E_SYNTAX MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0A01)

class Registrar {
  public:
    // Adds or replaces the text that `%name%` stands for (name without the
    // percent signs, case-insensitive).
    void AddReplacement(const std::wstring& name, const std::wstring& value);

    // Sets %MODULE% to the path of `module` (GetModuleFileNameW); for a
    // server, pass platform::ThisModule() (off Windows) or its HINSTANCE.
    // Returns S_OK, or HRESULT_FROM_WIN32(GetLastError()) when the path
    // cannot be found.
    HRESULT SetModule(HMODULE module);

    // Parses and applies a script (wide text, or UTF-8 / ASCII bytes). Every
    // method is noexcept: errors come back as HRESULTs. Results: S_OK;
    // REGISTRAR_E_SYNTAX (nothing changed, see LastError()); a registry
    // failure as HRESULT_FROM_WIN32 (the changes made before it stay).
    HRESULT Register(const std::wstring& script) noexcept;
    HRESULT Unregister(const std::wstring& script) noexcept;
    HRESULT RegisterUtf8(const std::string& script) noexcept;
    HRESULT UnregisterUtf8(const std::string& script) noexcept;

    // Checks a script's syntax and substitutions without applying it.
    HRESULT Parse(const std::wstring& script) noexcept;

    // Description of the last failure ("line 4: expected '{' after HKCR"),
    // empty after a success.
    const std::string& LastError() const { return last_error_; }

  private:
    HRESULT Apply(const std::wstring& script, bool do_register) noexcept;

    std::map<std::wstring, std::wstring> replacements_;  // keys upper-cased
    std::string last_error_;
};

}  // namespace platform
