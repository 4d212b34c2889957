// The Windows test host of pyThreePhaseEnvelope.dll. scripts/windows-test
// runs it under Wine twice, around the module's registration:
//
//   regsvr32 /s pyThreePhaseEnvelope.dll      then   module_host.exe --reference DIR [RUNS]
//   regsvr32 /u /s pyThreePhaseEnvelope.dll   then   module_host.exe --unregistered
//
// With the module registered it checks the module as a COM server, then
// (with --reference) runs whole calculations through it against the
// reference host compiled into this program, compares them with the Linux
// build's results in DIR (writing its own runs into the folder RUNS when
// given), calls every method of the utility late-bound, and works the
// options dialog of a full calculation.
//
// scripts/windows-screenshot runs `module_host.exe --screenshot FILE.bmp`
// under Xvfb with Wine's X11 driver: the options dialog of a full
// calculation is copied into FILE.bmp, and nothing else is checked.
//
// It prints one line per check and closes with "N passed, M failed"; the
// exit code is 0 only when every check passed (2 for a bad command line).
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/com.h"
#include "wintest/check_report.h"
#include "wintest/dialog_checks.h"
#include "wintest/envelope_checks.h"
#include "wintest/module_checks.h"

int main(int argc, char** argv) {
    const bool unregistered = argc == 2 && std::strcmp(argv[1], "--unregistered") == 0;
    const bool withReference = (argc == 3 || argc == 4) && std::strcmp(argv[1], "--reference") == 0;
    const bool screenshot = argc == 3 && std::strcmp(argv[1], "--screenshot") == 0;
    if (!(argc == 1 || unregistered || withReference || screenshot)) {
        std::fprintf(stderr,
                     "usage: module_host [--unregistered | --reference FOLDER [RUNS] |"
                     " --screenshot BMP]\n");
        return 2;
    }

    CheckReport report;
    const HRESULT hr = CoInitialize(nullptr);
    if (report.ExpectSucceeded(hr, "CoInitialize")) {
        if (unregistered) {
            CheckUnregisteredModule(report);
        } else if (screenshot) {
            CaptureOptionsDialog(report, argv[2]);
        } else {
            CheckRegisteredModule(report);
            if (withReference) {
                CheckEnvelopes(report, argv[2], argc == 4 ? argv[3] : "");
                CheckLateBoundUtility(report);
                CheckOptionsDialog(report, argv[2]);
                // Every object of the module, and every host object it held,
                // was released: the runtime lets the module go.
                CoFreeUnusedLibraries();
                report.Expect(GetModuleHandleW(L"pyThreePhaseEnvelope.dll") == nullptr,
                              "the module is unloaded once the calculations' objects are gone");
            }
        }
        CoUninitialize();
    }
    return report.Finish();
}
