// The module's resources: the registration script (REGISTRY 101), the
// project name (string 100), the type library (TYPELIB 1) and, later, the
// options dialog template (DIALOG 201). On Windows they are read from the
// module's resource section; elsewhere they are compiled into the module.
#pragma once

#include <string>

#define IDR_PYTHREEPHASEENVELOPE 101
#define IDS_PROJNAME 100

// The registration script text (UTF-8, .rgs syntax). Empty on failure.
std::string RegistrationScript();

// The project name, "pyThreePhaseEnvelope".
std::wstring ProjectName();
