// The envelope command of phase-envelope: the calculation hosted through the
// utility module, then printed in the format asked for.
#include <iostream>
#include <optional>

#include "cli/commands.h"
#include "cli/envelope_report.h"
#include "cli/utility_module.h"
#include "platform/dialog_runtime.h"
#include "ui/options_dialog_driver.h"

namespace cli {

int RunEnvelope(const FluidInput& input, const std::string& title, const EnvelopeOptions& options) {
    EnvelopeRequest request;
    request.path = options.path;
    request.curves = !options.curveAxes.empty();
    request.fault = options.fault;
    request.view.outputPath = options.plotPath;
    request.view.title = "Phase envelope of " + title;

    // The options dialog at the end of a full calculation: scripted to draw
    // the chosen pair when a picture is asked for, from the terminal when
    // asked to be interactive, else closed at once.
    std::optional<OptionsDialogDriver> dialog;
    if (options.interactive && platform::StdioIsTerminal()) {
        dialog.emplace(std::cin, std::cout);
    } else if (!options.plotPath.empty()) {
        EnvelopeType axes = etPT;
        ParseEnvelopeAxes(options.plotAxes, &axes);
        dialog.emplace(axes);
    }
    const EnvelopeResult result = RunEnvelopeCalculation(input, request);
    dialog.reset();
    // Success codes other than S_OK say the envelope is incomplete: it is
    // printed, and standard error says what it misses.
    const bool ok = SUCCEEDED(result.status);

    // A failed calculation still answers a JSON reader with its status; the
    // other formats print nothing but the error line.
    if (ok || options.format == Format::kJson) {
        if (request.curves) {
            if (options.format == Format::kJson) {
                std::cout << CurveToJson(result, options.curveAxes).dump(2) << "\n";
            } else if (options.format == Format::kCsv) {
                WriteCurveCsv(std::cout, result, options.curveAxes);
            } else {
                WriteCurveTable(std::cout, result, options.curveAxes);
            }
        } else if (options.format == Format::kJson) {
            std::cout << ToJson(result).dump(2) << "\n";
        } else if (options.format == Format::kCsv) {
            WriteCsv(std::cout, result);
        } else {
            WriteSummaryAndTable(std::cout, result, title);
        }
        std::cout.flush();
    }
    if (result.leftAlive != 0) {
        std::cerr << "phase-envelope: " << result.leftAlive
                  << " objects outlived the calculation: " << result.leftAliveReport << "\n";
    }
    for (const std::string& reason : IncompleteReasons(result.status))
        std::cerr << "phase-envelope: the envelope is incomplete: " << reason << "\n";
    if (!ok) {
        std::cerr << "phase-envelope: the envelope calculation failed (Execute returned "
                  << HresultText(result.status) << ")\n";
        return kExitCalculation;
    }
    return kExitOk;
}

}  // namespace cli
