// Tests of the built-in compound database, the name/alias look-up and the
// default binary interaction parameters.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <map>
#include <set>
#include <string>

#include "pyrana/thermo/compound.h"

namespace pyrana::thermo {
namespace {

constexpr double kR = 8.31446261815324;  // J/(mol K)
constexpr double kTref = 298.15;         // K

double CpOverR(const IdealGasCp& cp, double t) {
    return cp.a[0] + t * (cp.a[1] + t * (cp.a[2] + t * (cp.a[3] + t * cp.a[4])));
}

std::string Lower(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        out += static_cast<char>(std::tolower(c));
    }
    return out;
}

// Molar mass from a formula such as "C2H6O2" (IUPAC standard atomic weights).
double MolarMassOfFormula(const std::string& formula) {
    static const std::map<std::string, double> kAtomicWeight = {
        {"C", 12.011}, {"H", 1.008},   {"O", 15.999},  {"N", 14.007},
        {"S", 32.065}, {"Ar", 39.948}, {"He", 4.0026},
    };
    double mass = 0.0;
    for (size_t i = 0; i < formula.size();) {
        std::string symbol(1, formula[i++]);
        while (i < formula.size() && std::islower(static_cast<unsigned char>(formula[i]))) {
            symbol += formula[i++];
        }
        int count = 0;
        while (i < formula.size() && std::isdigit(static_cast<unsigned char>(formula[i]))) {
            count = 10 * count + (formula[i++] - '0');
        }
        const auto weight = kAtomicWeight.find(symbol);
        if (weight == kAtomicWeight.end()) {
            return -1.0;
        }
        mass += weight->second * (count == 0 ? 1 : count);
    }
    return mass;
}

const Compound& Get(const char* name) {
    const Compound* c = FindCompound(name);
    EXPECT_NE(c, nullptr) << name;
    return c ? *c : CompoundDatabase().front();
}

TEST(CompoundDatabase, HoldsAtLeast45CompoundsWithUniqueNamesAliasesAndIds) {
    const auto& db = CompoundDatabase();
    ASSERT_GE(db.size(), 45u);
    std::set<std::string> keys;
    std::set<int> ids;
    for (const Compound& c : db) {
        EXPECT_EQ(c.name, Lower(c.name)) << "canonical names are lower case";
        EXPECT_TRUE(keys.insert(Lower(c.name)).second) << "duplicate name " << c.name;
        for (const std::string& alias : c.aliases) {
            EXPECT_TRUE(keys.insert(Lower(alias)).second) << "duplicate alias " << alias;
        }
        EXPECT_TRUE(ids.insert(c.id).second) << "duplicate host ID " << c.id;
    }
}

TEST(CompoundDatabase, FixedHostIdsAndFamilies) {
    EXPECT_EQ(Get("water").id, 19);
    EXPECT_EQ(Get("methanol").id, 29);
    EXPECT_EQ(Get("ethanol").id, 30);
    EXPECT_EQ(Get("ethylene glycol").id, 54);
    for (const char* name : {"water", "methanol", "ethanol", "ethylene glycol", "diethylene glycol",
                             "triethylene glycol"}) {
        EXPECT_EQ(Get(name).family, kFamilyAqueous) << name;
    }
    for (const char* name : {"nitrogen", "carbon dioxide", "hydrogen sulfide", "helium"}) {
        EXPECT_EQ(Get(name).family, kFamilyGas) << name;
    }
    EXPECT_EQ(Get("n-decane").family, kFamilyHydrocarbon);
    EXPECT_EQ(Get("acetone").family, kFamilyGeneral);
    for (const Compound& c : CompoundDatabase()) {
        EXPECT_TRUE(c.family == kFamilyGeneral || c.family == kFamilyHydrocarbon ||
                    c.family == kFamilyAqueous || c.family == kFamilyGas)
            << c.name << " has family " << c.family;
    }
}

TEST(CompoundDatabase, ConstantsLieInPhysicalRanges) {
    for (const Compound& c : CompoundDatabase()) {
        SCOPED_TRACE(c.name);
        EXPECT_GT(c.tc, 0.0);
        EXPECT_GT(c.pc, 100.0);  // kPa: catches a value left in MPa or bar
        EXPECT_LT(c.pc, 25000.0);
        EXPECT_GT(c.omega, -0.5);
        EXPECT_LT(c.omega, 2.0);
        EXPECT_GT(c.zra, 0.2);
        EXPECT_LT(c.zra, 0.32);
        EXPECT_NEAR(c.molarMass, MolarMassOfFormula(c.formula), 5e-4 * c.molarMass)
            << "formula " << c.formula;
        EXPECT_LT(c.cp.tMin, kTref);
        EXPECT_GT(c.cp.tMax, kTref);
    }
}

// Cp° at 298.15 K against values independent of the polynomial source: NIST-JANAF
// Thermochemical Tables, 4th ed. (Chase 1998) for the small molecules; TRC
// Thermodynamic Tables for propane and n-decane.
TEST(CompoundDatabase, IdealGasCpAtRoomTemperatureMatchesReference) {
    const std::map<std::string, double> reference = {
        {"methane", 35.64},  {"water", 33.59},   {"carbon dioxide", 37.14},
        {"nitrogen", 29.12}, {"propane", 73.60}, {"n-decane", 233.1},
    };
    for (const auto& [name, cp] : reference) {
        EXPECT_NEAR(kR * CpOverR(Get(name.c_str()).cp, kTref), cp, 0.02 * cp) << name;
    }
}

// A mis-scaled coefficient shows as Cp° below the translational 5/2 R somewhere in
// the range, or as a heat capacity that falls between room temperature and tMax.
TEST(CompoundDatabase, IdealGasCpIsPhysicalOverItsRange) {
    for (const Compound& c : CompoundDatabase()) {
        SCOPED_TRACE(c.name);
        for (double t = c.cp.tMin; t <= c.cp.tMax; t += 10.0) {
            ASSERT_GE(CpOverR(c.cp, t), 2.5 - 1e-9) << "T = " << t;
        }
        EXPECT_GE(CpOverR(c.cp, c.cp.tMax), CpOverR(c.cp, kTref));
    }
}

TEST(FindCompound, MatchesNamesAndAliasesIgnoringCase) {
    for (const Compound& c : CompoundDatabase()) {
        EXPECT_EQ(FindCompound(c.name), &c);
        for (const std::string& alias : c.aliases) {
            EXPECT_EQ(FindCompound(alias), &c) << alias;
        }
    }
    EXPECT_EQ(FindCompound("co2"), FindCompound("carbon dioxide"));
    EXPECT_EQ(FindCompound("METHANE"), FindCompound("C1"));
    EXPECT_EQ(FindCompound("Nc4")->name, "n-butane");
    EXPECT_EQ(FindCompound("I-BUTANE")->name, "isobutane");
    EXPECT_EQ(FindCompound("h2o")->name, "water");
    EXPECT_EQ(FindCompound("unobtainium"), nullptr);
    EXPECT_EQ(FindCompound(""), nullptr);
    EXPECT_EQ(FindCompound("methane "), nullptr);
}

TEST(DefaultKij, IsSymmetricZeroOnTheDiagonalAndBounded) {
    const auto& db = CompoundDatabase();
    for (EosKind eos : {EosKind::PR, EosKind::SRK}) {
        for (const Compound& a : db) {
            EXPECT_EQ(DefaultKij(a, a, eos), 0.0) << a.name;
            for (const Compound& b : db) {
                const double kij = DefaultKij(a, b, eos);
                ASSERT_EQ(kij, DefaultKij(b, a, eos)) << a.name << " / " << b.name;
                ASSERT_LT(std::abs(kij), 0.6) << a.name << " / " << b.name;
            }
        }
    }
}

TEST(DefaultKij, NonHydrocarbonsWithHydrocarbonsFollowTheirKnownRanges) {
    const Compound& water = Get("water");
    for (const Compound& c : CompoundDatabase()) {
        if (c.family != kFamilyHydrocarbon) {
            continue;
        }
        SCOPED_TRACE(c.name);
        for (EosKind eos : {EosKind::PR, EosKind::SRK}) {
            EXPECT_GE(DefaultKij(water, c, eos), 0.45);
            EXPECT_LE(DefaultKij(water, c, eos), 0.56);
            const double co2 = DefaultKij(Get("carbon dioxide"), c, eos);
            EXPECT_TRUE(co2 >= 0.05 && co2 <= 0.16) << "CO2 " << co2;
            const double n2 = DefaultKij(Get("nitrogen"), c, eos);
            EXPECT_TRUE(n2 >= 0.02 && n2 <= 0.17) << "N2 " << n2;
            const double h2s = DefaultKij(Get("hydrogen sulfide"), c, eos);
            EXPECT_TRUE(h2s >= 0.03 && h2s <= 0.10) << "H2S " << h2s;
        }
    }
}

TEST(DefaultKij, TabulatedPairsFromEachSource) {
    const auto pr = EosKind::PR;
    EXPECT_DOUBLE_EQ(DefaultKij(Get("water"), Get("carbon dioxide"), pr), 0.1896);
    EXPECT_DOUBLE_EQ(DefaultKij(Get("nC10"), Get("C1"), pr), 0.0411);
    EXPECT_DOUBLE_EQ(DefaultKij(Get("methanol"), Get("water"), pr), -0.0778);
    EXPECT_DOUBLE_EQ(DefaultKij(Get("MEG"), Get("H2O"), pr), -0.063);
    EXPECT_DOUBLE_EQ(DefaultKij(Get("C1"), Get("H2S"), EosKind::SRK), 0.091);
    EXPECT_LT(DefaultKij(Get("TEG"), Get("water"), pr), 0.0);
    EXPECT_EQ(DefaultKij(Get("n-decane"), Get("n-eicosane"), pr), 0.0);
}

TEST(DefaultKij, AppliesFamilyRulesToRecordsOutsideTheTable) {
    Compound fraction = Get("n-decane");
    fraction.name = "c10+ fraction";
    fraction.family = kFamilyPseudo;
    EXPECT_DOUBLE_EQ(DefaultKij(Get("water"), fraction, EosKind::PR), 0.5);
    EXPECT_GT(DefaultKij(fraction, Get("carbon dioxide"), EosKind::SRK), 0.05);
    EXPECT_EQ(DefaultKij(fraction, Get("methane"), EosKind::PR), 0.0);

    Compound propaneCopy = Get("propane");  // a fluid's copy keeps the canonical name
    EXPECT_DOUBLE_EQ(DefaultKij(propaneCopy, Get("water"), EosKind::PR), 0.5525);
}

}  // namespace
}  // namespace pyrana::thermo
