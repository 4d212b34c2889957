// Reading the phases of a host flash into the utility object, shared by the
// saturation-point and incipient-phase routines.
#pragma once

#include <cstdint>

#include "host/interfaces.h"
#include "saturation/utility_state.h"

// Puts the specification on the kind-1 phase of the utility's collection:
// pressure (kPa), fraction, temperature (K), with enthalpy and entropy
// undefined, after put_Mode(0). Raises CPYCOMError on failure.
void PutFlashSpecification(UtilityState* u, double pKpa, double fraction, double tKelvin);

// Reads phase (kind, index) of the utility's collection after a flash. When
// it is active: *fraction, its composition into comp, and fraction times its
// enthalpy, entropy and molar volume added to *H, *S, *V when the fraction is
// positive; returns true. An inactive phase returns false. With
// tolerateMissing, a failing GetPhase is taken as an absent phase. Other
// failures raise CPYCOMError.
bool ReadHostPhase(UtilityState* u, int kind, int index, double* fraction, double* comp, double* H,
                   double* S, double* V, bool tolerateMissing);
