// The names of the properties the utility registers with the host.
#include "saturation/utility_state.h"

const wchar_t* const kPropertyNames[kNumPropertyIds] = {
    L"Temperature",     L"Pressure",        L"Enthalpy",
    L"Entropy",         L"MolarVolume",     L"LnFugacityCoeff",
    L"EnvelopeResultsMatrix", L"TypeOfDataPoint", L"ColumnName",
    L"2PhaseCriticalP", L"2PhaseCriticalT", L"3PhaseCriticalP",
    L"3PhaseCriticalT", L"3PhaseP",         L"3PhaseT",
    L"Cricondentherm",  L"Cricondenbar",    L"PTCurve",
    L"PHCurve",         L"PSCurve",         L"PVCurve",
    L"THCurve",         L"TSCurve",         L"TVCurve",
};
