// The default fluid of phase-envelope.
#include "cli/default_fluid.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace cli {

namespace {

const std::vector<std::pair<const char*, double>>& Components() {
    // A gas-condensate well stream carrying water, mole fractions. Its
    // hydrocarbon dew curve rises to a cricondentherm near 364 K and meets
    // the water dew curve near 363 K and 8.1 MPa. Below that three-phase
    // point lies the liquid-liquid boundary; above it the water dew curve
    // climbs, and the upper boundary of the three-phase region (the
    // hydrocarbon dew curve in the presence of liquid water) runs over
    // 16 MPa down to a critical end point near 243 K and 12.3 MPa, where the
    // three-phase bubble boundary, coming up from the cold side, ends too.
    static const std::vector<std::pair<const char*, double>> components = {
        {"methane", 0.80},   {"ethane", 0.07},    {"propane", 0.04},
        {"n-butane", 0.03},  {"n-pentane", 0.02}, {"n-hexane", 0.015},
        {"n-heptane", 0.01}, {"n-octane", 0.005}, {"water", 0.01}};
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
