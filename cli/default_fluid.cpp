// The default fluid of phase-envelope.
#include "cli/default_fluid.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace cli {

namespace {

const std::vector<std::pair<const char*, double>>& Components() {
    static const std::vector<std::pair<const char*, double>> components = {
        {"nitrogen", 0.010}, {"carbon dioxide", 0.015}, {"methane", 0.800},  {"ethane", 0.060},
        {"propane", 0.030},  {"isobutane", 0.008},      {"n-butane", 0.010}, {"n-pentane", 0.008},
        {"n-hexane", 0.006}, {"n-heptane", 0.005},      {"n-octane", 0.004}, {"n-decane", 0.004},
        {"water", 0.040}};
    return components;
}

}  // namespace

FluidInput DefaultFluid() {
    std::string text;
    for (const auto& c : Components()) {
        char item[64];
        std::snprintf(item, sizeof(item), "%s%s=%.6g", text.empty() ? "" : ",", c.first, c.second);
        text += item;
    }
    return ParseFeed(text);
}

std::string DefaultFluidText() {
    std::string text;
    for (const auto& c : Components()) {
        char item[64];
        std::snprintf(item, sizeof(item), "%s%s %.3f", text.empty() ? "" : ", ", c.first, c.second);
        text += item;
    }
    return text;
}

}  // namespace cli
