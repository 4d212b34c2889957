// Fluid definition: validation, database look-up and the reduced EOS constants.
#include "pyrana/thermo/fluid.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <sstream>

namespace pyrana::thermo {
namespace {

constexpr double kSqrt2 = 1.4142135623730951;
// Exact roots of the critical conditions of each cubic.
constexpr double kOmegaAPR = 0.45723552892138;
constexpr double kOmegaBPR = 0.07779607390389;
constexpr double kOmegaASRK = 0.42748023354;
constexpr double kOmegaBSRK = 0.08664034996;

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t k = 0; k < a.size(); ++k) {
        if (std::tolower(static_cast<unsigned char>(a[k])) !=
            std::tolower(static_cast<unsigned char>(b[k])))
            return false;
    }
    return true;
}

std::string Num(double v) {
    std::ostringstream os;
    os << v;
    return os.str();
}

bool CpIsEmpty(const IdealGasCp& cp) {
    for (double a : cp.a) {
        if (a != 0.0)
            return false;
    }
    return true;
}

// Checks one compound record; returns an empty string when it is valid.
std::string CheckCompound(const Compound& c) {
    const std::string who = "component '" + c.name + "': ";
    auto bad = [](double v) { return !std::isfinite(v); };
    if (c.name.empty())
        return "component with empty name: name must not be empty";
    if (bad(c.tc) || c.tc <= 0)
        return who + "Tc = " + Num(c.tc) + " K must be positive";
    if (bad(c.pc) || c.pc <= 0)
        return who + "Pc = " + Num(c.pc) + " kPa must be positive";
    if (bad(c.omega) || c.omega <= -1.0 || c.omega >= 3.0)
        return who + "acentric factor = " + Num(c.omega) + " must lie in (-1, 3)";
    if (bad(c.molarMass) || c.molarMass <= 0)
        return who + "molar mass = " + Num(c.molarMass) + " kg/kmol must be positive";
    if (bad(c.zra) || c.zra <= 0 || c.zra >= 1)
        return who + "Z_RA = " + Num(c.zra) + " must lie in (0, 1)";
    if (c.family == kFamilySolid)
        return who + "family = 1 (solid) cannot be handled by a fluid-phase model";
    for (double a : c.cp.a) {
        if (bad(a))
            return who + "ideal-gas Cp coefficient is not finite";
    }
    if (bad(c.cp.tMin) || bad(c.cp.tMax) || c.cp.tMin <= 0 || c.cp.tMax <= c.cp.tMin)
        return who + "ideal-gas Cp range [" + Num(c.cp.tMin) + ", " + Num(c.cp.tMax) +
               "] K must be positive and increasing";
    return {};
}

}  // namespace

FluidDefinition& FluidDefinition::Add(std::string nameOrAlias) {
    ComponentSpec s;
    s.name = std::move(nameOrAlias);
    components.push_back(std::move(s));
    return *this;
}

FluidDefinition& FluidDefinition::AddPseudo(std::string name, double tc, double pc, double omega,
                                            double molarMass) {
    ComponentSpec s;
    s.name = name;
    s.user = true;
    s.data.name = std::move(name);
    s.data.formula = "";
    s.data.id = 0;
    s.data.family = kFamilyPseudo;
    s.data.molarMass = molarMass;
    s.data.tc = tc;
    s.data.pc = pc;
    s.data.omega = omega;
    s.data.zra = EstimateRackettZ(omega);
    s.data.cp = IdealGasCp{{0, 0, 0, 0, 0}, 0, 0};
    components.push_back(std::move(s));
    return *this;
}

FluidDefinition& FluidDefinition::SetKij(int i, int j, double value) {
    kij.push_back(KijOverride{i, j, value});
    return *this;
}

IdealGasCp EstimateIdealGasCp(double molarMass) {
    // Joback group contributions, J/(mol K): Cp = Σa - 37.93 + (Σb + 0.210) T
    // + (Σc - 3.91e-4) T² + (Σd + 2.06e-7) T³.
    const double n = std::max(1.0, (molarMass - 2.016) / 14.027);
    const double nCH2 = n - 2.0;
    const double ga = 2 * 19.5 + nCH2 * (-0.909) - 37.93;
    const double gb = 2 * (-8.08e-3) + nCH2 * 9.50e-2 + 0.210;
    const double gc = 2 * 1.53e-4 + nCH2 * (-5.44e-5) - 3.91e-4;
    const double gd = 2 * (-9.67e-8) + nCH2 * 1.19e-8 + 2.06e-7;
    IdealGasCp cp{};
    cp.a[0] = ga / kGasConstant;
    cp.a[1] = gb / kGasConstant;
    cp.a[2] = gc / kGasConstant;
    cp.a[3] = gd / kGasConstant;
    cp.a[4] = 0.0;
    cp.tMin = 200.0;
    cp.tMax = 1000.0;
    return cp;
}

double EstimateRackettZ(double omega) {
    return 0.29056 - 0.08775 * omega;
}

