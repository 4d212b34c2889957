// Draws pictures of whole calculations through the options dialog and the
// plot view, for looking at them: the wet feed in all seven coordinate
// pairs, the dry natural gas and propane in PT.
//
//     envelope_gallery OUTPUT_FOLDER
#include <cstdio>
#include <string>

#include "driver/envelope_calculation.h"
#include "platform/com.h"
#include "plotview/envelope_view.h"
#include "tests/support/envelope_harness.h"
#include "tests/support/natural_gas.h"
#include "ui/options_dialog_driver.h"
#include "ui/phase_envelope_dlg.h"

namespace {

std::string Describe(const FluidSpec& spec) {
    std::string text;
    for (const auto& c : spec.components) {
        char fraction[32];
        std::snprintf(fraction, sizeof fraction, "%g", c.second);
        text += (text.empty() ? "" : ", ") + c.first + " " + fraction;
    }
    return text;
}

int Draw(const std::string& folder, const std::string& name, const std::string& title,
         const FluidSpec& spec, std::initializer_list<EnvelopeType> pairs) {
    int failures = 0;
    for (EnvelopeType type : pairs) {
        EnvelopeHarness harness(spec);
        plotview::ViewSettings settings;
        settings.outputPath = folder + "/" + name + "_{axes}.png";
        settings.title = title + "\n" + Describe(spec);
        settings.registry = harness.host().PropertyRegistry();
        plotview::EnvelopeViewRegistration views(settings);
        OptionsDialogDriver plot(type);
        EnvelopeCalculation calculation(harness.object(), harness.utility(), &ShowOptionsDialog);
        const HRESULT status =
            calculation.Run(nullptr, harness.phases(), harness.container(), 1, 0, 0);
        for (const std::string& file : views.WrittenFiles())
            std::printf("%s\n", file.c_str());
        for (const std::string& error : views.Errors()) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
            ++failures;
        }
        if (status != S_OK || views.WrittenFiles().empty())
            ++failures;
    }
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    CoInitialize(nullptr);
    const FluidSpec wet{{{"methane", 0.5}, {"n-butane", 0.3}, {"n-decane", 0.1}, {"water", 0.1}},
                        {}};
    const FluidSpec dry{test_fluids::NaturalGas(), {}};
    const FluidSpec propane{{{"propane", 1.0}}, {}};
    int failures =
        Draw(folder, "wet_feed", "Wet feed", wet, {etPT, etPV, etPH, etPS, etTV, etTH, etTS});
    failures += Draw(folder, "dry_gas", "Dry natural gas", dry, {etPT});
    failures += Draw(folder, "propane", "Propane", propane, {etPT});
    CoUninitialize();
    return failures == 0 ? 0 : 1;
}
