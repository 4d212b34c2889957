// One phase of the host as the engines see it while they difference its ln
// fugacity coefficients: conditions and composition are put, then ln phi is
// read back. Two kinds of host stand behind it: the host framework's working
// phase with its property manager, and a phase of the application-side
// provider. Host-framework calls that fail raise CPYCOMError; provider calls
// are not tested.
#pragma once

#include <cstdint>

#include "core/com_error.h"
#include "core/units.h"
#include "host/interfaces.h"
#include "platform/com.h"

class LnPhiChannel {
  public:
    // Host-framework mode: phase and propManager must not be null; lnPhiPropId
    // is the registered ID of the ln fugacity coefficient.
    LnPhiChannel(IPhase* phase, IPropManager* propManager, int32_t lnPhiPropId, int32_t ncomp);
    // Provider mode: appPhase may be null (every call then fails with
    // E_POINTER); compositionVariant is the tracer's VT_ARRAY|VT_R8 buffer of
    // ncomp elements.
    LnPhiChannel(IAppPhase* appPhase, VARIANT* compositionVariant, int32_t ncomp);
    ~LnPhiChannel();
    LnPhiChannel(const LnPhiChannel&) = delete;
    LnPhiChannel& operator=(const LnPhiChannel&) = delete;

    // Puts the pressure (kPa) / temperature (K) on the phase.
    void PutPressure(double pKpa);
    void PutTemperature(double tKelvin);
    // Host framework: put_Active(1).
    void PutActive();
    // Puts the ncomp mole fractions w on the phase (the composition array is
    // fetched on first use and kept for the channel's life).
    void SendComposition(const double* w);
    // Evaluates ln phi at the phase's current state into result[ncomp]. In
    // provider mode ln f (kPa) is read and turned into ln phi with the last
    // pressure and composition put, for compounds with flag != 1 and a
    // fraction above kNegligibleFraction (flags may be null: all active).
    void Evaluate(double* result, const uint8_t* flags);

    bool providerMode() const { return appPhase_ != nullptr || compositionVariant_ != nullptr; }

  private:
    void EnsureVariantArray();

    IPhase* phase_ = nullptr;
    IPropManager* propManager_ = nullptr;
    int32_t lnPhiPropId_ = kUndefinedInt;
    platform::ComPtr<IRealArrayDisp> composition_;

    IAppPhase* appPhase_ = nullptr;
    VARIANT* compositionVariant_ = nullptr;
    double lastPressureKpa_ = 0.0;
    const double* lastComposition_ = nullptr;

    int32_t ncomp_;
};
