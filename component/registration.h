// Registration of the module: the registration script, the type library and
// the host's utility category.
#pragma once

#include "platform/com.h"

// Applies the registration script (with %MODULE% the module's path) and
// registers the type library with the module's folder as help folder; then
// registers the category "Pyrana Utilities" (locale 1033) and the class as
// implementing it. Returns the first failing HRESULT, else S_OK; the result
// of the class's category registration is not reported.
HRESULT RegisterModule();

// Removes what the registration script wrote. The type library and category
// entries stay.
void UnregisterModule();
