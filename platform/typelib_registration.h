// Registration of a server's type library, on every platform with one call.
//
// On Windows, RegisterTypeLibFor loads the type library from `path` with
// LoadTypeLibEx(REGKIND_REGISTER), which writes the system's usual keys; the
// other arguments are only checked against it (libid) or ignored.
//
// Elsewhere there is no type-library loader, so the keys are written from
// the arguments:
//   HKCR\TypeLib\{libid}\<major>.<minor>            default = name
//   HKCR\TypeLib\{libid}\<major>.<minor>\FLAGS      default = "0"
//   HKCR\TypeLib\{libid}\<major>.<minor>\0\win64    default = path
//   HKCR\TypeLib\{libid}\<major>.<minor>\HELPDIR    default = helpdir
// (major and minor in lower-case hex, as Windows writes them).
// UnRegisterTypeLibFor removes the version key, and the library key when no
// other version remains.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/win_types.h"
#endif

namespace platform {

// Registers type library `libid` version major.minor stored at `path`
// (the module itself when the library is a resource of it), with display
// name `name` (may be null: empty) and help folder `helpdir` (may be null:
// the folder of `path`). Returns S_OK, E_INVALIDARG (path null),
// TYPE_E_REGISTRYACCESS (registry failure) or, on Windows, the result of
// LoadTypeLibEx / a libid mismatch (TYPE_E_LIBNOTREGISTERED).
HRESULT RegisterTypeLibFor(REFGUID libid, WORD major, WORD minor, LPCOLESTR path, LPCOLESTR helpdir,
                           LPCOLESTR name);

// Removes what RegisterTypeLibFor wrote. Returns S_OK, or
// TYPE_E_LIBNOTREGISTERED when that version was not registered.
HRESULT UnRegisterTypeLibFor(REFGUID libid, WORD major, WORD minor);

}  // namespace platform
