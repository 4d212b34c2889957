// Value-type results of the reference host's thermodynamic calculations.
//
// Every calculation reports how it ended (Outcome), a human-readable message,
// and what it cost (iterations of its main loop, model evaluations: calls of
// ln φ or the Helmholtz function). Phases carry the host's phase-type codes.
#pragma once
#include <string>
#include <vector>

namespace pyrana::thermo {

enum class Outcome {
    kConverged,     // the result satisfies the tolerances
    kTrivialSplit,  // saturation flash: no saturation point at this pressure; the
                    // result holds vapour and first liquid with the feed's composition
    kNotConverged,  // iteration limit or stagnation; the result is the best estimate
    kInvalidInput,  // an argument was out of range; nothing was computed
};

const char* ToString(Outcome o);

// Host phase-type codes.
enum class PhaseType : int { kUnspecified = 0, kVapour = 3, kLiquid = 4 };

struct PhaseResult {
    PhaseType type = PhaseType::kUnspecified;
    bool aqueous = false;   // richer in water/alcohols/glycols than the other liquid
    double fraction = 0;    // mole fraction of the feed in this phase
    std::vector<double> x;  // mole fractions [nc]
    double z = 0;           // compressibility factor
    double v = 0;           // molar volume, m3/kmol (volume-translated when enabled)
    double h = 0;           // molar enthalpy, kJ/kmol (ideal gas at 298.15 K, 101.325 kPa: 0)
    double s = 0;           // molar entropy, kJ/(kmol K)
};

// Result of a PT or saturation flash. Phases are ordered: the vapour (if any)
// first, then the liquids, the aqueous liquid last when there are two.
struct FlashResult {
    Outcome outcome = Outcome::kInvalidInput;
    std::string message;
    int iterations = 0;
    int evaluations = 0;
    double t = 0;  // K (the saturation temperature found, for a saturation flash)
    double p = 0;  // kPa
    std::vector<PhaseResult> phases;
    // Max |ln f_i(phase k) - ln f_i(phase 0)| over present phases and compounds.
    double fugacityError = 0;
    // Gibbs energy of the result, Σ_k β_k Σ_i x_ik (ln x_ik + ln φ_ik) (G/RT up to terms
    // common to every split of the same feed at the same T, P).
    double gibbs = 0;

    bool ok() const { return outcome == Outcome::kConverged; }
    // Index into `phases` of the vapour, or -1.
    int VapourIndex() const;
    // Index into `phases` of the k-th liquid (k = 0 first, 1 second), or -1.
    int LiquidIndex(int k) const;
};

// A stationary point of the tangent-plane distance.
struct StationaryPoint {
    std::vector<double> w;  // normalised trial composition [nc]
    double tm = 0;          // tangent-plane distance at the stationary point
    bool converged = false;
};

struct StabilityResult {
    Outcome outcome = Outcome::kInvalidInput;
    std::string message;
    int iterations = 0;
    int evaluations = 0;
    bool stable = true;
    double minTm = 0;                     // lowest tm found (0 when every trial went trivial)
    std::vector<StationaryPoint> points;  // distinct points with tm < 0, lowest tm first
};

// Result of the further-phase test at a phase boundary.
struct FurtherPhaseResult {
    Outcome outcome = Outcome::kInvalidInput;
    std::string message;
    int iterations = 0;
    int evaluations = 0;
    bool found = false;
    PhaseType type = PhaseType::kUnspecified;  // of the further phase (liquid normally)
    std::vector<double> x;                     // normalised composition [nc] when found
    double tm = 0;
};

struct CriticalPointResult {
    Outcome outcome = Outcome::kInvalidInput;
    std::string message;
    int iterations = 0;
    int evaluations = 0;
    double t = 0;  // K
    double p = 0;  // kPa
    double v = 0;  // molar volume, m3/kmol (untranslated)
    // The feed is stable at this point, on the critical phase's root, so
    // that it lies on the phase envelope; false for a root inside a
    // two-phase region or of a metastable phase.
    bool stable = false;
};

}  // namespace pyrana::thermo
