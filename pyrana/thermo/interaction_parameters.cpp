// Default binary interaction parameters k_ij of the reference host's cubic
// equations of state (Peng-Robinson and Soave-Redlich-Kwong, van der Waals
// one-fluid mixing with a_ij = sqrt(a_i a_j) (1 - k_ij)).
//
// A pair is looked up in a table keyed by the two canonical compound names; a
// pair the table lacks falls back on a small set of family rules, and on 0 when
// no rule applies. Tags in the comments are spelled out in DATA_SOURCES.md:
//   K82   Knapp, Doring, Oellrich, Plocker & Prausnitz, "Vapor-liquid equilibria
//         for mixtures of low boiling substances", DECHEMA Chemistry Data Series
//         Vol. VI (1982), Peng-Robinson tables (page numbers as in the ChemSep
//         PR interaction-parameter file that carries them).
//   SW92  Soreide & Whitson, Fluid Phase Equilib. 77 (1992) 217-240: k_ij of
//         water with gases for the non-aqueous phase.
//   TP    thermopack (SINTEF) default interaction-parameter files, for pairs the
//         two sources above lack.
//
// SRK: the table has an SRK column, filled with an SRK-specific value only where
// a source gave one (the thermopack SRK file); elsewhere it repeats the PR value,
// which is the usual practice when only PR fits exist: both equations share the
// van der Waals mixing rule and fitted k_ij differ by less than the scatter of
// the fits for the pairs covered here.
#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <utility>

#include "pyrana/thermo/compound.h"

