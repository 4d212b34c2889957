// The default fluid of phase-envelope.
#include "cli/default_fluid.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace cli {

namespace {

const std::vector<std::pair<const char*, double>>& Components() {
    // A gas-condensate well stream carrying free water, mole fractions. Its
    // hydrocarbon dew curve rises to a cricondentherm near 398 K and meets
    // the water dew curve near 389 K and 10.8 MPa; below that three-phase
    // point lies the liquid-liquid boundary, above it the water dew curve
    // and the upper boundary of the three-phase region. The whole
    // calculation takes about half a second.
    static const std::vector<std::pair<const char*, double>> components = {
        {"methane", 0.81},   {"ethane", 0.07},    {"propane", 0.04},  {"n-butane", 0.03},
        {"n-pentane", 0.01}, {"n-heptane", 0.01}, {"n-decane", 0.01}, {"water", 0.02}};
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
