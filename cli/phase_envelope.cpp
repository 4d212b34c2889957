// phase-envelope: the program a user runs. It acts as a host of the
// reference thermodynamics and of the phase-envelope utility.
//
//   phase-envelope [envelope] [--feed SPEC | --fluid FILE] [--eos PR|SRK]
//                  [--provider host|app] [--curves [--axes PT|PV|PH|PS|TV|TH|TS]]
//                  [--format table|csv|json]       the phase envelope (the default command;
//                                                  without a fluid, the built-in wet gas)
//   phase-envelope module                         what a host sees of the utility module
//   phase-envelope compounds [--format json]      the compound database
//   phase-envelope flash (--feed SPEC | --fluid FILE) [--eos PR|SRK]
//                        (--T K --P kPa | --P kPa --vf X) [--format table|json]
//   phase-envelope critical (--feed SPEC | --fluid FILE) [--eos PR|SRK] [--format ...]
//
// Built with PE_FAULTS_FROM_ENVIRONMENT (the tests' phase-envelope-faults,
// never the program a user runs), it reads PHASE_ENVELOPE_FAIL_HOST_CALL to
// test the error path: "K" makes the K-th host call of the envelope
// calculation fail, "Interface::Method" the first call of that operation;
// ",0xXXXXXXXX" after either gives the failure code (E_FAIL otherwise).
//
// Exit status: 0 success, 1 a calculation failed, 2 bad usage or input; each
// failure prints one line on standard error naming the problem.
#include <CLI/CLI.hpp>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/default_fluid.h"
#include "platform/com.h"

namespace {

struct FluidOptions {
    std::string feed;
    std::string file;
    std::string eos;
    std::string kij;
    // The options themselves: given with an empty value is an error, not
    // the default fluid.
    CLI::Option* feedOption = nullptr;
    CLI::Option* fileOption = nullptr;
};

void AddFluidOptions(CLI::App* command, FluidOptions* o) {
    auto* feed = command->add_option("--feed", o->feed,
                                     "feed as name=fraction,... (database names or aliases; "
                                     "fractions are normalised)");
    auto* file = command->add_option("--fluid", o->file, "fluid definition file (JSON)");
    feed->excludes(file);
    o->feedOption = feed;
    o->fileOption = file;
    command->add_option("--eos", o->eos, "equation of state PR or SRK (overrides the file)");
    command->add_option("--kij", o->kij,
                        "binary interaction parameters: 'zero' (every k_ij 0) or "
                        "name:name=value,... (overrides the database and the file)");
}

// A fluid option given with nothing in it.
void RejectEmptyFluidOptions(const FluidOptions& o) {
    if (o.feedOption != nullptr && o.feedOption->count() > 0 && o.feed.empty())
        throw cli::InputError("--feed is empty: give the feed as name=fraction,...");
    if (o.fileOption != nullptr && o.fileOption->count() > 0 && o.file.empty())
        throw cli::InputError("--fluid is empty: give the fluid definition file");
}

cli::FluidInput ReadFluid(const FluidOptions& o) {
    RejectEmptyFluidOptions(o);
    if (o.feed.empty() && o.file.empty()) {
        throw cli::InputError("give the fluid with --feed or --fluid");
    }
    cli::FluidInput input = o.feed.empty() ? cli::LoadFluidFile(o.file) : cli::ParseFeed(o.feed);
    if (!o.eos.empty()) {
        input.definition.eos = cli::ParseEos(o.eos);
    }
    if (!o.kij.empty()) {
        cli::ApplyKijText(o.kij, &input);
    }
    return input;
}

cli::Format ParseFormat(const std::string& text, bool csv = false) {
    if (text == "table")
        return cli::Format::kTable;
    if (text == "json")
        return cli::Format::kJson;
    if (csv && text == "csv")
        return cli::Format::kCsv;
    throw cli::InputError("--format '" + text + "': expected table" + (csv ? ", csv" : "") +
                          " or json");
}

struct EnvelopeArgs {
    FluidOptions fluid;
    std::string format = "table";
    std::string provider = "host";
    bool curves = false;
    std::string axes;
    std::string plot;
    bool interactive = false;
};

// The fault plan of PHASE_ENVELOPE_FAIL_HOST_CALL: "K" fails the K-th host
// call of Execute, "Interface::Method" the first call of that operation;
// ",0xXXXXXXXX" after either picks the failure code (E_FAIL otherwise). The
// program a user runs has none.
pyrana::objects::FaultPlan FaultPlanFromEnvironment() {
    pyrana::objects::FaultPlan plan;
#ifdef PE_FAULTS_FROM_ENVIRONMENT
    const char* value = std::getenv("PHASE_ENVELOPE_FAIL_HOST_CALL");
    if (value == nullptr || *value == '\0')
        return plan;
    const std::string text = value;
    const std::string bad = "PHASE_ENVELOPE_FAIL_HOST_CALL='" + text +
                            "': expected K or Interface::Method, optionally ,0xXXXXXXXX";
    const size_t comma = text.find(',');
    const std::string what = text.substr(0, comma);
    if (!what.empty() && what.find_first_not_of("0123456789") == std::string::npos) {
        plan.failAtCall = std::strtol(what.c_str(), nullptr, 10);
    } else if (what.find("::") != std::string::npos) {
        plan.failOperation = what;
    } else {
        throw cli::InputError(bad);
    }
    if (comma != std::string::npos) {
        const std::string code = text.substr(comma + 1);
        char* end = nullptr;
        const unsigned long hr = std::strtoul(code.c_str(), &end, 16);
        if (code.rfind("0x", 0) != 0 || *end != '\0' || hr > 0xFFFFFFFFul ||
            !FAILED(static_cast<HRESULT>(hr))) {
            throw cli::InputError(bad);
        }
        plan.result = static_cast<HRESULT>(hr);
    }
    if (plan.failAtCall <= 0 && plan.failOperation.empty())
        throw cli::InputError(bad);
#endif
    return plan;
}

// A picture file the plot view can write: a known extension in a folder
// that exists.
void CheckPlotPath(const std::string& path) {
    const std::string bad = "--plot '" + path + "': ";
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of("/\\");
    std::string ext = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                          ? ""
                          : path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != "png" && ext != "svg" && ext != "pdf") {
        throw cli::InputError(
            bad + (ext.empty() ? "no picture format" : "unknown picture format '." + ext + "'") +
            " (use .png, .svg or .pdf)");
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::is_directory(folder, error))
        throw cli::InputError(bad + "no folder '" + folder.string() + "'");
}

