// Whole calculations through the registered pyThreePhaseEnvelope.dll, run by
// the Windows test host under Wine against the reference host compiled into
// it (pyrana/, whose classes it offers with CoRegisterClassObject).
//
// CheckEnvelopes: the utility created by ProgID runs every case of
// wintest/envelope_cases.h (three feeds, host objects and application-side
// provider), early-bound, and each run is compared with its reference file
// from the Linux build.
//
// CheckLateBoundUtility: every method of IPYRUtility and INotifyChange called
// through IDispatch::Invoke, by the dispatch ID GetIDsOfNames finds in the
// type library, answering as its early-bound twin on a second object: the
// same HRESULT, the same outputs, and a whole calculation (SetThermo on both
// paths, InitializePropertyIDs, Execute) giving exactly the same rows.
#pragma once

#include <string>

#include "wintest/check_report.h"

// `referenceFolder`: the folder holding the reference files, as a Windows
// path (under Wine, Z: plus the Unix path). `runsFolder`, when not empty: an
// existing folder where every run is also written in the reference format,
// for a diff with the reference when a comparison fails.
void CheckEnvelopes(CheckReport& report, const std::string& referenceFolder,
                    const std::string& runsFolder);

void CheckLateBoundUtility(CheckReport& report);
