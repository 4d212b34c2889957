// The one header for COM code of this project: `#include "platform/com.h"`.
//
// On Windows it includes the system headers (<windows.h>, <ole2.h>,
// <oleauto.h>, <comcat.h>, <olectl.h>) and adds only what Windows lacks: the
// registrar, type-library registration by one call, live-object accounting
// and the ComPtr / Bstr helpers.
//
// Elsewhere it provides the same Win32/OLE names and semantics from this
// folder — types and result codes (win_types.h), BSTR/VARIANT/SAFEARRAY
// (oleauto.h), the base interfaces (interfaces.h), the runtime
// (com_runtime.h) and the registry (registry.h) — backed by the shared
// library libpyrplatform.so, plus the same helpers.
#pragma once

#ifdef _WIN32

// clang-format off
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <comcat.h>
#include <olectl.h>
// clang-format on

// The image base of the module being linked, provided by the linker.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace platform {
// The HMODULE of the module containing the calling code (see the portable
// declaration in com_runtime.h).
static inline HMODULE ThisModule() {
    return reinterpret_cast<HMODULE>(&__ImageBase);
}
}  // namespace platform

#else

// clang-format off
#include "platform/win_types.h"
#include "platform/oleauto.h"
#include "platform/interfaces.h"
#include "platform/com_runtime.h"
#include "platform/registry.h"
// clang-format on

#endif

#include "platform/bstr.h"
#include "platform/com_ptr.h"
#include "platform/live_objects.h"
#include "platform/registrar.h"
#include "platform/typelib_registration.h"