int RunEnvelope(const EnvelopeArgs& a) {
    cli::EnvelopeOptions options;
    options.fault = FaultPlanFromEnvironment();
    options.format = ParseFormat(a.format, true);
    if (a.provider == "app") {
        options.path = cli::ThermoPath::kApp;
    } else if (a.provider != "host") {
        throw cli::InputError("--provider '" + a.provider + "': expected host or app");
    }
    if (!a.axes.empty()) {
        bool known = false;
        for (const auto& curve : cli::CurveNames())
            known = known || curve.second == a.axes;
        if (!known) {
            throw cli::InputError("--axes '" + a.axes + "': expected PT, PV, PH, PS, TV, TH or TS");
        }
        // --axes picks the curve --curves prints or the pair --plot draws;
        // alone it has nothing to act on.
        if (!a.curves && a.plot.empty()) {
            throw cli::InputError(
                "--axes selects the curve that --curves prints or the pair --plot draws: add "
                "one of them");
        }
    }
    if (!a.plot.empty() && a.curves) {
        throw cli::InputError(
            "--plot draws the full calculation's results, which --curves does not ask for");
    }
    if (a.curves) {
        options.curveAxes = a.axes.empty() ? "PT" : a.axes;
    }
    if (!a.plot.empty())
        CheckPlotPath(a.plot);
    options.plotPath = a.plot;
    options.plotAxes = a.axes.empty() ? "PT" : a.axes;
    options.interactive = a.interactive;
    cli::FluidInput input;
    std::string title;
    RejectEmptyFluidOptions(a.fluid);
    if (a.fluid.feed.empty() && a.fluid.file.empty()) {
        input = cli::DefaultFluid();
        title = "the default fluid, a wet natural gas";
        if (!a.fluid.eos.empty()) {
            input.definition.eos = cli::ParseEos(a.fluid.eos);
        }
        if (!a.fluid.kij.empty()) {
            cli::ApplyKijText(a.fluid.kij, &input);
        }
    } else {
        input = ReadFluid(a.fluid);
        title = a.fluid.feed.empty() ? a.fluid.file : "the given feed";
    }
    return cli::RunEnvelope(input, title, options);
}

// The envelope command runs when no command is named: with no arguments at
// all, or when the first argument is an option other than a request for help.
bool NamesNoCommand(int argc, char** argv) {
    if (argc < 2)
        return true;
    const std::string first = argv[1];
    return first.size() > 1 && first[0] == '-' && first != "-h" && first != "--help" &&
           first != "--help-all";
}