std::optional<Fluid> Fluid::Create(const FluidDefinition& def, std::string* error) {
    auto fail = [&](const std::string& msg) -> std::optional<Fluid> {
        if (error)
            *error = msg;
        return std::nullopt;
    };
    if (def.components.empty())
        return fail("fluid: components = 0 must be at least 1");

    Fluid f;
    f.eos_ = def.eos;
    f.volumeTranslation_ = def.volumeTranslation;
    for (const ComponentSpec& spec : def.components) {
        Compound c;
        if (spec.user) {
            c = spec.data;
            if (c.name.empty())
                c.name = spec.name;
            if (c.family == kFamilySolid)
                return fail("component '" + c.name +
                            "': family = 1 (solid) cannot be handled by a fluid-phase model");
            if (CpIsEmpty(c.cp) && c.molarMass > 0 && std::isfinite(c.molarMass))
                c.cp = EstimateIdealGasCp(c.molarMass);
            if (c.zra == 0.0 && std::isfinite(c.omega))
                c.zra = EstimateRackettZ(c.omega);
        } else {
            const Compound* found = FindCompound(spec.name);
            if (!found)
                return fail("component '" + spec.name + "': name is not in the compound database");
            c = *found;
        }
        std::string msg = CheckCompound(c);
        if (!msg.empty())
            return fail(msg);
        for (const Compound& other : f.compounds_) {
            if (EqualNoCase(other.name, c.name))
                return fail("component '" + c.name + "': name appears more than once");
        }
        f.compounds_.push_back(std::move(c));
    }

    const int n = f.size();
    f.kij_.assign(static_cast<size_t>(n) * n, 0.0);
    for (int i = 0; i < n; ++i) {
        for (int j = i + 1; j < n; ++j) {
            double k = 0.0;
            // Pseudo-components carry no tabulated pairs; their k_ij stays 0 unless set.
            if (f.compounds_[i].family != kFamilyPseudo && f.compounds_[j].family != kFamilyPseudo)
                k = DefaultKij(f.compounds_[i], f.compounds_[j], def.eos);
            f.kij_[i * n + j] = f.kij_[j * n + i] = k;
        }
    }
    for (const KijOverride& o : def.kij) {
        if (o.i < 0 || o.i >= n || o.j < 0 || o.j >= n)
            return fail("kij override (" + std::to_string(o.i) + ", " + std::to_string(o.j) +
                        "): index must lie in [0, " + std::to_string(n - 1) + "]");
        if (o.i == o.j)
            return fail("kij override (" + std::to_string(o.i) + ", " + std::to_string(o.j) +
                        "): a compound has no interaction with itself");
        if (!std::isfinite(o.value) || o.value >= 1.0 || o.value <= -1.0)
            return fail("kij override ('" + f.compounds_[o.i].name + "', '" +
                        f.compounds_[o.j].name + "') = " + Num(o.value) + " must lie in (-1, 1)");
        f.kij_[o.i * n + o.j] = f.kij_[o.j * n + o.i] = o.value;
    }

    double omegaA, omegaB;
    if (def.eos == EosKind::PR) {
        f.delta1_ = 1.0 + kSqrt2;
        f.delta2_ = 1.0 - kSqrt2;
        omegaA = kOmegaAPR;
        omegaB = kOmegaBPR;
    } else {
        f.delta1_ = 1.0;
        f.delta2_ = 0.0;
        omegaA = kOmegaASRK;
        omegaB = kOmegaBSRK;
    }
    f.ac_.resize(n);
    f.b_.resize(n);
    f.m_.resize(n);
    f.c_.resize(n);
    f.aqueous_.resize(n);
    for (int i = 0; i < n; ++i) {
        const Compound& c = f.compounds_[i];
        const double rtc = kGasConstant * c.tc;
        f.ac_[i] = omegaA * rtc * rtc / c.pc;
        f.b_[i] = omegaB * rtc / c.pc;
        const double w = c.omega;
        if (def.eos == EosKind::PR) {
            // Robinson & Peng (1978) for heavy compounds, the original 1976 form otherwise.
            f.m_[i] = w > 0.491 ? 0.379642 + w * (1.48503 + w * (-0.164423 + w * 0.016666))
                                : 0.37464 + w * (1.54226 - 0.26992 * w);
        } else {
            f.m_[i] = 0.480 + w * (1.574 - 0.176 * w);
        }
        double shift = 0.0;
        if (def.volumeTranslation) {
            shift = def.eos == EosKind::PR ? 0.50033 * (0.25969 - c.zra) * rtc / c.pc
                                           : 0.40768 * (0.29441 - c.zra) * rtc / c.pc;
        }
        f.c_[i] = shift;
        f.aqueous_[i] =
            (c.family == kFamilyAqueous || c.id == 19 || c.id == 29 || c.id == 30 || c.id == 54)
                ? 1
                : 0;
        if (c.id == 19 && f.water_ < 0)
            f.water_ = i;
    }
    return f;
}

int Fluid::IndexOf(const std::string& nameOrAlias) const {
    for (int i = 0; i < size(); ++i) {
        if (EqualNoCase(compounds_[i].name, nameOrAlias))
            return i;
        for (const std::string& a : compounds_[i].aliases) {
            if (EqualNoCase(a, nameOrAlias))
                return i;
        }
    }
    return -1;
}

bool Fluid::hasAqueous() const {
    return std::any_of(aqueous_.begin(), aqueous_.end(), [](char c) { return c != 0; });
}

double Fluid::WilsonK(int i, double t, double p) const {
    const Compound& c = compounds_[i];
    return c.pc / p * std::exp(5.373 * (1.0 + c.omega) * (1.0 - c.tc / t));
}

}  // namespace pyrana::thermo
