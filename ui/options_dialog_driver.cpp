// Scripted and terminal drivers for the options dialog.
#include "ui/options_dialog_driver.h"

#include <cctype>

#include "ui/phase_envelope_dlg.h"

namespace {

const char* const kAxesNames[] = {"PT", "PV", "PH", "PS", "TV", "TH", "TS"};
const int kAxesCount = static_cast<int>(sizeof kAxesNames / sizeof kAxesNames[0]);

}  // namespace

bool ParseEnvelopeAxes(const std::string& text, EnvelopeType* type) {
    if (text.size() != 2 || type == nullptr)
        return false;
    std::string upper;
    for (char c : text)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (int i = 0; i < kAxesCount; ++i) {
        if (upper == kAxesNames[i]) {
            *type = static_cast<EnvelopeType>(i);
            return true;
        }
    }
    return false;
}

const char* EnvelopeAxesName(EnvelopeType type) {
    const int i = static_cast<int>(type);
    return i >= 0 && i < kAxesCount ? kAxesNames[i] : kAxesNames[0];
}

std::vector<platform::DialogAction> PlotScript(EnvelopeType type) {
    const int radio = RadioOfEnvelopeType(type);
    return {platform::DialogAction::Check(radio >= 0 ? radio : IDC_ENVELOPE_PT),
            platform::DialogAction::Press(IDC_ENVELOPE_VIEW),
            platform::DialogAction::Press(IDC_ENVELOPE_CLOSE)};
}

OptionsDialogDriver::OptionsDialogDriver(EnvelopeType axes) {
    auto script = std::make_unique<platform::ScriptedDialogDriver>(PlotScript(axes));
    script_ = script.get();
    driver_ = std::move(script);
    previous_ = platform::SetDialogDriver(driver_.get());
}

OptionsDialogDriver::OptionsDialogDriver(std::istream& in, std::ostream& out)
    : driver_(std::make_unique<platform::TerminalDialogDriver>(in, out)) {
    previous_ = platform::SetDialogDriver(driver_.get());
}

OptionsDialogDriver::~OptionsDialogDriver() {
    platform::SetDialogDriver(previous_);
}

int OptionsDialogDriver::DialogsRun() const {
    return script_ != nullptr ? script_->DialogsRun() : 0;
}
