// Loading of the compound data before a calculation: critical constants,
// host IDs and families, and the normalised feed without solids, with the
// count of compounds present and the absence flags the engines use.
#pragma once

#include "driver/utility_state.h"
#include "host/interfaces.h"

// Fills critTdegk (K), critPkpa (kPa), compID, compFamily, feedComp,
// twoPhaseSkip, threePhaseSkip, numbPresent and compound19Index from feed
// (ncomp fractions as read from the host) and, on the host path, the
// compound collection (unused on the provider path). A compound whose
// fraction is at most 1e-10, or a solid, is absent. Returns S_OK; the failing
// HRESULT of a host call (E_FAIL for another exception); E_INVALIDARG for a
// feed with a negative or NaN fraction, or whose non-solid fractions sum to
// zero (then feedComp is left unnormalised).
HRESULT LoadCompoundData(UtilityState* u, const double* feed, ICompoundCollection* compounds);
