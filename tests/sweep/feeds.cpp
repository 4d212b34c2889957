// The sweep's feed generator. Random numbers come from std::mt19937_64,
// whose sequence the C++ standard fixes, turned into numbers by this file's
// own helpers, so a seed gives the same feeds on every platform.
#include "tests/sweep/feeds.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace sweep {
namespace {

class Random {
  public:
    explicit Random(uint64_t seed) : engine_(seed) {}
    // Uniform in [0, 1).
    double Unit() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }
    double Uniform(double a, double b) { return a + (b - a) * Unit(); }
    // Log-uniform in [a, b], a > 0.
    double LogUniform(double a, double b) { return std::exp(Uniform(std::log(a), std::log(b))); }
    int Index(size_t n) { return static_cast<int>(Unit() * static_cast<double>(n)); }
    bool Chance(double p) { return Unit() < p; }
    template <class T>
    const T& Pick(const std::vector<T>& v) {
        return v[static_cast<size_t>(Index(v.size()))];
    }

  private:
    std::mt19937_64 engine_;
};

// Six significant digits, so that the printed command reproduces the feed.
double Round6(double v) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.6g", v);
    return std::strtod(text, nullptr);
}

const std::vector<std::string> kLightEnds = {"ethane",   "propane",    "isobutane",
                                             "n-butane", "isopentane", "n-pentane"};
const std::vector<std::string> kHeavyEnds = {
    "n-hexane", "n-heptane", "n-octane",          "n-nonane",   "n-decane",        "cyclohexane",
    "benzene",  "toluene",   "methylcyclohexane", "n-dodecane", "2-methylpentane", "m-xylene"};
const std::vector<std::string> kInerts = {"nitrogen", "carbon dioxide", "hydrogen sulfide"};
const std::vector<std::string> kBinaryPartners = {
    "ethane",   "propane",  "n-butane",    "n-pentane",      "n-hexane",  "n-heptane",
    "n-octane", "n-decane", "n-dodecane",  "carbon dioxide", "nitrogen",  "hydrogen sulfide",
    "benzene",  "toluene",  "cyclohexane", "ethylene",       "propylene", "n-hexadecane"};
const std::vector<std::string> kProducts = {"ethylene",  "ethane",         "propane",
                                            "propylene", "n-butane",       "isobutane",
                                            "methane",   "carbon dioxide", "benzene"};

// Adds `name` with fraction z unless it is already there.
void Add(std::vector<std::pair<std::string, double>>* c, const std::string& name, double z) {
    for (const auto& e : *c) {
        if (e.first == name)
            return;
    }
    c->emplace_back(name, z);
}

// Distinct names drawn from `pool`, at most `count`.
std::vector<std::string> Draw(Random& r, const std::vector<std::string>& pool, int count) {
    std::vector<std::string> left = pool;
    std::vector<std::string> out;
    while (count-- > 0 && !left.empty()) {
        const int k = r.Index(left.size());
        out.push_back(left[static_cast<size_t>(k)]);
        left.erase(left.begin() + k);
    }
    return out;
}

SweepFeed NaturalGas(Random& r, bool wet) {
    SweepFeed f;
    f.kind = wet ? "wet gas" : "natural gas";
    Add(&f.components, "methane", r.Uniform(0.6, 0.97));
    const int light = 1 + r.Index(kLightEnds.size());
    double z = r.Uniform(0.02, 0.1);
    for (const std::string& name : Draw(r, kLightEnds, light)) {
        Add(&f.components, name, z);
        z *= r.Uniform(0.3, 0.9);
    }
    const int heavy = r.Index(4);
    for (const std::string& name : Draw(r, kHeavyEnds, heavy)) {
        Add(&f.components, name, r.LogUniform(1e-4, 0.02));
    }
    if (r.Chance(0.5))
        Add(&f.components, r.Pick(kInerts), r.LogUniform(1e-3, 0.05));
    if (wet) {
        Add(&f.components, r.Chance(0.8) ? "water" : "methanol", r.LogUniform(1e-3, 0.1));
        if (r.Chance(0.15))
            Add(&f.components, "methanol", r.LogUniform(1e-4, 0.01));
    }
    return f;
}

SweepFeed Binary(Random& r) {
    SweepFeed f;
    f.kind = "binary";
    const std::string first = r.Chance(0.6) ? "methane" : r.Pick(kBinaryPartners);
    std::string second = r.Pick(kBinaryPartners);
    while (second == first)
        second = r.Pick(kBinaryPartners);
    const double z = r.Chance(0.2) ? r.LogUniform(1e-3, 0.05) : r.Uniform(0.05, 0.95);
    Add(&f.components, first, 1.0 - z);
    Add(&f.components, second, z);
    return f;
}

