// The thermodynamics as the engines see it. The tracers and point solvers
// ask for a phase's ln fugacity coefficients, for the further-phase test,
// and for a phase's enthalpy, entropy and volume through this interface
// alone; adapters in bridge/ answer it from the host framework's objects or
// from the application-side provider (and the engine tests from a model of
// their own). Failures of the thermodynamics raise CPYCOMError unless a
// method says otherwise.
#pragma once

#include <cstdint>

#include "engine/further_phase_test.h"
#include "platform/com.h"

// The root a phase is evaluated in.
enum class PhaseRoot { kLiquid, kVapour };

// One phase while the engines difference its ln fugacity coefficients:
// conditions and composition are put, then ln phi is read back.
class LnPhiChannel {
  public:
    virtual ~LnPhiChannel() = default;

    // Puts the pressure (kPa) / temperature (K) on the phase.
    virtual void PutPressure(double pKpa) = 0;
    virtual void PutTemperature(double tKelvin) = 0;
    // Marks the phase as present where the thermodynamics needs it.
    virtual void PutActive() = 0;
    // Puts the mole fractions w (ncomp; the caller keeps them unchanged
    // until the next Evaluate).
    virtual void SendComposition(const double* w) = 0;
    // ln phi at the phase's current state into result (ncomp); flags (may be
    // null: every compound active) mark with 1 the compounds left out.
    virtual void Evaluate(double* result, const uint8_t* flags) = 0;
};

class EngineThermo : public FurtherPhaseTest {
  public:
    // A trace begins: the thermodynamics readies the phases it evaluates
    // (a two-phase trace: phase fractions 1 for the liquid and 0 for the
    // vapour, no vapour for a trace of two liquids, liquidsOnly); EndTrace
    // lets them go. Nothing is tested.
    virtual void BeginTwoPhaseTrace(bool liquidsOnly) = 0;
    virtual void BeginThreePhaseTrace() = 0;
    virtual void EndTrace() = 0;

    // Whether a phase of that root can be evaluated in this trace.
    virtual bool HasPhase(PhaseRoot root) const = 0;
    // Chooses the root of the phase that Channel and PhaseProperties use.
    virtual void SelectPhase(PhaseRoot root) = 0;
    // The chosen phase's channel.
    virtual LnPhiChannel& Channel() = 0;

    // The further-phase test of the feed at tK (K) and pKpa (kPa): whether
    // it finds a further phase of either kind, and whether that phase is a
    // vapour (*lighter). FurtherPhaseComposition then gives that phase's
    // mole fractions as the test left them (ncomp, not normalised).
    virtual bool FindsFurtherPhase(double tK, double pKpa, bool* lighter) = 0;
    virtual void FurtherPhaseComposition(double* out) = 0;

    // Whether PhaseProperties answers at all (rows of the three-phase
    // boundaries carry properties only where it does).
    virtual bool HasPhaseProperties() const = 0;
    // The chosen phase's molar enthalpy, entropy and volume at pKpa, tK and
    // the mole fractions x; the status of the thermodynamics' last answer.
    virtual HRESULT PhaseProperties(double pKpa, double tK, const double* x, double* h, double* s,
                                    double* v) = 0;
};
