// Module-wide state of the in-process server: the lock count that objects
// and server locks hold, and the module's file path.
#pragma once

#include <string>

#include "platform/com.h"

// Each live object and each LockServer(TRUE) holds the module once.
void ModuleLock();
void ModuleUnlock();
LONG ModuleLockCount();

// Full path of the module file (the shared library or DLL holding this code).
std::wstring ModulePath();
// The folder of the module file, without a trailing separator.
std::wstring ModuleFolder();