int Run(int argc, char** argv) {
    CLI::App app{
        "phase-envelope: phase envelopes, flashes and critical points of a fluid.\n"
        "Without a command it runs `envelope`."};
    app.require_subcommand(0, 1);

    EnvelopeArgs envelopeArgs;
    auto* envelope = app.add_subcommand(
        "envelope",
        "the complete phase envelope of a fluid through the utility (the default command).\n"
        "Without --feed or --fluid: the built-in wet natural gas (Peng-Robinson), " +
            cli::DefaultFluidText() +
            ": its hydrocarbon dew curve, through the cricondentherm, meets the water dew curve at "
            "a three-phase point, with the boundaries of the three-phase region below and above "
            "it");
    AddFluidOptions(envelope, &envelopeArgs.fluid);
    envelope->add_option("--format", envelopeArgs.format,
                         "table (summary and points), csv (one row per point) or json");
    envelope->add_option("--provider", envelopeArgs.provider,
                         "host: the host's property and flash managers (default); app: the "
                         "application-side provider");
    envelope->add_flag("--curves", envelopeArgs.curves,
                       "ask for the seven two-column curves instead of the results matrix "
                       "and print one of them (see --axes)");
    envelope->add_option("--axes", envelopeArgs.axes,
                         "the curve --curves prints, or the pair --plot draws: PT (default), PV, "
                         "PH, PS, TV, TH or TS");
    envelope->add_option("--plot", envelopeArgs.plot,
                         "draw the envelope into FILE (.svg, .png or .pdf) through the options "
                         "dialog: it checks the --axes radio, presses View, then Close");
    envelope->add_flag("--interactive", envelopeArgs.interactive,
                       "on a terminal, show the options dialog and take its choices from the "
                       "keyboard (View draws into the --plot file)");

    app.add_subcommand("module", "show what a host sees of the utility module");

    std::string format = "table";
    auto* compounds = app.add_subcommand("compounds", "list the compound database");
    compounds->add_option("--format", format, "table or json");

    FluidOptions flashFluid;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    double t = nan, p = nan, vf = nan;
    auto* flash = app.add_subcommand(
        "flash", "PT flash (--T, --P) or saturation flash (--P, --vf) through the host");
    AddFluidOptions(flash, &flashFluid);
    auto* tOption = flash->add_option("--T", t, "temperature, K");
    flash->add_option("--P", p, "pressure, kPa")->required();
    auto* vfOption = flash->add_option("--vf", vf, "vapour fraction of a saturation flash, 0..1");
    tOption->excludes(vfOption);
    flash->add_option("--format", format, "table or json");

    FluidOptions criticalFluid;
    auto* critical = app.add_subcommand("critical", "the mixture critical point of the feed");
    AddFluidOptions(critical, &criticalFluid);
    critical->add_option("--format", format, "table or json");

    // Without a command the envelope command takes the arguments.
    std::vector<char*> args(argv, argv + argc);
    static char envelopeName[] = "envelope";
    if (NamesNoCommand(argc, argv)) {
        args.insert(args.begin() + 1, envelopeName);
    }
    try {
        app.parse(static_cast<int>(args.size()), args.data());
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "phase-envelope: " << e.what() << "\n";
        return cli::kExitUsage;
    }

    try {
        if (*compounds) {
            return cli::RunCompounds(ParseFormat(format));
        }
        if (*flash) {
            if (std::isnan(t) && std::isnan(vf)) {
                throw cli::InputError("flash needs --T (PT flash) or --vf (saturation flash)");
            }
            const cli::Format f = ParseFormat(format);
            return cli::RunFlash(ReadFluid(flashFluid), t, p, vf, f);
        }
        if (*critical) {
            const cli::Format f = ParseFormat(format);
            return cli::RunCritical(ReadFluid(criticalFluid), f);
        }
        if (*app.get_subcommand("module")) {
            return cli::RunModule();
        }
        return RunEnvelope(envelopeArgs);
    } catch (const cli::InputError& e) {
        std::cerr << "phase-envelope: " << e.what() << "\n";
        return cli::kExitUsage;
    } catch (const std::exception& e) {
        std::cerr << "phase-envelope: " << e.what() << "\n";
        return cli::kExitCalculation;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (FAILED(CoInitialize(nullptr))) {
        std::cerr << "phase-envelope: COM could not be initialised\n";
        return cli::kExitCalculation;
    }
    const int status = Run(argc, argv);
    CoUninitialize();
    return status;
}
