// phase-envelope: the program a user runs. It acts as a host of the
// reference thermodynamics and of the phase-envelope utility.
//
//   phase-envelope [module]                       what a host sees of the utility module
//   phase-envelope compounds [--format json]      the compound database
//   phase-envelope flash (--feed SPEC | --fluid FILE) [--eos PR|SRK]
//                        (--T K --P kPa | --P kPa --vf X) [--format table|json]
//   phase-envelope critical (--feed SPEC | --fluid FILE) [--eos PR|SRK] [--format ...]
//
// Exit status: 0 success, 1 a calculation failed, 2 bad usage or input; each
// failure prints one line on standard error naming the problem.
#include <CLI/CLI.hpp>
#include <cmath>
#include <iostream>
#include <limits>
#include <string>

#include "cli/commands.h"
#include "platform/com.h"

namespace {

struct FluidOptions {
    std::string feed;
    std::string file;
    std::string eos;
};

void AddFluidOptions(CLI::App* command, FluidOptions* o) {
    auto* feed = command->add_option("--feed", o->feed,
                                     "feed as name=fraction,... (database names or aliases; "
                                     "fractions are normalised)");
    auto* file = command->add_option("--fluid", o->file, "fluid definition file (JSON)");
    feed->excludes(file);
    command->add_option("--eos", o->eos, "equation of state PR or SRK (overrides the file)");
}

cli::FluidInput ReadFluid(const FluidOptions& o) {
    if (o.feed.empty() && o.file.empty()) {
        throw cli::InputError("give the fluid with --feed or --fluid");
    }
    cli::FluidInput input = o.feed.empty() ? cli::LoadFluidFile(o.file) : cli::ParseFeed(o.feed);
    if (!o.eos.empty()) {
        input.definition.eos = cli::ParseEos(o.eos);
    }
    return input;
}

cli::Format ParseFormat(const std::string& text) {
    if (text == "table")
        return cli::Format::kTable;
    if (text == "json")
        return cli::Format::kJson;
    throw cli::InputError("--format '" + text + "': expected table or json");
}

int Run(int argc, char** argv) {
    CLI::App app{"phase-envelope: phase envelopes, flashes and critical points of a fluid"};
    app.require_subcommand(0, 1);

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

    try {
        app.parse(argc, argv);
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
        return cli::RunModule();
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
