// The dry natural gas that tests and benchmarks share: a ten-compound
// pipeline gas (database names, mole fractions summing to 1), as pairs and as
// the --feed text of phase-envelope.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace test_fluids {

inline const std::vector<std::pair<std::string, double>>& NaturalGas() {
    static const std::vector<std::pair<std::string, double>> gas = {
        {"nitrogen", 0.0034}, {"carbon dioxide", 0.022}, {"methane", 0.834},  {"ethane", 0.076},
        {"propane", 0.033},   {"isobutane", 0.006},      {"n-butane", 0.011}, {"isopentane", 0.004},
        {"n-pentane", 0.004}, {"n-hexane", 0.0066}};
    return gas;
}

// Its mole fractions alone, in the same order.
inline std::vector<double> NaturalGasFractions() {
    std::vector<double> z;
    for (const auto& [name, fraction] : NaturalGas())
        z.push_back(fraction);
    return z;
}

// "nitrogen=0.0034,carbon dioxide=0.022,...".
inline std::string NaturalGasFeedText() {
    std::string text;
    for (const auto& [name, z] : NaturalGas()) {
        std::string fraction = std::to_string(z);
        fraction.erase(fraction.find_last_not_of('0') + 1);
        text += (text.empty() ? "" : ",") + name + "=" + fraction;
    }
    return text;
}

}  // namespace test_fluids
