// Checks of pyThreePhaseEnvelope.dll as a Windows COM in-process server, run
// by the Windows test host (module_host.cpp) under Wine. Each function runs
// one phase of the module's life and records its checks in a CheckReport;
// the COM library must be initialised on the calling thread (apartment).
#pragma once

#include "wintest/check_report.h"

// After `regsvr32 pyThreePhaseEnvelope.dll`: the registry entries and the
// registered type library, the module's resources, the utility category,
// creation by ProgID, the bookkeeping methods early-bound, late binding
// through IDispatch and the type library, the class factory's module lock,
// and that the module unloads once everything is released.
void CheckRegisteredModule(CheckReport& report);

// After `regsvr32 /u pyThreePhaseEnvelope.dll`: the ProgIDs no longer
// resolve, the class can no longer be created, and the category no longer
// lists it.
void CheckUnregisteredModule(CheckReport& report);
