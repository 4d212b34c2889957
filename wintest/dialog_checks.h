// The "Envelope Options" dialog of a full calculation, run by user32 under
// Wine from the module's DIALOG 201 and driven from inside the test host.
//
// The host offers a recording plot view (IUtilityView) for the view's ProgID
// (CoRegisterClassObject plus the ProgID key under HKEY_CLASSES_ROOT, both
// removed afterwards), runs Execute with bCalculationOnly 0 for the dry
// natural gas on the host path, and a thread timer, dispatched by the
// dialog's own modal loop, finds the dialog window and works it: the initial
// state (the "PT" radio checked, the four fields showing the "%g" text of the
// container's values), each radio clicked with "View" after it (the view's
// Update receiving that radio's EnvelopeType, Show the dialog's window), then
// "Close". A watchdog thread closes the dialog and fails the run when the
// script has not finished after a few seconds, and ends the process when
// even that does not bring Execute back.
#pragma once

#include <string>

#include "wintest/check_report.h"

// `referenceFolder`: the folder of the Linux build's reference files (a
// Windows path); the special points the full calculation wrote are compared
// with those of "dry-gas.host.txt" there.
void CheckOptionsDialog(CheckReport& report, const std::string& referenceFolder);

// The same calculation and dialog, captured instead of worked: once the
// dialog has been shown and painted, the window (frame and caption
// included) is copied with GDI into a 32-bit BMP at `bmpPath` (a Windows
// path), then the dialog is closed. Meaningful with a graphics driver that
// draws (the X11 driver under Xvfb); the null driver draws nothing.
void CaptureOptionsDialog(CheckReport& report, const std::string& bmpPath);
