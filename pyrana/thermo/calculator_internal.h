// Internal to pyrthermo: the calculator's scratch space and the algorithm
// entry points shared by its source files (stability, flash, saturation,
// critical point). Algorithms reach the equation of state only through Model.
#pragma once
#include <cmath>
#include <initializer_list>
#include <vector>

#include "pyrana/thermo/calculator.h"

namespace pyrana::thermo {

namespace detail {
constexpr int kMaxPhases = 3;
}

// Scratch space of one calculator, sized once for nc compounds.
struct Calculator::Work {
    explicit Work(int nc);

    int nc;
    int maxTrials;
    int maxDim;
    long evaluations = 0;  // model calls since the counter was reset
    int iterations = 0;

    // Feed.
    std::vector<double> z, lnPhiZ, d;
    std::vector<char> present;  // z_i > 0

    // Phases of the current split.
    int np = 0;
    double beta[detail::kMaxPhases] = {0, 0, 0};
    std::vector<double> x[detail::kMaxPhases], lnPhi[detail::kMaxPhases], dN[detail::kMaxPhases],
        dT[detail::kMaxPhases];
    double vol[detail::kMaxPhases] = {0, 0, 0};
    PhaseType type[detail::kMaxPhases] = {};
    bool aqueous[detail::kMaxPhases] = {};

    // Stationary points of the last stability analysis: [maxTrials][nc].
    int spCount = 0;
    std::vector<double> spW, spLnW, spTm;
    std::vector<char> spConv;
    double minTm = 0;
    // Lowest tm of any non-trivial trial of the last stability analysis, positive values
    // included (HUGE_VAL when every trial went trivial), and that trial's normalised
    // composition [nc]: how close a stable feed is to splitting.
    double lowestTm = HUGE_VAL;
    std::vector<double> lowestW;
    // The same for the feed's own analysis in the last FlashCore.
    double feedLowestTm = HUGE_VAL;

    // Warm-start cache of the further-phase test.
    int cacheCount = 0;
    std::vector<double> cacheW;  // [maxTrials][nc]
    std::vector<double> cacheTm;
    // Stationary point that seeds a third phase: [nc].
    std::vector<double> seedW;
    // Further trial compositions handed to a second stability test: [maxTrials][nc].
    int extraCount = 0;
    std::vector<double> extraW;
    // Trials of the stability test of a two-phase split: the feed's
    // stationary points, then points between the split's phases, the feed,
    // and trials along the soft direction of a phase near its stability
    // limit; or the feed's second set of trials: [maxTrials + 2 nc + 16][nc].
    std::vector<double> splitW;
    // Best split of a flash, the mole numbers before a Newton step and those of its
    // trial step: [kMaxPhases][nc]. refPhase [nc]: the phase that holds most of each
    // compound in the Newton step, where its amount closes the material balance.
    std::vector<double> bestX, nOld, nTrial;
    std::vector<int> refPhase;
    // Phases kept by the saturation flash across its PT flashes: [kMaxPhases][nc].
    std::vector<double> satX;
    // Incipient phase of the last converged bubble (0) and dew (1) point: the first
    // trial of the next saturation flash. Empty until one converged.
    std::vector<double> satIncipient[2];
    // ψ_ik = 1/φ_ik (scaled) of the phase-fraction problem: [kMaxPhases][nc].
    std::vector<double> psi;