SweepFeed Product(Random& r) {
    SweepFeed f;
    f.kind = "product";
    const std::string main = r.Pick(kProducts);
    const double impurity = r.LogUniform(5e-6, 2e-3);
    Add(&f.components, main, 1.0 - impurity);
    const int count = 1 + r.Index(3);
    std::vector<std::string> pool = {"methane",  "ethane",         "propane",  "nitrogen",
                                     "ethylene", "carbon dioxide", "n-butane", "propylene"};
    double share = 1.0;
    for (const std::string& name : Draw(r, pool, count)) {
        const double part = count == 1 ? share : share * r.Uniform(0.2, 0.8);
        Add(&f.components, name, impurity * part);
        share -= part;
    }
    return f;
}

SweepFeed Condensate(Random& r) {
    SweepFeed f;
    f.kind = "condensate";
    Add(&f.components, "methane", r.Uniform(0.3, 0.8));
    for (const std::string& name : Draw(r, kLightEnds, 1 + r.Index(4)))
        Add(&f.components, name, r.Uniform(0.01, 0.08));
    std::vector<std::string> heavy = kHeavyEnds;
    heavy.push_back("n-hexadecane");
    heavy.push_back("n-eicosane");
    for (const std::string& name : Draw(r, heavy, 1 + r.Index(4)))
        Add(&f.components, name, r.Uniform(0.01, 0.15));
    if (r.Chance(0.3))
        Add(&f.components, r.Pick(kInerts), r.LogUniform(1e-3, 0.05));
    return f;
}

SweepFeed CarbonDioxideRich(Random& r) {
    SweepFeed f;
    f.kind = "CO2-rich";
    Add(&f.components, "carbon dioxide", r.Uniform(0.5, 0.97));
    Add(&f.components, "methane", r.Uniform(0.01, 0.3));
    for (const std::string& name : Draw(r,
                                        {"nitrogen", "ethane", "propane", "hydrogen sulfide",
                                         "n-butane", "n-pentane", "n-hexane"},
                                        r.Index(4)))
        Add(&f.components, name, r.LogUniform(1e-3, 0.05));
    if (r.Chance(0.2))
        Add(&f.components, "water", r.LogUniform(1e-4, 0.01));
    return f;
}

}  // namespace

cli::FluidInput SweepFeed::Input() const {
    cli::FluidInput input;
    input.definition.eos = srk ? pyrana::thermo::EosKind::SRK : pyrana::thermo::EosKind::PR;
    for (const auto& c : components) {
        input.definition.Add(c.first);
        input.feed.push_back(c.second);
    }
    if (zeroKij)
        cli::ApplyKijText("zero", &input);
    return input;
}

std::string SweepFeed::Arguments() const {
    std::string feed;
    for (const auto& c : components) {
        char part[128];
        std::snprintf(part, sizeof(part), "%s%s=%.6g", feed.empty() ? "" : ",", c.first.c_str(),
                      c.second);
        feed += part;
    }
    std::string text = "--feed \"" + feed + "\"";
    if (srk)
        text += " --eos SRK";
    if (zeroKij)
        text += " --kij zero";
    return text;
}

SweepFeed NamedFeed(std::string kind, std::vector<std::pair<std::string, double>> components,
                    bool srk, bool zeroKij) {
    SweepFeed f;
    f.kind = std::move(kind);
    f.components = std::move(components);
    f.srk = srk;
    f.zeroKij = zeroKij;
    return f;
}

std::vector<SweepFeed> GenerateFeeds(uint64_t seed, int n) {
    Random r(seed);
    std::vector<SweepFeed> feeds;
    for (int k = 0; k < n; ++k) {
        const double u = r.Unit();
        SweepFeed f;
        if (u < 0.35)
            f = NaturalGas(r, false);
        else if (u < 0.5)
            f = NaturalGas(r, true);
        else if (u < 0.65)
            f = Binary(r);
        else if (u < 0.77)
            f = Product(r);
        else if (u < 0.9)
            f = Condensate(r);
        else
            f = CarbonDioxideRich(r);
        // Now and then a trace of something more.
        if (r.Chance(0.15)) {
            Add(&f.components,
                r.Pick(std::vector<std::string>{"n-decane", "nitrogen", "water", "n-octane",
                                                "hydrogen sulfide", "benzene", "propane"}),
                r.LogUniform(1e-6, 1e-4));
        }
        for (auto& c : f.components)
            c.second = Round6(c.second);
        f.srk = r.Chance(0.5);
        f.zeroKij = r.Chance(0.3);
        feeds.push_back(std::move(f));
    }
    return feeds;
}

}  // namespace sweep
