// The temperature, inside a bracket and at a fixed pressure, at which the
// feed's phase count reaches a target (where a second liquid forms, say), by
// bisection on thermo's temperature-pressure flashes. The phases of the
// last flash are left in the utility object and the engines' starting vector
// is built from them as after a saturation point.
#pragma once

#include <cstdint>

#include "saturation/calculation_state.h"
#include "saturation/flash_thermo.h"

// P in atm; Tlo, Thi in K (either -32767: returns 1 at once with
// *numbPhases 0). *numbPhases is the target count on entry and the count
// found at *T on return; *H, *S, *V the mixture properties of that flash. At
// most 200 flashes are made; the last one is reported. Returns the result of
// PhaseLabelCheck.
int IncipientPhaseCurve(CalculationState* u, FlashThermo* thermo, double P, double Tlo, double Thi,
                        double* T, int32_t* numbPhases, double* H, double* S, double* V);
