// Whole envelope calculations as a host runs them, in code shared by the two
// sides of the Windows build's comparison:
//
// - the Linux program tests/reference/envelope_reference, which runs each
//   case through the Linux module and writes (or checks) the committed
//   reference files in tests/reference/;
// - the Windows test host module_host.exe, which under Wine runs the same
//   cases through the registered pyThreePhaseEnvelope.dll and compares what
//   it reads back with those files.
//
// A case is a feed of the reference host (pyrana/), a thermodynamic path
// (the host's property and flash managers, or the application-side provider
// with bUseAppThermo 1) and one Execute with bRecalculate 1, bCalculationOnly
// 1 and nProp 0: the calculation-only output, which shows no dialog and
// writes the point types, the special points as scalars and the seven
// two-column curves. Every stored row's P, T, H, S and V are read back from
// the curves (P and T from "PTCurve", H from "PHCurve", S from "PSCurve", V
// from "PVCurve"), in store order.
//
// Units as the container holds them: P kPa, T K, H kJ/kmol, S kJ/(kmol K),
// V m3/kmol; -32767 where the utility left a value undefined.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/interfaces.h"
#include "host/undefined.h"
#include "platform/com.h"

namespace envelope_cases {

// The container's marker of an undefined value.

// One feed: compound database names with mole fractions.
struct FeedCase {
    std::string name;  // file-name stem: "dry-gas", "wet-feed", "binary"
    std::vector<std::pair<std::string, double>> feed;
};

// The three feeds of the comparison, in this order: the dry natural gas,
// the wet feed (methane, n-butane, n-decane, water) and the methane +
// n-decane binary. A pure compound is not among them: the utility's rules
// give a pure feed an empty envelope, which would compare nothing.
const std::vector<FeedCase>& Cases();

enum class ThermoPath { kHost, kApp };

// "host" or "app".
const char* PathName(ThermoPath path);

// One stored point: its type code (1..16) and values in the units above.
struct Row {
    int type = 0;
    double p = kUndefined;
    double t = kUndefined;
    double h = kUndefined;
    double s = kUndefined;
    double v = kUndefined;
};

// What one Execute left behind.
struct EnvelopeRun {
    HRESULT status = E_FAIL;  // Execute's result
    std::vector<Row> rows;    // store order
    // The eight special-point scalars by output name ("2PhaseCriticalP",
    // ..., "Cricondenbar"), kUndefined for those not written.
    std::map<std::string, double> scalars;
};

// The names of the special-point scalars, in the order they are reported.
const std::vector<std::string>& ScalarNames();

// The reference host of one case with the objects a host hands the utility.
// Constructing it builds the fluid and a pyrana::objects::Host, which offers
// the host's classes (real array, real matrix, settings companion) to the
// process with CoRegisterClassObject until it is destroyed: COM must be
// initialised on the thread (CoInitialize) for its whole life. For the
// application path it also creates the application-side provider over the
// same fluid and feed. Throws std::runtime_error when the fluid cannot be
// built or the host refuses the feed.
class CaseHost {
  public:
    CaseHost(const FeedCase& feedCase, ThermoPath path);
    ~CaseHost();
    CaseHost(const CaseHost&) = delete;
    CaseHost& operator=(const CaseHost&) = delete;

    ThermoPath path() const { return path_; }

    // The objects SetThermo and InitializePropertyIDs take. Each call hands
    // out a new reference held by the result. The provider is null on the
    // host path.
    platform::ComPtr<IDispatch> PropManager() const;
    platform::ComPtr<IDispatch> FlashManager() const;
    platform::ComPtr<IDispatch> Provider() const;
    platform::ComPtr<IDispatch> PropertyRegistry() const;
    // The phase collection and property container of Execute, one pair per
    // CaseHost (a fresh container per run: build a new CaseHost per Execute).
    platform::ComPtr<IDispatch> Phases() const;
    platform::ComPtr<IDispatch> Container() const;
    platform::ComPtr<IDispatch> Compounds() const;

    // Reads the container back after an Execute that answered `status`.
    EnvelopeRun ReadResults(HRESULT status) const;

  private:
    struct Objects;
    ThermoPath path_;
    std::unique_ptr<Objects> objects_;
};

// Connects `utility` to a new CaseHost of the case (SetThermo on `path`,
// then InitializePropertyIDs), runs Execute through the vtable and reads the
// results. A failing SetThermo or InitializePropertyIDs ends the run with
// its HRESULT in `status` and no rows; *step (may be null) then names it.
// Throws what CaseHost throws.
EnvelopeRun RunEarlyBound(IPYRUtility* utility, const FeedCase& feedCase, ThermoPath path,
                          std::string* step = nullptr);

// --- Reference files ---------------------------------------------------------

// "dry-gas.host.txt" and so on.
std::string ReferenceFileName(const FeedCase& feedCase, ThermoPath path);

// Writes `run` as text: a comment header naming the case, "status 0x...",
// one "scalar NAME VALUE" line per scalar, "rows N", then one line per row
// "TYPE P T H S V" (values with 17 significant digits, so they read back
// exactly). Returns false with a reason in *error when the file cannot be
// written.
bool WriteReference(const std::string& path, const FeedCase& feedCase, ThermoPath thermoPath,
                    const EnvelopeRun& run, std::string* error);

// Reads a file WriteReference wrote. Returns false with a reason (the line
// number and what was wrong) in *error for a missing or malformed file.
bool ReadReference(const std::string& path, EnvelopeRun* run, std::string* error);

// --- Comparison ----------------------------------------------------------------

// Whether two values agree to `tolerance` relative to the larger magnitude
// (with magnitudes below 1e-3 counted as 1e-3, so that values crossing zero,
// such as an enthalpy, are compared absolutely there).
bool Close(double a, double b, double tolerance);

// The rows a trace interpolates rather than converges: the special points
// (types 5 to 12) and the curve rows written with the same P and T beside
// them (a critical point is stored as the last dew row, the critical row and
// the first bubble row). Their values come from a cubic through the two
// neighbouring converged points with tangents obtained by finite differences
// of ln phi, which turn last-bit differences of the math library into
// differences of about 1e-5 relative; converged rows agree to about 1e-11.
// One flag per row of `run`.
std::vector<bool> InterpolatedRows(const EnvelopeRun& run);

struct Tolerances {
    double converged = 1e-6;     // relative, converged curve rows
    double interpolated = 1e-6;  // relative, interpolated rows and the scalars
};

struct Comparison {
    enum class Kind {
        // Same status, row count, point types in the same order, every value
        // and scalar within `converged`.
        kRowByRow,
        // As kRowByRow, but the interpolated rows (InterpolatedRows of the
        // reference) and the scalars only within `interpolated`.
        kInterpolatedPoints,
        // Row by row they differ, but the status, the scalars, the special
        // points (types 5 to 12, in order, with their values) within
        // `interpolated` and the number of rows of each type agree: two math
        // libraries' last-bit differences made one step decision of a curve
        // trace go the other way, which moves the curve's intermediate points.
        kSpecialPoints,
        // Not even the special points and row counts agree.
        kDifferent,
    };
    Kind kind = Kind::kDifferent;
    // Empty for kRowByRow; otherwise the first difference of the stricter
    // comparison that failed, and for kDifferent also that of the fallback.
    std::string detail;
};

// Compares `got` with `reference`; see Comparison::Kind.
Comparison CompareRuns(const EnvelopeRun& reference, const EnvelopeRun& got,
                       const Tolerances& tolerances);

// "12 rows (dew 5, critical 1, ...)" for reports.
std::string Summary(const EnvelopeRun& run);

}  // namespace envelope_cases
