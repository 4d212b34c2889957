// sweep_grid: the phase count of a feed on a temperature-pressure grid, as
// the host's PT flash finds it and the checks' tangent-plane analysis
// confirms it, for looking at the regions around a failure.
//
//   sweep_grid --feed SPEC [--eos SRK] [--kij zero] --T T0 T1 NT --P P0 P1 NP
//
// One line per pressure (highest first), one character per temperature:
// the phase count, 'a'/'b' where one/two phases were found unstable by the
// analysis, '?' where the flash did not converge ('#' with three phases).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/fluid_input.h"
#include "pyrana/thermo/calculator.h"
#include "tests/sweep/check_eos.h"
#include "tests/sweep/tangent_plane.h"

int main(int argc, char** argv) {
    std::string feed, eos, kij;
    double t0 = 0, t1 = 0, p0 = 0, p1 = 0;
    int nt = 2, np = 2;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--feed" && i + 1 < argc)
            feed = argv[++i];
        else if (a == "--eos" && i + 1 < argc)
            eos = argv[++i];
        else if (a == "--kij" && i + 1 < argc)
            kij = argv[++i];
        else if (a == "--T" && i + 3 < argc) {
            t0 = std::atof(argv[++i]);
            t1 = std::atof(argv[++i]);
            nt = std::atoi(argv[++i]);
        } else if (a == "--P" && i + 3 < argc) {
            p0 = std::atof(argv[++i]);
            p1 = std::atof(argv[++i]);
            np = std::atoi(argv[++i]);
        }
    }
    if (feed.empty() || nt < 1 || np < 1) {
        std::fprintf(stderr,
                     "usage: sweep_grid --feed SPEC [--eos SRK] [--kij zero] "
                     "--T T0 T1 NT --P P0 P1 NP\n");
        return 2;
    }
    cli::FluidInput input = cli::ParseFeed(feed);
    if (!eos.empty())
        input.definition.eos = cli::ParseEos(eos);
    if (!kij.empty())
        cli::ApplyKijText(kij, &input);
    const pyrana::thermo::Fluid fluid = cli::BuildFluid(input);
    sweep::CheckEos check(fluid);
    std::vector<double> z = input.feed;
    double sum = 0;
    for (double v : z)
        sum += v;
    for (double& v : z)
        v /= sum;
    for (int j = np - 1; j >= 0; --j) {
        const double p = np > 1 ? p0 + (p1 - p0) * j / (np - 1) : p0;
        std::printf("%10.2f ", p);
        for (int i = 0; i < nt; ++i) {
            const double t = nt > 1 ? t0 + (t1 - t0) * i / (nt - 1) : t0;
            // A calculator of its own for every state: the flash's warm starts
            // must not make one state's answer depend on the last.
            pyrana::thermo::Calculator calc(fluid);
            const pyrana::thermo::FlashResult f = calc.FlashPT(t, p, z.data());
            const int n = static_cast<int>(f.phases.size());
            char c = static_cast<char>('0' + n);
            if (n > 0 && n < 3 &&
                sweep::Unstable(sweep::TangentPlane(check, t, p, f.phases[0].x.data())))
                c = n == 1 ? 'a' : 'b';
            if (!f.ok())
                c = n == 3 ? '#' : '?';
            std::putchar(c);
        }
        std::printf("\n");
    }
    std::printf("%10s T from %g to %g K\n", "", t0, t1);
    return 0;
}
