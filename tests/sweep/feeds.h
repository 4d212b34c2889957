// Feeds for the envelope sweep: a seeded generator of the feeds a process
// engineer meets (natural gases, binaries across the volatility range,
// high-purity products with ppm impurities, condensates and oils, CO2-rich
// gases, wet gases with water or methanol, trace amounts), and each feed as
// the phase-envelope command that reproduces it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cli/fluid_input.h"

namespace sweep {

struct SweepFeed {
    std::string kind;  // "natural gas", "binary", "product", ...
    std::vector<std::pair<std::string, double>> components;
    bool srk = false;
    bool zeroKij = false;  // every k_ij 0 instead of the database's

    // The fluid input the command line would build for this feed.
    cli::FluidInput Input() const;
    // The arguments of phase-envelope that reproduce the feed, e.g.
    // --feed "methane=0.9,n-decane=0.1" --eos SRK --kij zero
    std::string Arguments() const;
};

// N feeds from the seed; the same seed always gives the same feeds.
std::vector<SweepFeed> GenerateFeeds(uint64_t seed, int n);

// A feed from database names and fractions.
SweepFeed NamedFeed(std::string kind, std::vector<std::pair<std::string, double>> components,
                    bool srk = false, bool zeroKij = false);

}  // namespace sweep
