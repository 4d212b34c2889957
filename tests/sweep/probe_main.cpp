// sweep_probe: what the sweep's checks see at one state of a feed: the
// host's PT flash, the checks' own tangent-plane analysis of the feed and of
// each phase of the flash, and the host's further-phase test.
//
//   sweep_probe --feed SPEC [--eos SRK] [--kij zero] --T K --P kPa
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "cli/fluid_input.h"
#include "pyrana/thermo/calculator.h"
#include "tests/sweep/check_eos.h"
#include "tests/sweep/tangent_plane.h"

int main(int argc, char** argv) {
    std::string feed, eos, kij;
    double t = 0, p = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const std::string v = argv[i + 1];
        if (a == "--feed")
            feed = v;
        else if (a == "--eos")
            eos = v;
        else if (a == "--kij")
            kij = v;
        else if (a == "--T")
            t = std::atof(v.c_str());
        else if (a == "--P")
            p = std::atof(v.c_str());
    }
    cli::FluidInput input = cli::ParseFeed(feed);
    if (!eos.empty())
        input.definition.eos = cli::ParseEos(eos);
    if (!kij.empty())
        cli::ApplyKijText(kij, &input);
    pyrana::thermo::Fluid fluid = cli::BuildFluid(input);
    pyrana::thermo::Calculator calc(fluid);
    sweep::CheckEos check(fluid);
    std::vector<double> z = input.feed;
    double sum = 0;
    for (double v : z)
        sum += v;
    for (double& v : z)
        v /= sum;
    const auto tp = sweep::TangentPlane(check, t, p, z.data());
    std::printf("feed: min TPD %.3e\n", tp.minTpd);
    // Each stationary point of the feed's tangent plane, with the
    // temperature at this pressure where it touches the plane.
    for (const auto& s : sweep::StationaryPoints(check, t, p, z.data())) {
        std::printf("  stationary point TPD %.3e, on the plane at %.4f K:", s.tpd,
                    sweep::TouchingTemperature(check, t, p, z.data(), s.w));
        for (double v : s.w)
            std::printf(" %.4g", v);
        std::printf("\n");
    }
    const auto f = calc.FlashPT(t, p, z.data());
    std::printf("flash: %s, %zu phases (%s)\n", pyrana::thermo::ToString(f.outcome),
                f.phases.size(), f.message.c_str());
    for (const auto& ph : f.phases) {
        const auto r = sweep::TangentPlane(check, t, p, ph.x.data());
        const auto host = calc.Stability(t, p, ph.x.data());
        std::printf(
            "  type %d beta %.6f Z %.5f  min TPD against it %.3e (host's %.3e)  root gap "
            "%.3e\n",
            static_cast<int>(ph.type), ph.fraction, ph.z, r.minTpd, host.minTm,
            check.RootGibbsGap(t, p, ph.x.data()));
        std::printf("    x:");
        for (double v : ph.x)
            std::printf(" %.4g", v);
        std::printf("\n");
        if (sweep::Unstable(r)) {
            std::printf("    trial:");
            for (double v : r.w)
                std::printf(" %.4g", v);
            // The host's own tangent-plane distance of the trial, on each root.
            const auto ref = calc.Properties(t, p, ph.x.data(), pyrana::thermo::Root::Stable);
            for (auto root : {pyrana::thermo::Root::Liquid, pyrana::thermo::Root::Vapour}) {
                const auto trial = calc.Properties(t, p, r.w.data(), root);
                double tpd = 0.0;
                for (size_t i = 0; i < r.w.size(); ++i) {
                    if (r.w[i] > 0.0)
                        tpd += r.w[i] * (std::log(r.w[i]) + trial.lnPhi[i] - std::log(ph.x[i]) -
                                         ref.lnPhi[i]);
                }
                std::printf("  (host's TPD %s root %.3e)",
                            root == pyrana::thermo::Root::Liquid ? "liquid" : "vapour", tpd);
            }
            std::printf("\n");
        }
    }
    return 0;
}
