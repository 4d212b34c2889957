// The reference host's built-in database of pure compounds and the look-up by
// name or alias.
//
// Every row names the source of its numbers in a trailing comment; the tags are
// spelled out in DATA_SOURCES.md beside this file. In short:
//   P141  molar mass, Tc, Pc and omega from Perry's Chemical Engineers' Handbook,
//         8th ed., Table 2-141 (DIPPR values).
//   PSRK  Tc, Pc and omega from Horstmann et al., PSRK revision 4 appendix
//         (Fluid Phase Equilib. 227 (2005) 157), for compounds Table 2-141 lacks.
//   MWF   molar mass computed from the formula (C 12.011, H 1.008, O 15.999,
//         S 32.065).
//   RA    Rackett Z_RA from the Spencer-Danner / COSTALD parameter table;
//   RA*   no tabulated value: Z_RA = 0.29056 - 0.08775 omega (Yamada-Gunn).
//   PC    Cp°/R polynomial of Poling, Prausnitz & O'Connell, The Properties of
//         Gases and Liquids, 5th ed., Appendix A, Section C (coefficients written
//         out unscaled: Poling's a1 x 10^3 appears here as a1 etc.).
//   TRC   our least-squares fit (weighted by 1/Cp^2) of the TRC gas-state
//         correlation over the stated range, because Poling gives no polynomial.
//   JB    Joback & Reid group contributions (cubic, a4 = 0), no measured data.
//   MA    monatomic ideal gas, Cp°/R = 5/2 exactly.
#include <algorithm>
#include <cctype>
#include <string>
#include <unordered_map>

#include "pyrana/thermo/compound.h"

