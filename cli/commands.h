// The commands of phase-envelope. Each returns the process's exit status:
// 0 success, 1 a calculation failed, 2 bad usage or input (a one-line message
// on standard error in both failure cases). COM is initialised by main.
#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "cli/envelope_run.h"
#include "cli/fluid_input.h"

namespace cli {

enum ExitStatus { kExitOk = 0, kExitCalculation = 1, kExitUsage = 2 };

enum class Format { kTable, kCsv, kJson };

struct EnvelopeOptions {
    ThermoPath path = ThermoPath::kHost;
    // Print one of the seven curves ("PT", "PV", "PH", "PS", "TV", "TH",
    // "TS") instead of the points; empty: the points.
    std::string curveAxes;
    Format format = Format::kTable;
    // A host call to fail during Execute (none by default).
    pyrana::objects::FaultPlan fault;
    // The picture the options dialog's View writes ("" none), the pair its
    // script chooses, and whether the dialog is run from the terminal.
    std::string plotPath;
    std::string plotAxes = "PT";
    bool interactive = false;
};

// The whole envelope of the fluid through the utility: summary and table of
// points, CSV or JSON, or one curve. `title` names the fluid in the summary.
// 0 when Execute returned S_OK, 1 (with the HRESULT on standard error)
// otherwise.
int RunEnvelope(const FluidInput& input, const std::string& title, const EnvelopeOptions& options);

// Shows what a host sees of the utility module (its registration and names).
int RunModule();

// The compound database as a table (or JSON).
int RunCompounds(Format format);

// A PT flash (t > 0) or a saturation flash at vapour fraction `vf` (t unset,
// NaN) of the fluid, through the reference host's COM objects.
int RunFlash(const FluidInput& input, double t, double p, double vf, Format format);

// The mixture critical point of the feed.
int RunCritical(const FluidInput& input, Format format);

// What the compounds, flash and critical commands print as JSON, for other
// front ends. Bad input throws InputError, a calculation that fails
// CalculationFailure, each with the message the program prints.
struct CalculationFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};
nlohmann::ordered_json CompoundsJson();
nlohmann::ordered_json FlashJson(const FluidInput& input, double t, double p, double vf);
nlohmann::ordered_json CriticalJson(const FluidInput& input);

}  // namespace cli
