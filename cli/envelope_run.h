// One whole envelope calculation as phase-envelope hosts it. The program
// plays the host: it builds the reference host for the fluid, registers the
// utility module into this process's registry and creates the utility by
// ProgID, connects it (SetThermo with the host's property and flash managers,
// or with the application-side provider; InitializePropertyIDs with the
// host's name registry), runs Execute on a fresh phase collection and
// property container, and reads the outputs back from the container into
// plain values. Everything it created is released before it returns, the
// module is let go, and the objects still alive are counted.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "cli/fluid_input.h"
#include "host/undefined.h"
#include "platform/com.h"
#include "plotview/envelope_view.h"
#include "pyrana/objects/fault_injection.h"

namespace cli {

// The value a container answers for a property never set, and what the
// results hold where a value is undefined.

enum class ThermoPath { kHost, kApp };

struct EnvelopeRequest {
    ThermoPath path = ThermoPath::kHost;
    // true: ask for the seven two-column curves (bCalculationOnly 1, nProp 0)
    // instead of the results matrix.
    bool curves = false;
    // Host calls made during Execute are counted; a plan with a call index
    // or an operation also makes that call fail (the reference host's fault
    // injection), to exercise the error path from the outside.
    pyrana::objects::FaultPlan fault;
    // How the plot views the options dialog creates during the calculation
    // draw (no picture file: they draw nothing). The dialog is played by
    // whatever dialog driver the caller has installed around the call.
    plotview::ViewSettings view;
    // Profile the host calls of Execute: their calls and wall time by kind
    // (it slows the calculation a little; elapsedMs includes that).
    bool profile = false;
    // Execute runs this many times on the same utility object and
    // container; the result holds the last run, and `first` the first.
    int executions = 1;
};

// One stored point: its type code (1..16) and P kPa, T K, H kJ/kmol,
// S kJ/(kmol K), V m3/kmol, each kUndefined where the calculation left it.
struct EnvelopePoint {
    int type = 0;
    double p = kUndefined;
    double t = kUndefined;
    double h = kUndefined;
    double s = kUndefined;
    double v = kUndefined;
};

struct EnvelopeResult {
    // What Execute returned.
    HRESULT status = E_FAIL;
    // Feed as the host normalised it, with the compounds' database names.
    std::vector<std::pair<std::string, double>> fluid;
    std::string eos;  // "PR" or "SRK"
    bool volumeTranslation = false;
    ThermoPath path = ThermoPath::kHost;
    // Points in store order. With curves requested the types come from the
    // type array and P and T from the PT curve; H, S and V stay undefined.
    std::vector<EnvelopePoint> points;
    // The scalar outputs by name ("2PhaseCriticalP", "Cricondenbar", ...),
    // kUndefined when absent.
    std::map<std::string, double> scalars;
    // With curves requested: "PTCurve" ... "TVCurve", one (x, y) pair per
    // stored point, in store order.
    std::map<std::string, std::vector<std::pair<double, double>>> curves;
    // Wall time of Execute alone, ms, and the host calls it made.
    double elapsedMs = 0;
    long hostCalls = 0;
    // With a profile requested: the host calls of the last Execute by kind.
    std::vector<pyrana::objects::HostCallTally> profile;
    // COM objects of our layers still alive once everything was released
    // (0 unless something leaked), with their kinds.
    long leftAlive = 0;
    std::string leftAliveReport;
    // With more than one execution: the status, points and scalars of the
    // first, for comparison with the last.
    struct Outputs {
        HRESULT status = E_FAIL;
        std::vector<EnvelopePoint> points;
        std::map<std::string, double> scalars;
        double Scalar(const std::string& name) const {
            const auto found = scalars.find(name);
            return found == scalars.end() ? kUndefined : found->second;
        }
    };
    Outputs first;

    double Scalar(const std::string& name) const;
};

// Runs the calculation. The fluid input must have been validated
// (BuildFluid's checks); a fluid the host rejects throws InputError. A module
// that cannot be loaded or a utility that cannot be created or connected
// throws std::runtime_error with a one-line reason. A failing Execute is not
// an exception: its result is in `status`, with whatever the container held
// afterwards.
EnvelopeResult RunEnvelopeCalculation(const FluidInput& input, const EnvelopeRequest& request);

// The seven curve names in the order the utility writes them, with their
// axes pair ("PT", "PH", "PS", "PV", "TH", "TS", "TV").
const std::vector<std::pair<std::string, std::string>>& CurveNames();

}  // namespace cli