    // Trial and iteration scratch.
    std::vector<double> lnW, lnWPrev, lnW2, delta, deltaPrev, w, lnPhiW, dNW, g, alpha;
    std::vector<double> lnK, lnKPrev, lnKEarly, dK, dKPrev, saveA, saveB;
    std::vector<double> lnRef;           // ln of the reference composition of the trial being run
    std::vector<double> mat, mat2, rhs;  // [maxDim*maxDim] x2, [maxDim]
    std::vector<double> eigenVectors;    // [maxDim*maxDim]
    std::vector<int> piv, idx;
    std::vector<double> tmp1, tmp2, tmp3;  // [maxDim] each
};

namespace detail {

// Counted model call (stable root unless told otherwise).
bool Eval(Model& m, Calculator::Work& w, double t, double p, const double* x, double* lnPhi,
          double* dT = nullptr, double* dN = nullptr, Root root = Root::Stable,
          RootInfo* info = nullptr);

// Solves a·x = b in place (x returned in b) by Gaussian elimination with partial
// pivoting; a is n×n row-major and destroyed. False when singular.
bool SolveLinear(int n, double* a, double* b, int* piv);

// The second look's trials at a composition z [w.nc] that the standard
// trials call stable, written to `out` from row `first`: for each compound
// present, the given fractions of the way from z towards it; then a
// quarter, half and three quarters of the way towards Wilson's vapour- and
// liquid-like compositions (a phase of intermediate composition, such as a
// liquid between another liquid and its incipient vapour, lies in a basin
// that the standard trials pass by). Uses w.g. Returns the next free row.
int SecondLookTrials(Model& m, Calculator::Work& w, double t, double p, const double* z,
                     std::initializer_list<double> towardsCompound, double* out, int first);

// Stability analysis of normalised z at T, P whose ln φ is lnPhiZ: fills
// w.spCount/spW/spTm/spConv (distinct stationary points with tm < -1e-12, lowest
// first) and w.minTm. `extraTrials` [count][nc] compositions are tried first; with
// `standard` false they are the only trials. The analysis stops after the first
// trial whose tm falls below `stopBelow` (a flash needs one clear unstable direction,
// not all of them).
int StabilityCore(Model& m, Calculator::Work& w, double t, double p, const double* z,
                  const double* lnPhiZ, bool full, const double* extraTrials, int extraCount,
                  bool standard = true, double stopBelow = -HUGE_VAL, bool nearPureTrials = true);

// One tangent-plane trial against the reference composition `ref` [nc] (normalised),
// whose d_i = ln ref_i + ln φ_i(ref) must already be in w.d and presence flags in
// w.present. Starts from the composition `start` [nc] (need not be normalised). On
// return w.w holds the normalised trial composition at the end of the iteration.
struct TrialResult {
    double tm = 0;
    bool converged = false;  // a stationary point within tolerance
    bool trivial = false;    // collapsed onto the reference
};
TrialResult TangentPlaneTrial(Model& m, Calculator::Work& w, double t, double p, const double* ref,
                              const double* start);

struct CoreResult {
    bool valid = false;      // inputs accepted
    bool converged = false;  // fugacities equal within tolerance
    double error = 0;        // fugacity error
    double gibbs = 0;
    int iterations = 0;
    // The split's stability test found a phase of lower Gibbs energy that the flash
    // could not converge to: the split is the best estimate, not an equilibrium.
    bool unstable = false;
};

// Two-phase split from the initial ln K in w.lnK (K = x[1]/x[0]): successive
// substitution with Rachford–Rice and acceleration, then Newton. On success w holds
// np = 2 with 0 < β < 1.
bool TwoPhaseSplit(Model& m, Calculator::Work& w, double t, double p, const double* z,
                   const FlashOptions& options, int* iterations);

// Second-order (Newton) minimisation of the Gibbs energy in the mole numbers, from the
// split in w; each compound's amount in the phase holding most of it follows from the
// material balance. True when the fugacity error falls below `tol` with every fraction
// positive; false as soon as the error stops falling (w then holds the last iterate).
bool NewtonSplit(Model& m, Calculator::Work& w, double t, double p, const double* z, double tol,
                 int maxIt, int* iterations);

// PT flash into w.np / w.beta / w.x / w.lnPhi, labelled and ordered (w.type, w.aqueous).
CoreResult FlashCore(Model& m, Calculator::Work& w, double t, double p, const double* z,
                     const FlashOptions& options);

// Labels the phases in w (vapour/liquid, aqueous) and orders them: vapour first,
// liquids after with the aqueous one last.
void LabelAndOrder(Model& m, Calculator::Work& w, double t, double p);

// Mass density [kg/m3] of a phase of composition x [nc] (mole fractions, normalised)
// and molar volume v [m3/kmol].
double MassDensity(const Fluid& f, const double* x, double v);

// Index of the phase of w (labelled by LabelAndOrder, w.vol filled) that can be the
// vapour of a bubble point: the one labelled vapour, provided its mass density lies
// below that of every other phase. A hydrocarbon liquid that splits off a lighter
// liquid at low temperature has the largest molar volume and is labelled vapour in a
// three-phase flash, but it is the heavier liquid of the two. -1 when there is none.
int BubbleVapour(const Model& m, const Calculator::Work& w);

// Copies w's phases into a FlashResult with properties of each phase.
void FillResult(Model& m, Calculator::Work& w, double t, double p, FlashResult* out);

// Fugacity error and Gibbs energy of the split in w.
double SplitError(const Calculator::Work& w);
double SplitGibbs(const Calculator::Work& w);

// What a PT flash at one temperature told a bubble-point scan: enough to tell,
// as the PT-flash scan of the saturation flash would, whether a vapour appears
// between two temperatures.
struct ProbeSummary {
    double t = 0;              // K
    bool valid = false;        // the PT flash converged
    int np = 0;                // its phases
    bool lightVapour = false;  // a phase labelled vapour, lighter by mass than the others
};

// One probe of a bubble-point scan by the incipient-phase condition, in the order
// the scan met it. Where a vapour appeared or vanished since the scan's previous
// probe of the same direction (at bracketFrom), the scan judged the bracket: of
// the other kind (no bubble point at all), or unsolved, in which case `lo` and
// `hi` are the bracket as far as the scan narrowed it by bisection.
struct ScanProbe {
    ProbeSummary at;
    bool upward = false;  // met stepping up from the start (else down, or the start)
    bool otherKind = false;
    bool narrowed = false;
    double bracketFrom = 0;
    ProbeSummary lo, hi;
};

// What a saturation flash is asked for, shared by its solvers.
struct SaturationTask {
    double p = 0;               // kPa
    double beta = 0;            // vapour fraction asked for
    const double* z = nullptr;  // normalised feed [nc]
    double tLo = 0, tHi = 0;    // search bounds, K
    bool haveInit = false;      // t0 is the caller's initial temperature (else the upper bound)
    double t0 = 0;              // K
    const FlashOptions* options = nullptr;
    int iterations = 0;  // accumulated by the solvers
    // Bubble points: the probes of the incipient-phase scan in the order met, and
    // whether it covered the bounds (it ended without a point).
    std::vector<ScanProbe> scan;
    bool scanComplete = false;
};

// Newton method on the saturation equations: ln K_ik of the m non-reference phases
// relative to phase 0, the fractions of phases 2..m, ln T; phase 1 has the fixed
// fraction `fixedBeta`. Starts from w.x[0..m], w.beta and *t with w.present set; on
// success w holds the m + 1 phases at the saturation temperature *t, and w.dT / w.dN
// their derivatives there.
bool SaturationNewton(Model& model, Calculator::Work& w, double p, const double* z, int m,
                      double fixedBeta, double* t, int* iterations);

// Index of a compound whose feed fraction exceeds 0.99999, or -1.
int DominantCompound(int nc, const double* z);

// Saturation point of a (nearly) pure feed: the temperature where the dominant
// compound's ln φ in the liquid and vapour roots of the feed composition agree. True with
// `out` filled (converged), false when none exists at this pressure within the bounds.
bool PureSaturation(Model& m, Calculator::Work& w, SaturationTask& task, int dominant,
                    FlashResult* out);

// Bubble (β = 0) or dew (β = 1) point of a mixture by the incipient-phase condition.
enum class SearchEnd {
    kFound,   // `out` holds the saturation point
    kNone,    // no saturation point within the bounds
    kFailed,  // a transition was seen but not solved: the caller may try another method
};
SearchEnd IncipientSaturation(Model& m, Calculator::Work& w, SaturationTask& task,
                              FlashResult* out);

// Validates a composition: finite, non-negative, positive sum; normalises into out.
bool NormaliseComposition(int nc, const double* x, double* out, std::string* error);

}  // namespace detail
}  // namespace pyrana::thermo