namespace pyrana::thermo {
namespace {

struct KijEntry {
    const char* first;  // canonical compound name
    const char* second;
    double pr;
    double srk;
};

// clang-format off
constexpr KijEntry kKijTable[] = {
    // --- water with gases and light alkanes (SW92, non-aqueous phase) -------------------
    {"water", "nitrogen", 0.4778, 0.4778},
    {"water", "methane", 0.4850, 0.4850},
    {"water", "ethane", 0.4920, 0.4920},
    {"water", "propane", 0.5525, 0.5525},
    {"water", "n-butane", 0.5091, 0.5091},
    {"water", "carbon dioxide", 0.1896, 0.1896},
    {"water", "hydrogen sulfide", 0.19031, 0.19031},
    // --- water with polar compounds ------------------------------------------------------
    {"water", "methanol", -0.0778, -0.0778},         // K82 p730
    {"water", "ammonia", -0.2552, -0.2552},          // K82 p690
    {"water", "ethylene glycol", -0.063, -0.063},    // TP (SRK file; also used for PR)
    {"carbon dioxide", "ethylene glycol", 0.05, 0.05},  // TP (SRK file; also used for PR)
    {"methane", "hydrogen sulfide", 0.093, 0.091},   // TP (PR and SRK files)

    // --- K82 -------------------------------------------------------------------------------
    {"helium", "carbon monoxide", 0.5463, 0.5463},   // p203
    {"hydrogen", "nitrogen", 0.0711, 0.0711},        // p210
    {"hydrogen", "carbon monoxide", 0.0919, 0.0919}, // p215
    {"hydrogen", "methane", -0.0044, -0.0044},       // p225
    {"nitrogen", "carbon monoxide", 0.0300, 0.0300}, // p267
    {"nitrogen", "argon", -0.0004, -0.0004},         // p271
    {"nitrogen", "oxygen", -0.0159, -0.0159},        // p277
    {"nitrogen", "methane", 0.0289, 0.0289},         // p285
    {"nitrogen", "ethylene", 0.0856, 0.0856},        // p298
    {"nitrogen", "ethane", 0.0533, 0.0533},          // p302
    {"nitrogen", "carbon dioxide", -0.0122, -0.0122},  // p312
    {"nitrogen", "hydrogen sulfide", 0.1652, 0.1652},  // p318
    {"nitrogen", "propylene", 0.0900, 0.0900},       // p320
    {"nitrogen", "propane", 0.0878, 0.0878},         // p322
    {"nitrogen", "ammonia", 0.2193, 0.2193},         // p326
    {"nitrogen", "isobutane", 0.1033, 0.1033},       // p330
    {"nitrogen", "sulfur dioxide", 0.0800, 0.0800},  // p332
    {"nitrogen", "n-butane", 0.0711, 0.0711},        // p333
    {"nitrogen", "isopentane", 0.0922, 0.0922},      // p336
    {"nitrogen", "n-pentane", 0.1000, 0.1000},       // p338
    {"nitrogen", "methanol", -0.2141, -0.2141},      // p340
    {"nitrogen", "n-hexane", 0.1496, 0.1496},        // p341
    {"nitrogen", "benzene", 0.1641, 0.1641},         // p343
    {"nitrogen", "n-heptane", 0.1441, 0.1441},       // p344
    {"nitrogen", "n-decane", 0.1122, 0.1122},        // p349
    {"carbon monoxide", "methane", 0.0300, 0.0300},  // p353
    {"carbon monoxide", "ethane", -0.0226, -0.0226}, // p354
    {"carbon monoxide", "hydrogen sulfide", 0.0544, 0.0544},  // p356
    {"carbon monoxide", "propane", 0.0259, 0.0259},  // p358
    {"argon", "oxygen", 0.0089, 0.0089},             // p362
    {"argon", "methane", 0.0152, 0.0152},            // p364
    {"argon", "ammonia", -0.1800, -0.1800},          // p371
    {"methane", "ethylene", 0.0244, 0.0244},         // p383
    {"methane", "ethane", -0.0059, -0.0059},         // p390
    {"methane", "carbon dioxide", 0.0978, 0.0978},   // p399
    {"methane", "carbonyl sulfide", 0.0289, 0.0289}, // p410
    {"methane", "propylene", 0.0330, 0.0330},        // p412
    {"methane", "propane", 0.0119, 0.0119},          // p413
    {"methane", "isobutane", 0.0256, 0.0256},        // p419
    {"methane", "sulfur dioxide", 0.1356, 0.1356},   // p421
    {"methane", "n-butane", 0.0185, 0.0185},         // p425
    {"methane", "isopentane", -0.0056, -0.0056},     // p436
    {"methane", "n-pentane", 0.0230, 0.0230},        // p438
    {"methane", "n-hexane", 0.0400, 0.0400},         // p453
    {"methane", "benzene", 0.0807, 0.0807},          // p463
    {"methane", "cyclohexane", 0.0389, 0.0389},      // p466
    {"methane", "n-heptane", 0.0300, 0.0300},        // p471
    {"methane", "toluene", 0.0970, 0.0970},          // p474
    {"methane", "n-octane", 0.0496, 0.0496},         // p477
    {"methane", "m-xylene", 0.0844, 0.0844},         // p479
    {"methane", "n-nonane", 0.0474, 0.0474},         // p481
    {"methane", "n-decane", 0.0411, 0.0411},         // p486
    {"ethylene", "ethane", 0.0078, 0.0078},          // p507
    {"ethylene", "carbon dioxide", 0.0541, 0.0541},  // p516
    {"ethylene", "n-butane", 0.0922, 0.0922},        // p518
    {"ethylene", "benzene", 0.0311, 0.0311},         // p520
    {"ethylene", "n-heptane", 0.0144, 0.0144},       // p522
    {"ethylene", "n-decane", 0.0253, 0.0253},        // p524
    {"carbon dioxide", "ethane", 0.1300, 0.1300},    // p527
    {"ethane", "hydrogen sulfide", 0.0952, 0.0952},  // p535
    {"ethane", "propylene", 0.0089, 0.0089},         // p537
    {"ethane", "propane", 0.0011, 0.0011},           // p539
    {"ethane", "isobutane", -0.0067, -0.0067},       // p542
    {"ethane", "n-butane", 0.0089, 0.0089},          // p544
    {"ethane", "n-pentane", 0.0078, 0.0078},         // p550
    {"ethane", "acetone", 0.1307, 0.1307},           // p552
    {"ethane", "methanol", 0.0270, 0.0270},          // p555
    {"ethane", "n-hexane", -0.0400, -0.0400},        // p557
    {"ethane", "benzene", 0.0322, 0.0322},           // p561
    {"ethane", "cyclohexane", 0.0178, 0.0178},       // p565
    {"ethane", "n-heptane", 0.0033, 0.0033},         // p568
    {"ethane", "n-octane", 0.0185, 0.0185},          // p570
    {"ethane", "n-decane", 0.0144, 0.0144},          // p572
    {"carbon dioxide", "hydrogen sulfide", 0.0967, 0.0967},  // p583
    {"carbon dioxide", "propylene", 0.0933, 0.0933}, // p587
    {"carbon dioxide", "propane", 0.1315, 0.1315},   // p589
    {"carbon dioxide", "isobutane", 0.1300, 0.1300}, // p601
    {"carbon dioxide", "1-butene", 0.0593, 0.0593},  // p605
    {"carbon dioxide", "n-butane", 0.1352, 0.1352},  // p607
    {"carbon dioxide", "isopentane", 0.1219, 0.1219},  // p612
    {"carbon dioxide", "n-pentane", 0.1252, 0.1252}, // p617
    {"carbon dioxide", "methanol", 0.0583, 0.0583},  // p623
    {"carbon dioxide", "n-hexane", 0.1100, 0.1100},  // p625
    {"carbon dioxide", "benzene", 0.0774, 0.0774},   // p627
    {"carbon dioxide", "cyclohexane", 0.1052, 0.1052},  // p629
    {"carbon dioxide", "n-heptane", 0.1000, 0.1000}, // p631
    {"carbon dioxide", "toluene", 0.1056, 0.1056},   // p636
    {"carbon dioxide", "n-decane", 0.1141, 0.1141},  // p638
    {"hydrogen sulfide", "propane", 0.0878, 0.0878}, // p644
    {"hydrogen sulfide", "isobutane", 0.0474, 0.0474},  // p645
    {"hydrogen sulfide", "n-pentane", 0.0630, 0.0630},  // p647
    {"hydrogen sulfide", "n-decane", 0.0333, 0.0333},   // p652
    {"propylene", "propane", 0.0078, 0.0078},        // p656
    {"propylene", "isobutane", -0.0144, -0.0144},    // p660
    {"propylene", "1-butene", 0.0004, 0.0004},       // p661
    {"propane", "isobutane", -0.0078, -0.0078},      // p663
    {"propane", "n-butane", 0.0033, 0.0033},         // p666
    {"propane", "isopentane", 0.0111, 0.0111},       // p668
    {"propane", "n-pentane", 0.0267, 0.0267},        // p671
    {"propane", "n-hexane", 0.0007, 0.0007},         // p674
    {"propane", "ethanol", 0.0315, 0.0315},          // p676
    {"propane", "benzene", 0.0233, 0.0233},          // p679
    {"propane", "n-heptane", 0.0056, 0.0056},        // p681
    {"isobutane", "n-butane", -0.0004, -0.0004},     // p694
    {"1-butene", "n-butane", 0.0007, 0.0007},        // p699
    {"n-butane", "n-pentane", 0.0174, 0.0174},       // p704
    {"n-butane", "n-hexane", -0.0056, -0.0056},      // p706
    {"n-butane", "n-heptane", 0.0033, 0.0033},       // p707
    {"n-butane", "n-octane", 0.0074, 0.0074},        // p708
    {"n-butane", "n-decane", 0.0078, 0.0078},        // p710
    {"n-pentane", "benzene", 0.0189, 0.0189},        // p716
    {"n-pentane", "cyclohexane", 0.0037, 0.0037},    // p719
    {"n-pentane", "n-heptane", 0.0074, 0.0074},      // p720
    {"n-hexane", "benzene", 0.0078, 0.0078},         // p739
    {"n-hexane", "cyclohexane", -0.0049, -0.0049},   // p743
    {"n-hexane", "n-heptane", -0.0078, -0.0078},     // p745
    {"cyclohexane", "benzene", 0.0126, 0.0126},      // p752
    {"benzene", "n-heptane", 0.0011, 0.0011},        // p756
    {"benzene", "isooctane", 0.0004, 0.0004},        // p757
    {"benzene", "n-octane", 0.0030, 0.0030},         // p758
    {"n-heptane", "isooctane", 0.0004, 0.0004},      // p766
};
// clang-format on

// Family rules for pairs the table lacks (see DATA_SOURCES.md for how each value
// was chosen).
constexpr double kWaterHydrocarbonKij = 0.5;      // SW92 light alkanes lie at 0.485-0.553
constexpr double kCo2HydrocarbonKij = 0.12;       // middle of K82 CO2-C3..C10 (0.10-0.135)
constexpr double kN2HydrocarbonKij = 0.10;        // median of K82 N2-C3..C10
constexpr double kH2sHydrocarbonKij = 0.06;       // mean of K82 H2S-C3..C10 (0.033-0.088)
constexpr double kWaterAlcoholGlycolKij = -0.07;  // between methanol-water and MEG-water

std::string ToLower(const std::string& text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

using NamePair = std::pair<std::string, std::string>;

NamePair OrderedPair(std::string a, std::string b) {
    if (b < a) {
        std::swap(a, b);
    }
    return {std::move(a), std::move(b)};
}

const std::map<NamePair, const KijEntry*>& KijIndex() {
    static const std::map<NamePair, const KijEntry*> index = [] {
        std::map<NamePair, const KijEntry*> map;
        for (const KijEntry& entry : kKijTable) {
            map.emplace(OrderedPair(entry.first, entry.second), &entry);
        }
        return map;
    }();
    return index;
}

// Hydrocarbon-like: real hydrocarbons and petroleum pseudo-components.
bool IsHydrocarbonLike(const Compound& c) {
    return c.family == kFamilyHydrocarbon || c.family == kFamilyPseudo;
}

// Applies the family rules to an untabulated pair; 0 when none applies. `name`
// is the lower-cased name of one compound, `other` the other compound and
// `otherName` its lower-cased name.
double RuleKij(const std::string& name, const Compound& other, const std::string& otherName) {
    if (IsHydrocarbonLike(other)) {
        if (name == "water") {
            return kWaterHydrocarbonKij;
        }
        if (name == "carbon dioxide") {
            return kCo2HydrocarbonKij;
        }
        if (name == "nitrogen") {
            return kN2HydrocarbonKij;
        }
        if (name == "hydrogen sulfide") {
            return kH2sHydrocarbonKij;
        }
    }
    if (name == "water" && other.family == kFamilyAqueous && otherName != "water") {
        return kWaterAlcoholGlycolKij;
    }
    return 0.0;
}

}  // namespace

double DefaultKij(const Compound& a, const Compound& b, EosKind eos) {
    const std::string nameA = ToLower(a.name);
    const std::string nameB = ToLower(b.name);
    if (nameA == nameB) {
        return 0.0;
    }
    const auto& index = KijIndex();
    const auto found = index.find(OrderedPair(nameA, nameB));
    if (found != index.end()) {
        return eos == EosKind::SRK ? found->second->srk : found->second->pr;
    }
    const double ruleAB = RuleKij(nameA, b, nameB);
    return ruleAB != 0.0 ? ruleAB : RuleKij(nameB, a, nameA);
}

}  // namespace pyrana::thermo
