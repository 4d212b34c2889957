// Where the options dialog's template comes from. On Windows it is DIALOG
// 201 in the module's resource section (component/pyThreePhaseEnvelope.rc)
// and registering does nothing; elsewhere it is built from the same
// ENVELOPE_OPTIONS_CONTROLS list and registered with the dialog runtime as
// resource 201 of the module holding this code.
#pragma once

#include "platform/com.h"
#include "platform/dialog.h"

// The module whose resource 201 is the options dialog: the one this code is
// linked into.
HINSTANCE OptionsDialogModule();

// Makes template 201 available to DialogBoxParamA for OptionsDialogModule();
// safe to call any number of times.
void RegisterOptionsDialogTemplate();

#ifndef _WIN32
#include "platform/dialog_runtime.h"

// The portable form of the template, as registered.
const platform::DialogTemplate& OptionsDialogTemplate();
#endif