namespace pyrana::thermo {
namespace {

// Pressures are tabulated in MPa in the sources; the record holds kPa.
constexpr double kKpaPerMpa = 1000.0;

std::vector<Compound> BuildDatabase() {
    const double MPa = kKpaPerMpa;
    // clang-format off
    // Each row: name, aliases, formula, host ID, family, M [kg/kmol], Tc [K], Pc [kPa],
    // omega, Z_RA, {Cp°/R a0..a4, tMin [K], tMax [K]}   // sources
    std::vector<Compound> db = {
        // --- gases -------------------------------------------------------------------------
        {"nitrogen", {"N2"}, "N2", 1, kFamilyGas, 28.013, 126.2, 3.400 * MPa, 0.0377, 0.2900,
         {{3.539, -2.61e-4, 7.0e-8, 1.57e-9, -9.9e-13}, 50.0, 1000.0}},  // P141 RA PC
        {"oxygen", {"O2"}, "O2", 2, kFamilyGas, 31.999, 154.58, 5.043 * MPa, 0.0222, 0.2905,
         {{3.630, -1.794e-3, 6.58e-6, -6.0e-9, 1.79e-12}, 50.0, 1000.0}},  // P141 RA PC
        {"argon", {"Ar"}, "Ar", 3, kFamilyGas, 39.948, 150.86, 4.898 * MPa, 0.0, 0.29056,
         {{2.5, 0.0, 0.0, 0.0, 0.0}, 10.0, 3000.0}},  // P141 RA* MA
        {"helium", {"He", "helium-4"}, "He", 4, kFamilyGas, 4.003, 5.2, 0.2275 * MPa, -0.39, 0.2981,
         {{2.5, 0.0, 0.0, 0.0, 0.0}, 10.0, 3000.0}},  // P141 RA MA
        {"hydrogen", {"H2"}, "H2", 5, kFamilyGas, 2.016, 33.19, 1.313 * MPa, -0.216, 0.3060,
         {{2.883, 3.681e-3, -7.72e-6, 6.92e-9, -2.13e-12}, 50.0, 1000.0}},  // P141 RA PC
        {"carbon monoxide", {"CO"}, "CO", 6, kFamilyGas, 28.010, 132.92, 3.499 * MPa, 0.0482, 0.2896,
         {{3.912, -3.913e-3, 1.182e-5, -1.3e-8, 5.15e-12}, 50.0, 1000.0}},  // P141 RA PC
        {"carbon dioxide", {"CO2"}, "CO2", 7, kFamilyGas, 44.010, 304.21, 7.383 * MPa, 0.2236, 0.2722,
         {{3.259, 1.356e-3, 1.502e-5, -2.374e-8, 1.056e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"hydrogen sulfide", {"H2S"}, "H2S", 8, kFamilyGas, 34.081, 373.53, 8.963 * MPa, 0.0942, 0.2855,
         {{4.266, -3.438e-3, 1.319e-5, -1.331e-8, 4.88e-12}, 50.0, 1000.0}},  // P141 RA PC
        {"sulfur dioxide", {"SO2", "sulphur dioxide"}, "SO2", 9, kFamilyGas, 64.064, 430.75, 7.884 * MPa, 0.2454, 0.2661,
         {{4.417, -2.234e-3, 2.344e-5, -3.271e-8, 1.393e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"ammonia", {"NH3"}, "NH3", 10, kFamilyGas, 17.031, 405.65, 11.28 * MPa, 0.2526, 0.2465,
         {{4.238, -4.215e-3, 2.041e-5, -2.126e-8, 7.61e-12}, 50.0, 1000.0}},  // P141 RA PC
        {"carbonyl sulfide", {"COS", "carbon oxysulfide"}, "COS", 11, kFamilyGas, 60.075, 378.3, 6302.415, 0.099, 0.2709,
         {{2.0005, 1.5377e-2, -2.2670e-5, 1.7667e-8, -5.5256e-12}, 298.0, 1000.0}},  // PSRK MWF RA TRC (fit dev. <= 0.1 %)

        // --- hydrocarbons ------------------------------------------------------------------
        {"methane", {"C1", "CH4"}, "CH4", 12, kFamilyHydrocarbon, 16.042, 190.564, 4.599 * MPa, 0.0115, 0.2892,
         {{4.568, -8.975e-3, 3.631e-5, -3.407e-8, 1.091e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"ethane", {"C2", "C2H6"}, "C2H6", 13, kFamilyHydrocarbon, 30.069, 305.32, 4.872 * MPa, 0.0995, 0.2808,
         {{4.178, -4.427e-3, 5.660e-5, -6.651e-8, 2.487e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"propane", {"C3", "C3H8"}, "C3H8", 14, kFamilyHydrocarbon, 44.096, 369.83, 4.248 * MPa, 0.1523, 0.2766,
         {{3.847, 5.131e-3, 6.011e-5, -7.893e-8, 3.079e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"isobutane", {"iC4", "i-C4", "i-butane", "2-methylpropane"}, "C4H10", 15, kFamilyHydrocarbon, 58.122, 407.8, 3.64 * MPa, 0.1835, 0.2754,
         {{3.351, 1.7883e-2, 5.477e-5, -8.10e-8, 3.243e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"n-butane", {"nC4", "n-C4", "butane"}, "C4H10", 16, kFamilyHydrocarbon, 58.122, 425.12, 3.796 * MPa, 0.2002, 0.2730,
         {{5.547, 5.536e-3, 8.057e-5, -1.0571e-7, 4.134e-11}, 200.0, 1000.0}},  // P141 RA PC
        {"isopentane", {"iC5", "i-C5", "i-pentane", "2-methylbutane"}, "C5H12", 17, kFamilyHydrocarbon, 72.149, 460.4, 3.38 * MPa, 0.2279, 0.2717,
         {{1.959, 3.8191e-2, 2.434e-5, -5.175e-8, 2.165e-11}, 200.0, 1000.0}},  // P141 RA PC
        {"neopentane", {"neoC5", "neo-C5", "2,2-dimethylpropane"}, "C5H12", 18, kFamilyHydrocarbon, 72.149, 433.8, 3195.791, 0.197, 0.2756,
         {{-11.428, 0.156037, -3.3383e-4, 4.0127e-7, -1.7806e-10}, 200.0, 1000.0}},  // PSRK MWF RA PC
        {"n-pentane", {"nC5", "n-C5", "pentane"}, "C5H12", 20, kFamilyHydrocarbon, 72.149, 469.7, 3.37 * MPa, 0.2515, 0.2684,
         {{7.554, -3.68e-4, 1.1846e-4, -1.4939e-7, 5.753e-11}, 200.0, 1000.0}},  // P141 RA PC
        {"2-methylpentane", {"isohexane", "2-MP"}, "C6H14", 21, kFamilyHydrocarbon, 86.175, 497.7, 3.04 * MPa, 0.2791, 0.2672,
         {{2.096, 4.6419e-2, 3.124e-5, -6.829e-8, 2.902e-11}, 200.0, 1000.0}},  // P141 RA PC
        {"n-hexane", {"nC6", "n-C6", "hexane"}, "C6H14", 22, kFamilyHydrocarbon, 86.175, 507.6, 3.025 * MPa, 0.3013, 0.2635,
         {{8.831, -1.66e-4, 1.4302e-4, -1.8314e-7, 7.124e-11}, 200.0, 1000.0}},  // P141 RA PC
        {"n-heptane", {"nC7", "n-C7", "heptane"}, "C7H16", 23, kFamilyHydrocarbon, 100.202, 540.2, 2.74 * MPa, 0.3495, 0.2604,
         {{9.634, 4.156e-3, 1.5494e-4, -2.0066e-7, 7.77e-11}, 200.0, 1000.0}},  // P141 RA PC
        {"n-octane", {"nC8", "n-C8", "octane"}, "C8H18", 24, kFamilyHydrocarbon, 114.229, 568.7, 2.49 * MPa, 0.3996, 0.2571,
         {{10.824, 4.983e-3, 1.7751e-4, -2.3137e-7, 8.98e-11}, 200.0, 1000.0}},  // P141 RA PC
        {"isooctane", {"iC8", "2,2,4-trimethylpentane"}, "C8H18", 25, kFamilyHydrocarbon, 114.229, 543.8, 2.57 * MPa, 0.3035, 0.2684,
         {{0.384, 7.7059e-2, 6.65e-6, -5.565e-8, 2.619e-11}, 200.0, 1000.0}},  // P141 RA PC
        {"n-nonane", {"nC9", "n-C9", "nonane"}, "C9H20", 26, kFamilyHydrocarbon, 128.255, 594.6, 2.29 * MPa, 0.4435, 0.2543,
         {{12.152, 4.575e-3, 2.0416e-4, -2.6777e-7, 1.0465e-10}, 200.0, 1000.0}},  // P141 RA PC
        {"n-decane", {"nC10", "n-C10", "decane"}, "C10H22", 27, kFamilyHydrocarbon, 142.282, 617.7, 2.11 * MPa, 0.4923, 0.2501,
         {{13.467, 4.139e-3, 2.3127e-4, -3.0477e-7, 1.197e-10}, 200.0, 1000.0}},  // P141 RA PC
        {"n-undecane", {"nC11", "n-C11", "undecane"}, "C11H24", 28, kFamilyHydrocarbon, 156.308, 639.0, 1.95 * MPa, 0.5303, 0.2499,
         {{15.490, -4.0967e-3, 2.8747e-4, -3.8485e-7, 1.5644e-10}, 200.0, 1000.0}},  // P141 RA TRC (fit dev. <= 1.1 %)
        {"n-dodecane", {"nC12", "n-C12", "dodecane"}, "C12H26", 31, kFamilyHydrocarbon, 170.335, 658.0, 1.82 * MPa, 0.5764, 0.2466,
         {{17.229, -7.242e-3, 3.1922e-4, -4.2322e-7, 1.7022e-10}, 200.0, 1000.0}},  // P141 RA PC
        {"n-hexadecane", {"nC16", "n-C16", "hexadecane", "cetane"}, "C16H34", 32, kFamilyHydrocarbon, 226.441, 723.0, 1.40 * MPa, 0.7174, 0.2388,
         {{39.747, -0.206152, 1.14814e-3, -1.55548e-6, 6.7534e-10}, 200.0, 1000.0}},  // P141 RA PC
        {"n-eicosane", {"nC20", "n-C20", "eicosane", "icosane"}, "C20H42", 33, kFamilyHydrocarbon, 282.547, 768.0, 1.16 * MPa, 0.9069, 0.2281,
         {{27.764, -1.0389e-2, 5.3379e-4, -7.1567e-7, 2.8914e-10}, 200.0, 1000.0}},  // P141 RA PC
        {"ethylene", {"ethene", "C2H4", "C2="}, "C2H4", 34, kFamilyHydrocarbon, 28.053, 282.34, 5.041 * MPa, 0.0862, 0.2815,
         {{4.221, -8.782e-3, 5.795e-5, -6.729e-8, 2.511e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"propylene", {"propene", "C3H6", "C3="}, "C3H6", 35, kFamilyHydrocarbon, 42.080, 364.85, 4.60 * MPa, 0.1376, 0.2779,
         {{3.834, 3.893e-3, 4.688e-5, -6.013e-8, 2.283e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"1-butene", {"but-1-ene", "butene-1"}, "C4H8", 36, kFamilyHydrocarbon, 56.106, 419.5, 4.02 * MPa, 0.1845, 0.2736,
         {{4.389, 7.984e-3, 6.143e-5, -8.20e-8, 3.165e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"cyclopentane", {"cC5", "cyclo-C5"}, "C5H10", 37, kFamilyHydrocarbon, 70.133, 511.7, 4.51 * MPa, 0.1949, 0.2745,
         {{5.019, -1.9734e-2, 1.7917e-4, -2.170e-7, 8.215e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"cyclohexane", {"cC6", "cyclo-C6"}, "C6H12", 38, kFamilyHydrocarbon, 84.159, 553.8, 4.08 * MPa, 0.2081, 0.2729,
         {{4.035, -4.433e-3, 1.6834e-4, -2.0775e-7, 7.746e-11}, 100.0, 1000.0}},  // P141 RA PC
        {"methylcyclohexane", {"MCH", "methyl-cyclohexane"}, "C7H14", 39, kFamilyHydrocarbon, 98.186, 572.1, 3.48 * MPa, 0.2361, 0.2704,
         {{3.148, 1.8438e-2, 1.3624e-4, -1.8793e-7, 7.364e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"benzene", {"C6H6"}, "C6H6", 40, kFamilyHydrocarbon, 78.112, 562.05, 4.895 * MPa, 0.2103, 0.2698,
         {{3.551, -6.184e-3, 1.4365e-4, -1.9807e-7, 8.234e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"toluene", {"methylbenzene", "C7H8"}, "C7H8", 41, kFamilyHydrocarbon, 92.138, 591.75, 4.108 * MPa, 0.2640, 0.2644,
         {{3.866, 3.558e-3, 1.3356e-4, -1.8659e-7, 7.69e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"ethylbenzene", {"EB", "phenylethane"}, "C8H10", 42, kFamilyHydrocarbon, 106.165, 617.15, 3.609 * MPa, 0.3035, 0.2620,
         {{4.544, 1.0578e-2, 1.3644e-4, -1.9276e-7, 7.885e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"o-xylene", {"1,2-dimethylbenzene", "oX"}, "C8H10", 43, kFamilyHydrocarbon, 106.165, 630.3, 3.732 * MPa, 0.3101, 0.2625,
         {{3.289, 3.4144e-2, 4.989e-5, -8.335e-8, 3.338e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"m-xylene", {"1,3-dimethylbenzene", "mX"}, "C8H10", 44, kFamilyHydrocarbon, 106.165, 617.0, 3.541 * MPa, 0.3265, 0.2592,
         {{4.002, 1.7537e-2, 1.0590e-4, -1.5037e-7, 6.008e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"p-xylene", {"1,4-dimethylbenzene", "pX"}, "C8H10", 45, kFamilyHydrocarbon, 106.165, 616.2, 3.511 * MPa, 0.3218, 0.2592,
         {{4.113, 1.4909e-2, 1.1810e-4, -1.6724e-7, 6.736e-11}, 50.0, 1000.0}},  // P141 RA PC

        // --- water, alcohols and glycols --------------------------------------------------
        {"water", {"H2O"}, "H2O", 19, kFamilyAqueous, 18.015, 647.096, 22.064 * MPa, 0.3449, 0.2338,
         {{4.395, -4.186e-3, 1.405e-5, -1.564e-8, 6.32e-12}, 50.0, 1000.0}},  // P141 RA PC
        {"methanol", {"MeOH", "CH3OH", "methyl alcohol"}, "CH4O", 29, kFamilyAqueous, 32.042, 512.5, 8.084 * MPa, 0.5658, 0.2334,
         {{4.714, -6.986e-3, 4.211e-5, -4.443e-8, 1.535e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"ethanol", {"EtOH", "C2H5OH", "ethyl alcohol"}, "C2H6O", 30, kFamilyAqueous, 46.068, 514.0, 6.137 * MPa, 0.6436, 0.2502,
         {{4.396, 6.28e-4, 5.546e-5, -7.024e-8, 2.685e-11}, 50.0, 1000.0}},  // P141 RA PC
        {"ethylene glycol", {"MEG", "EG", "monoethylene glycol", "1,2-ethanediol"}, "C2H6O2", 54, kFamilyAqueous, 62.068, 720.0, 8.2 * MPa, 0.5068, 0.2488,
         {{1.8559, 2.7693e-2, 4.2686e-6, -2.5588e-8, 1.2474e-11}, 298.0, 1000.0}},  // P141 RA TRC (fit dev. <= 0.3 %)
        {"diethylene glycol", {"DEG"}, "C4H10O3", 46, kFamilyAqueous, 106.121, 753.0, 4770.381, 0.5799, 0.2489,
         {{4.2497, 4.6738e-2, -1.7271e-5, 1.443e-10, 0.0}, 273.0, 1000.0}},  // PSRK MWF RA JB
        {"triethylene glycol", {"TEG"}, "C6H14O4", 47, kFamilyAqueous, 150.174, 797.0, 3300.155, 0.5842, 0.2462,
         {{7.0980, 6.1988e-2, -1.7007e-5, -3.5841e-9, 0.0}, 273.0, 1000.0}},  // PSRK MWF RA JB

        // --- others ------------------------------------------------------------------------
        {"acetone", {"propanone", "2-propanone", "dimethyl ketone"}, "C3H6O", 48, kFamilyGeneral, 58.079, 508.2, 4.701 * MPa, 0.3065, 0.2477,
         {{5.126, 1.511e-3, 5.731e-5, -7.177e-8, 2.728e-11}, 200.0, 1000.0}},  // P141 RA PC
        {"methyl mercaptan", {"methanethiol", "MeSH", "CH3SH"}, "CH4S", 49, kFamilyGeneral, 48.107, 469.95, 7.23 * MPa, 0.1582, 0.2781,
         {{4.119, 1.313e-3, 2.591e-5, -3.212e-8, 1.208e-11}, 50.0, 1000.0}},  // P141 RA PC
    };
    // clang-format on
    return db;
}

std::string ToLower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// Lower-cased names and aliases -> record. Built once, after the database.
const std::unordered_map<std::string, const Compound*>& LookupIndex() {
    static const std::unordered_map<std::string, const Compound*> index = [] {
        std::unordered_map<std::string, const Compound*> map;
        for (const Compound& compound : CompoundDatabase()) {
            map.emplace(ToLower(compound.name), &compound);
            for (const std::string& alias : compound.aliases) {
                map.emplace(ToLower(alias), &compound);
            }
        }
        return map;
    }();
    return index;
}

}  // namespace

const std::vector<Compound>& CompoundDatabase() {
    static const std::vector<Compound> database = BuildDatabase();
    return database;
}

const Compound* FindCompound(std::string_view nameOrAlias) {
    const auto& index = LookupIndex();
    const auto found = index.find(ToLower(nameOrAlias));
    return found == index.end() ? nullptr : found->second;
}

}  // namespace pyrana::thermo
