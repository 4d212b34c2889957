// The application-side thermodynamics provider of the reference host: the
// same model as the host's COM objects (pyrana/objects), reached through
// IAppThermoProvider, IAppPhase, IAppValue, IAppComponentList and
// IAppComponent, with temperatures in degrees Celsius and pressures in kPa.
//
//     platform::ComPtr<IAppThermoProvider> provider =
//         pyrana::app::CreateProvider(fluid, {0.5, 0.5});
//     VARIANT t, p; ... VT_R8 25.0 (deg C), VT_R8 1000.0 (kPa)
//     int status = -1;
//     provider->FlashTP(t, p, &status);          // status 0: success
//     platform::ComPtr<IAppPhase> vapour;
//     provider->get_VapourPhase(vapour.put());   // null when absent
//
// Behaviour:
// - FlashTP (T deg C, P kPa) and FlashPVF (P kPa, vapour fraction) flash the
//   feed; status 0 on success (a saturation flash without a saturation point
//   gives the trivial split, vapour and liquid of the feed's composition,
//   with status 0), 1 for arguments that are not numbers or out of range, 2
//   when the model does not converge. After a successful flash the phases
//   present are handed out (the second liquid is the aqueous one), the others
//   are null; after a failed one all are null. The provider's Temperature,
//   Pressure, Enthalpy, Entropy and MolarVolume values hold the flash's
//   conditions and mixture properties.
// - Putting the provider's Temperature value seeds the next FlashPVF (the
//   saturation point nearest to it is found) and, with the Pressure value,
//   sets the conditions of FindThirdPhase.
// - put_Mode: 2 asks for the reduced stability analysis, anything else full.
// - FindThirdPhase: the further-phase test of the feed at the provider's
//   current temperature and pressure; phT 1 for a further liquid, 2 for a
//   further vapour, 0 for none (composition untouched then).
// - IAppPhase: Temperature (deg C), Pressure (kPa), Fraction and Composition
//   values may be put; GetLnFugacity gives ln f_i (f in kPa) at the phase's
//   state, with the vapour root for the vapour phase object and the liquid
//   root for liquid ones. For a compound whose mole fraction is below 1e-30
//   the entry is ln phi_i instead (a client turning ln f into ln phi leaves
//   such entries as they are).
// - VARIANT out-parameters that receive arrays (get_Value, GetLnFugacity,
//   FindThirdPhase) must hold VT_EMPTY or a value they own: it is cleared
//   before the new value is written.
// - Components: ID, State 200 (every compound of a fluid is non-solid),
//   IsSolid, critical temperature in deg C and pressure in kPa.
#pragma once

#include <vector>

#include "host/app_interfaces.h"
#include "platform/com.h"
#include "pyrana/thermo/fluid.h"

namespace pyrana::app {

// A provider over its own calculator of `fluid`, with `feed` (one mole
// fraction per compound, normalised here). Throws std::invalid_argument for a
// feed of the wrong size, with a negative or non-finite entry, or summing to 0.
platform::ComPtr<IAppThermoProvider> CreateProvider(const thermo::Fluid& fluid,
                                                    std::vector<double> feed);

}  // namespace pyrana::app
