// The Windows test host of pyThreePhaseEnvelope.dll. scripts/windows-test
// runs it under Wine twice, around the module's registration:
//
//   regsvr32 /s pyThreePhaseEnvelope.dll      then   module_host.exe
//   regsvr32 /u /s pyThreePhaseEnvelope.dll   then   module_host.exe --unregistered
//
// It prints one line per check and closes with "N passed, M failed"; the
// exit code is 0 only when every check passed (2 for a bad command line).
#include <cstdio>
#include <cstring>

#include "platform/com.h"
#include "wintest/check_report.h"
#include "wintest/module_checks.h"

int main(int argc, char** argv) {
    const bool unregistered = argc == 2 && std::strcmp(argv[1], "--unregistered") == 0;
    if (argc > 2 || (argc == 2 && !unregistered)) {
        std::fprintf(stderr, "usage: module_host [--unregistered]\n");
        return 2;
    }

    CheckReport report;
    const HRESULT hr = CoInitialize(nullptr);
    if (report.ExpectSucceeded(hr, "CoInitialize")) {
        if (unregistered) {
            CheckUnregisteredModule(report);
        } else {
            CheckRegisteredModule(report);
        }
        CoUninitialize();
    }
    return report.Finish();
}
