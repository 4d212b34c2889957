// The flashes of the feed that the saturation routines start from, as they
// see them: adapters in bridge/ make them with the host framework's flash or
// the application-side provider's, and read the phases found into the
// calculation's state. Failures of the host framework raise CPYCOMError;
// the provider's are reported through the phase count alone.
#pragma once

#include <cstdint>

#include "saturation/calculation_state.h"

class FlashThermo {
  public:
    virtual ~FlashThermo() = default;

    // The temperature (K) the next flash at a vapour fraction starts from.
    virtual void SeedTemperature(double tK) = 0;

    // The flash of the feed at pKpa and the vapour fraction u->vapFrac. The
    // phases found go to u: the vapour to yVap (with its fraction in vapFrac),
    // the liquids to xLiq1 and xLiq2 (liq1Frac, liq2Frac; one liquid found
    // goes to xLiq1), the temperature found to curTdegk. *numbPhases counts
    // them (0 when the flash failed); *H, *S, *V receive the mixture's molar
    // enthalpy, entropy and volume, which hold 0 on entry.
    virtual void FlashAtVapourFraction(CalculationState* u, double pKpa, int32_t* numbPhases,
                                       double* H, double* S, double* V) = 0;

    // The flash of the feed at tK and pKpa, its phases read into u as above
    // (a second liquid into xLiq2 when a vapour or the first liquid was
    // found). Returns the phase count; *vapourSeen tells whether a vapour
    // was among the phases.
    virtual int32_t FlashAtTemperature(CalculationState* u, double tK, double pKpa, double* H,
                                       double* S, double* V, bool* vapourSeen) = 0;
};
