// envelope_reference: the Linux side of the Windows build's comparison of
// whole calculations. It registers the Linux utility module into this
// process's registry, creates the utility by ProgID and runs every case of
// wintest/envelope_cases.h (three feeds, both thermodynamic paths) as the
// Windows test host does under Wine, then
//
//   envelope_reference write DIR   writes DIR/<case>.<path>.txt
//   envelope_reference check DIR   compares each run with DIR/<case>.<path>.txt
//
// "check" runs as a CTest test against the committed files, so a change of
// the utility or the reference host that moves the results fails here, on
// Linux, with the instruction to regenerate them. The Linux check is row by
// row (the same build and math library produced the files); the Windows
// host alone falls back to special points and row counts. It prints one
// line per case and exits 0 when every run matches, 1 otherwise, 2 for a bad
// command line or a module that cannot be loaded.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "host/interfaces.h"
#include "platform/com.h"
#include "wintest/envelope_cases.h"

#ifndef PE_UTILITY_MODULE
#error "PE_UTILITY_MODULE must name the utility module file"
#endif

namespace {

using envelope_cases::Comparison;

// Loads the module and runs its DllRegisterServer, as regsvr32 does.
bool RegisterModule(HMODULE* module) {
    *module = LoadLibraryA(PE_UTILITY_MODULE);
    if (*module == nullptr) {
        std::fprintf(stderr, "envelope_reference: cannot load %s (error %lu)\n", PE_UTILITY_MODULE,
                     static_cast<unsigned long>(GetLastError()));
        return false;
    }
    using RegisterFn = HRESULT (*)();
    auto registerServer = reinterpret_cast<RegisterFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(*module, "DllRegisterServer")));
    const HRESULT hr = registerServer != nullptr ? registerServer() : E_NOTIMPL;
    if (FAILED(hr)) {
        std::fprintf(stderr, "envelope_reference: DllRegisterServer failed (0x%08lX)\n",
                     static_cast<unsigned long>(hr));
        return false;
    }
    return true;
}

int Run(bool write, const std::string& folder) {
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"pyThreePhaseEnvelope.pyThreePhaseEnvelope", &clsid);
    platform::ComPtr<IPYRUtility> utility;
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPYRUtility,
                              utility.put_void());
    if (FAILED(hr)) {
        std::fprintf(stderr, "envelope_reference: cannot create the utility (0x%08lX)\n",
                     static_cast<unsigned long>(hr));
        return 2;
    }

    int failures = 0;
    for (const envelope_cases::FeedCase& feedCase : envelope_cases::Cases()) {
        for (envelope_cases::ThermoPath path :
             {envelope_cases::ThermoPath::kHost, envelope_cases::ThermoPath::kApp}) {
            const std::string file =
                folder + "/" + envelope_cases::ReferenceFileName(feedCase, path);
            const std::string label = feedCase.name + " (" + envelope_cases::PathName(path) + ")";
            std::string step;
            envelope_cases::EnvelopeRun run;
            try {
                run = envelope_cases::RunEarlyBound(utility.Get(), feedCase, path, &step);
            } catch (const std::exception& e) {
                std::printf("FAIL %s: %s\n", label.c_str(), e.what());
                ++failures;
                continue;
            }
            std::string error;
            if (write) {
                if (!envelope_cases::WriteReference(file, feedCase, path, run, &error)) {
                    std::printf("FAIL %s: %s\n", label.c_str(), error.c_str());
                    ++failures;
                } else {
                    std::printf("wrote %s: %s, %s\n", file.c_str(), step.c_str(),
                                envelope_cases::Summary(run).c_str());
                }
                continue;
            }
            envelope_cases::EnvelopeRun reference;
            if (!envelope_cases::ReadReference(file, &reference, &error)) {
                std::printf("FAIL %s: %s\n", label.c_str(), error.c_str());
                ++failures;
                continue;
            }
            const Comparison c = envelope_cases::CompareRuns(reference, run, {1e-6, 1e-6});
            switch (c.kind) {
                case Comparison::Kind::kRowByRow:
                    std::printf("ok   %s: %s equal row by row\n", label.c_str(),
                                envelope_cases::Summary(run).c_str());
                    break;
                // The same build and math library as the files: a step
                // decision has no reason to go the other way here.
                case Comparison::Kind::kInterpolatedPoints:
                case Comparison::Kind::kSpecialPoints:
                case Comparison::Kind::kDifferent:
                    std::printf("FAIL %s: %s\n", label.c_str(), c.detail.c_str());
                    ++failures;
                    break;
            }
        }
    }
    if (failures != 0 && !write) {
        std::printf(
            "The results moved away from tests/reference/. If the change is intended, run\n"
            "  <build>/bin/envelope_reference write tests/reference\n"
            "and commit the files.\n");
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const bool write = argc == 3 && std::strcmp(argv[1], "write") == 0;
    const bool check = argc == 3 && std::strcmp(argv[1], "check") == 0;
    if (!write && !check) {
        std::fprintf(stderr, "usage: envelope_reference write|check FOLDER\n");
        return 2;
    }
    if (FAILED(CoInitialize(nullptr)))
        return 2;
    int status = 2;
    HMODULE module = nullptr;
    if (RegisterModule(&module))
        status = Run(write, argv[2]);
    CoUninitialize();
    return status;
}
