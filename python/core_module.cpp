// phase_envelope._core: the calculations of phase-envelope for Python. Each
// function takes the fluid as the text of --feed ("name=z,...") or of a fluid
// file (`phase-envelope --fluid`), runs exactly what the command line runs, and
// returns the command's JSON output as text; the package around it turns that
// into Python objects. Bad input raises ValueError with the command line's
// message, a failed flash or critical-point search CalculationFailure. The
// interpreter's lock is released while a calculation runs; each call
// initialises COM on its thread (an apartment of its own, with its own
// reference host and utility) and leaves nothing alive, so threads calculate
// side by side.
#include <dlfcn.h>
#include <pybind11/pybind11.h>

#include <string>

#include "cli/commands.h"
#include "cli/envelope_report.h"
#include "cli/envelope_run.h"
#include "cli/fluid_input.h"
#include "cli/utility_module.h"
#include "platform/com.h"

namespace py = pybind11;

namespace {

// COM for the duration of one call on the calling thread.
class Apartment {
  public:
    Apartment() : hr_(CoInitialize(nullptr)) {
        if (FAILED(hr_))
            throw std::runtime_error("COM could not be initialised on this thread");
    }
    ~Apartment() { CoUninitialize(); }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;

  private:
    HRESULT hr_;
};

// The fluid of --feed's text (`isFile` false) or a fluid file's, with the
// equation of state and the k_ij text of --eos and --kij applied when given,
// checked as the command line checks it.
cli::FluidInput FluidOf(const std::string& text, bool isFile, const std::string& eos,
                        const std::string& kij) {
    cli::FluidInput input = isFile ? cli::ParseFluidJson(text) : cli::ParseFeed(text);
    if (!eos.empty())
        input.definition.eos = cli::ParseEos(eos);
    if (!kij.empty())
        cli::ApplyKijText(kij, &input);
    cli::BuildFluid(input);
    return input;
}

std::string Envelope(const std::string& fluid, bool isFile, const std::string& eos,
                     const std::string& kij, const std::string& provider) {
    const cli::FluidInput input = FluidOf(fluid, isFile, eos, kij);
    cli::EnvelopeRequest request;
    if (provider == "app")
        request.path = cli::ThermoPath::kApp;
    else if (provider != "host")
        throw cli::InputError("provider '" + provider + "': expected host or app");
    cli::EnvelopeResult result;
    {
        py::gil_scoped_release unlocked;
        Apartment apartment;
        result = cli::RunEnvelopeCalculation(input, request);
    }
    nlohmann::ordered_json out = cli::ToJson(result);
    out["host_calls"] = result.hostCalls;
    out["left_alive"] = result.leftAlive;
    return out.dump();
}

std::string Flash(const std::string& fluid, bool isFile, const std::string& eos,
                  const std::string& kij, double t, double p, double vf) {
    const cli::FluidInput input = FluidOf(fluid, isFile, eos, kij);
    py::gil_scoped_release unlocked;
    Apartment apartment;
    return cli::FlashJson(input, t, p, vf).dump();
}

std::string Critical(const std::string& fluid, bool isFile, const std::string& eos,
                     const std::string& kij) {
    const cli::FluidInput input = FluidOf(fluid, isFile, eos, kij);
    py::gil_scoped_release unlocked;
    Apartment apartment;
    return cli::CriticalJson(input).dump();
}

// The build's lib/ folder lies two levels above this module's folder
// (build/python/phase_envelope/_core.so).
std::string UtilityBesideThisModule() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&UtilityBesideThisModule), &info) == 0 ||
        info.dli_fname == nullptr)
        return "";
    std::string path = info.dli_fname;
    for (int up = 0; up < 3; ++up) {
        const size_t slash = path.find_last_of('/');
        path = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    }
    return path + "/lib/pyThreePhaseEnvelope.so";
}

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = "The calculations of phase-envelope; use the phase_envelope package.";
    cli::SetUtilityModulePath(UtilityBesideThisModule());
    py::register_exception<cli::CalculationFailure>(m, "CalculationFailure", PyExc_RuntimeError);
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p)
                std::rethrow_exception(p);
        } catch (const cli::InputError& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });
    m.def("envelope", &Envelope, py::arg("fluid"), py::arg("is_file"), py::arg("eos"),
          py::arg("kij"), py::arg("provider"),
          "The envelope's JSON (as phase-envelope --format json prints it).");
    m.def("flash", &Flash, py::arg("fluid"), py::arg("is_file"), py::arg("eos"), py::arg("kij"),
          py::arg("T"), py::arg("P"), py::arg("vf"),
          "A PT flash (T set) or saturation flash (T NaN), as JSON.");
    m.def("critical", &Critical, py::arg("fluid"), py::arg("is_file"), py::arg("eos"),
          py::arg("kij"), "Every critical point of the feed, as JSON.");
    m.def(
        "compounds", [] { return cli::CompoundsJson().dump(); }, "The compound database, as JSON.");
    m.def(
        "live_objects", [] { return platform::LiveObjectCount(); },
        "COM objects of this process alive now.");
    m.def("utility_path", [] { return cli::UtilityModulePath(); });
}
