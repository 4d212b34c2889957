// The envelope command of phase-envelope: the calculation hosted through the
// utility module, then printed in the format asked for.
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/commands.h"
#include "cli/envelope_report.h"
#include "cli/utility_module.h"
#include "platform/dialog_runtime.h"
#include "ui/options_dialog_driver.h"

namespace cli {

namespace {

// A line on standard error, when it is a terminal, while a calculation runs
// longer than two seconds: how long it has run so far. It is cleared when
// the calculation ends.
class ProgressLine {
  public:
    ProgressLine() {
        if (isatty(2) == 0)
            return;
        worker_ = std::thread([this] {
            std::unique_lock<std::mutex> lock(mutex_);
            int seconds = 2;
            if (done_.wait_for(lock, std::chrono::seconds(2), [this] { return finished_; }))
                return;
            for (;;) {
                std::fprintf(stderr, "\rphase-envelope: calculating the envelope ... %d s",
                             seconds);
                std::fflush(stderr);
                if (done_.wait_for(lock, std::chrono::seconds(1), [this] { return finished_; }))
                    break;
                ++seconds;
            }
            std::fprintf(stderr, "\r\033[K");
            std::fflush(stderr);
        });
    }
    ~ProgressLine() {
        if (!worker_.joinable())
            return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        done_.notify_all();
        worker_.join();
    }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

  private:
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
};

}  // namespace

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
    // Whether the picture file is written is judged by its time stamp.
    std::error_code stampError;
    const bool existed = !options.plotPath.empty() && std::filesystem::exists(options.plotPath);
    const auto before = existed ? std::filesystem::last_write_time(options.plotPath, stampError)
                                : std::filesystem::file_time_type::min();
    // Not while the options dialog talks to the terminal.
    std::optional<ProgressLine> progress;
    if (!options.interactive)
        progress.emplace();
    const EnvelopeResult result = RunEnvelopeCalculation(input, request);
    progress.reset();
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
    if (!options.plotPath.empty() && !options.interactive &&
        (!std::filesystem::exists(options.plotPath) ||
         std::filesystem::last_write_time(options.plotPath, stampError) == before)) {
        std::cerr << "phase-envelope: --plot '" << options.plotPath
                  << "': the picture could not be written\n";
        return kExitCalculation;
    }
    return kExitOk;
}

}  // namespace cli
