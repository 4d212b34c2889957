// The reference host's calculator: phase properties, stability analysis, PT
// and saturation flashes, the further-phase test and the mixture critical
// point, for one fluid.
//
// A Calculator is built once per fluid and reused: it owns the model (a cubic
// equation of state behind the Model interface) and every scratch array the
// algorithms need, sized at construction, so the iterations never allocate
// (only the returned result values do). It also keeps the stationary points of
// the last further-phase test to warm-start the next one. One Calculator must
// not be used from two threads at once; make one per thread instead.
//
// Compositions are passed as pointer to [nc] doubles (mole fractions or mole
// numbers, normalised internally, none negative), caller-owned and read only
// during the call. No method throws; invalid input gives Outcome::kInvalidInput
// with a message naming the argument, its value and the rule.
#pragma once
#include <cmath>
#include <memory>
#include <vector>

#include "pyrana/thermo/fluid.h"
#include "pyrana/thermo/model.h"
#include "pyrana/thermo/results.h"

namespace pyrana::thermo {

struct FlashOptions {
    // true: near-pure trials for every compound (the host's integer setting 3);
    // false: the reduced set (Wilson, aqueous compounds, heaviest, lightest; setting 2).
    bool fullStability = true;
    bool allowThreePhases = true;
    // Fugacity tolerance: max |ln f_i^A - ln f_i^B| of an accepted split.
    double tolerance = 1e-10;
    int maxIterations = 200;
    // A second look at a feed that the standard trials call stable (trials
    // along the soft direction of its plane and towards each compound), and
    // at a split's phases (along their soft directions and a tenth of the
    // way from one to the other), for phases close to another near a
    // critical point. The saturation flash's own scans go without it: it
    // tripled their cost.
    bool secondLook = true;
};

struct SaturationOptions {
    // Initial temperature [K]: the saturation point closest to it is returned.
    // NaN: none; the upper point is returned.
    double tInit = NAN;
    // Search bounds [K]; NaN for the defaults 0.35·min Tc and 1.3·max Tc.
    double tMin = NAN;
    double tMax = NAN;
};

// Properties of one phase at given T, P, composition and root.
struct PhaseProperties {
    bool ok = false;
    std::string message;
    RootInfo root;                                     // Z, V (translated when enabled), root count
    double h = 0;                                      // kJ/kmol
    double s = 0;                                      // kJ/(kmol K)
    double cp = 0;                                     // kJ/(kmol K)
    double g = 0;                                      // kJ/kmol, H - T S
    std::vector<double> lnPhi;                         // [nc]
    std::vector<double> dLnPhiDT, dLnPhiDP, dLnPhiDN;  // filled when asked: [nc], [nc], [nc*nc]
};

class Calculator {
  public:
    // Builds the cubic equation of state the fluid asks for.
    explicit Calculator(Fluid fluid);
    // Uses the given model (tests, other models); must not be null.
    explicit Calculator(std::unique_ptr<Model> model);
    ~Calculator();
    Calculator(const Calculator&) = delete;
    Calculator& operator=(const Calculator&) = delete;

    const Fluid& fluid() const { return model_->fluid(); }
    Model& model() { return *model_; }
    int size() const { return nc_; }

    // Properties at T [K], P [kPa], composition x [nc]; `derivatives` adds the
    // ln φ derivatives in T, P and mole numbers.
    // ln φ of one phase into lnPhi[nc] (x normalised first), with the root's Z and V
    // in *info when given: what Properties gives as lnPhi, without the caloric
    // properties and without allocating, for a host's most frequent request. False
    // (lnPhi unchanged) for bad conditions or a state without an admissible root.
    bool LnPhi(double t, double p, const double* x, Root root, double* lnPhi,
               RootInfo* info = nullptr);
    PhaseProperties Properties(double t, double p, const double* x, Root root,
                               bool derivatives = false);

    // Host phase-type code → root choice: 3 vapour, 4 liquid, anything else stable.
    static Root RootForPhaseType(int phaseType);

    // Forgets the warm starts that the further-phase test and the saturation
    // flash keep from one call to the next, so that the calls after this one
    // give what they give on a new calculator. A host calls it when a new
    // calculation begins (its flash settings are set).
    void DropWarmStarts();

    // Michelsen stability analysis of composition z at T, P.
    StabilityResult Stability(double t, double p, const double* z,
                              const FlashOptions& options = FlashOptions());

    // Isothermal flash with up to three phases.
    FlashResult FlashPT(double t, double p, const double* z,
                        const FlashOptions& options = FlashOptions());

    // Saturation flash at P [kPa] and vapour fraction beta in [0, 1]: the
    // temperature and the phases there (vapour of fraction beta, one or two
    // liquids). Where no saturation point exists at this pressure the outcome is
    // kTrivialSplit with vapour and one liquid of the feed's composition.
    FlashResult FlashSaturation(double p, double beta, const double* z,
                                const SaturationOptions& saturation = SaturationOptions(),
                                const FlashOptions& options = FlashOptions());

    // Further-phase test: `feed` at T, P sits on a phase boundary where the phase
    // `incipient` [nc] is about to appear (null when unknown). Reports a further
    // phase distinct from both (stationary point with tm < -1e-8), with its
    // normalised composition. Warm-starts from the previous call's stationary points.
    FurtherPhaseResult FurtherPhase(double t, double p, const double* feed, const double* incipient,
                                    const FlashOptions& options = FlashOptions());

    // Mixture critical points of composition z (Heidemann & Khalil 1980
    // criteria, solved as Michelsen 1980 suggests): every root found by a scan
    // of the packing fraction b/V from 0.02 to 0.95, each marked stable when
    // the feed is stable there (the point lies on the phase envelope). Stable
    // roots come first, hottest first. Empty when none is found; one entry
    // with kInvalidInput for a bad composition.
    std::vector<CriticalPointResult> CriticalPoints(const double* z);

    // The first of CriticalPoints: the critical point on the envelope when
    // there is one; kNotConverged when there is no root.
    CriticalPointResult CriticalPoint(const double* z);

    struct Work;  // scratch space; defined in calculator_internal.h

  private:
    std::unique_ptr<Model> model_;
    int nc_;
    std::unique_ptr<Work> work_;
};

}  // namespace pyrana::thermo
