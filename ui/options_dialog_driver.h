// How a program that hosts the utility plays the user of its options dialog
// (builds without the Windows headers): a script that plots one coordinate
// pair (check its radio button, press View, then Close) or the terminal. The
// command line keeps one of these alive around Execute:
//
//     EnvelopeType axes;
//     if (!ParseEnvelopeAxes("PH", &axes)) ...;
//     OptionsDialogDriver plot(axes);      // or OptionsDialogDriver(std::cin, std::cout)
//     utility->Execute(...);               // the dialog runs the script
//
// Without one, the dialog runtime closes the dialog at once.
#pragma once

#ifndef _WIN32

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "host/enums.h"
#include "platform/dialog_runtime.h"

// "PT", "PV", "PH", "PS", "TV", "TH", "TS" (any case) into *type; false, with
// *type untouched, for anything else.
bool ParseEnvelopeAxes(const std::string& text, EnvelopeType* type);
// The two-letter name of `type` ("PT" ... "TS"); "PT" for a value out of range.
const char* EnvelopeAxesName(EnvelopeType type);

// The actions that plot `type`: check its radio button, press View, press
// Close.
std::vector<platform::DialogAction> PlotScript(EnvelopeType type);

// Installs a driver for the options dialogs run while it lives and puts the
// previous driver back when it goes.
class OptionsDialogDriver {
  public:
    // Scripted: every dialog plots `axes` and closes.
    explicit OptionsDialogDriver(EnvelopeType axes);
    // Interactive: the dialog is shown on `out` and the user's choices are
    // read from `in` (see platform::TerminalDialogDriver).
    OptionsDialogDriver(std::istream& in, std::ostream& out);
    ~OptionsDialogDriver();
    OptionsDialogDriver(const OptionsDialogDriver&) = delete;
    OptionsDialogDriver& operator=(const OptionsDialogDriver&) = delete;

    // Dialogs the scripted driver has run (0 for the terminal one).
    int DialogsRun() const;

  private:
    std::unique_ptr<platform::DialogDriver> driver_;
    platform::ScriptedDialogDriver* script_ = nullptr;
    platform::DialogDriver* previous_ = nullptr;
};

#endif  // !_WIN32
