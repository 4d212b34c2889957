// Everything a calculation asks of the thermodynamics, in one object: what
// the engines ask (EngineThermo) and the flashes the saturation routines
// start from (FlashThermo). The driver makes one per calculation, for the
// host framework (HostThermo) or the application-side provider
// (ProviderThermo).
#pragma once

#include "engine/engine_thermo.h"
#include "saturation/flash_thermo.h"

class ThermoBridge : public EngineThermo, public FlashThermo {};
