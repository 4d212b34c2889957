// The utility object's state as the driver works on it: the calculation's
// state and the host connections the utility object holds.
#pragma once

#include "host/interfaces.h"
#include "platform/com.h"
#include "saturation/calculation_state.h"

struct UtilityState : CalculationState {
    // Each holds one reference.
    IPropManager* propManager = nullptr;
    IPhaseCollection* phaseCollection = nullptr;
    IFlashManager* flashManager = nullptr;
    IFlashSettings* flashSettings = nullptr;
    ISettingsCompanion* settingsCompanion = nullptr;
    IAppThermoProvider* appThermoProvider = nullptr;
    IAppComponentList* appComponents = nullptr;
};
