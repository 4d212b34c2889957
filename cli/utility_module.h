// The utility module as phase-envelope hosts it: the shared library in the
// build's lib/ folder, opened and registered into this process's registry
// (DllRegisterServer), the utility created from it by ProgID through
// CoCreateInstance as any host would, and the module let go again at the end.
// Also the small text helpers the commands share (wide to narrow strings,
// GUID text, HRESULT text).
#pragma once

#include <string>

#include "host/interfaces.h"
#include "platform/com.h"

namespace cli {

// ".../bin/../lib/pyThreePhaseEnvelope.so" beside the running program.
std::string UtilityModulePath();
// Makes UtilityModulePath answer `path` instead (a front end that is not a
// program of the build's bin/ folder, such as the Python module); empty: back
// to the default.
void SetUtilityModulePath(const std::string& path);

// Opens and registers the utility module for the lifetime of the object. COM
// must be initialised on the thread. The destructor asks the runtime to free
// unused libraries (so that its own load of the module ends once nothing of
// it is alive) and closes this object's handle.
class UtilityModule {
  public:
    UtilityModule() = default;
    ~UtilityModule();
    UtilityModule(const UtilityModule&) = delete;
    UtilityModule& operator=(const UtilityModule&) = delete;

    // Opens the module at `path` and runs its DllRegisterServer. Returns
    // false with a one-line reason in *error when the module cannot be
    // opened or its registration fails.
    bool Load(const std::string& path, std::string* error);

    // Creates the utility by its ProgID. On success *utility holds one
    // reference the caller releases; on failure it is null and the result
    // says why (REGDB_E_CLASSNOTREG when the ProgID is unknown).
    static HRESULT CreateUtility(IPYRUtility** utility);

  private:
    void* handle_ = nullptr;
};

// Narrow copies of wide text (every character below 128 in practice).
std::string Narrow(const wchar_t* s, size_t n);
std::string Narrow(BSTR s);

// "{xxxxxxxx-xxxx-...}".
std::string GuidText(REFGUID g);

// "0x80004005".
std::string HresultText(HRESULT hr);

}  // namespace cli
