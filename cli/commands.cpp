// The compounds, flash and critical commands of phase-envelope. The flash
// goes through the reference host's COM objects as any client of the host
// would: the conditions on the kind-1 phase of a phase collection,
// IFlashManager::Flash, then the phases read by kind and index.
#include "cli/commands.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "host/interfaces.h"
#include "platform/com.h"
#include "pyrana/objects/host.h"
#include "pyrana/thermo/compound.h"

namespace cli {

namespace thermo = pyrana::thermo;
using json = nlohmann::ordered_json;
using platform::ComPtr;

namespace {

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(hr));
    return text;
}

int Fail(int status, const std::string& message) {
    std::cerr << "phase-envelope: " << message << "\n";
    return status;
}

struct PhaseReport {
    std::string type;  // "vapour" or "liquid"
    double fraction = 0, z = 0, v = 0, h = 0, s = 0;
    std::vector<double> x;
};

std::string Fixed(double v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof(text), "%.*f", decimals, v);
    return text;
}

// Reads one result phase; false when it is absent.
bool ReadPhase(IPhaseCollection* phases, int kind, int index, double t, double p,
               PhaseReport* out) {
    ComPtr<IDispatch> disp;
    ComPtr<IPhase> phase;
    if (FAILED(phases->GetPhase(kind, index, disp.put())) ||
        FAILED(disp.QueryInterface(IID_IPhase, &phase))) {
        return false;
    }
    int active = 0;
    if (FAILED(phase->get_Active(&active)) || active != 1) {
        return false;
    }
    out->type = kind == kPhaseKindVapour ? "vapour" : "liquid";
    phase->get_Fraction(&out->fraction);
    phase->get_MolarVolume(&out->v);
    phase->get_Enthalpy(&out->h);
    phase->get_Entropy(&out->s);
    // Z of the reported molar volume.
    out->z = p * out->v / (thermo::kGasConstant * t);
    ComPtr<IRealArrayDisp> comp;
    LONG n = 0;
    if (FAILED(phase->get_Composition(comp.put())) || FAILED(comp->get_Size(&n))) {
        return false;
    }
    out->x.assign(static_cast<size_t>(n), 0.0);
    for (LONG i = 0; i < n; ++i) {
        comp->get_IthValue(i, &out->x[static_cast<size_t>(i)]);
    }
    return true;
}

}  // namespace

json CompoundsJson() {
    json out = json::array();
    for (const thermo::Compound& c : thermo::CompoundDatabase()) {
        out.push_back({{"name", c.name},
                       {"aliases", c.aliases},
                       {"id", c.id},
                       {"M", c.molarMass},
                       {"Tc_K", c.tc},
                       {"Pc_kPa", c.pc},
                       {"omega", c.omega}});
    }
    return out;
}

int RunCompounds(Format format) {
    const std::vector<thermo::Compound>& db = thermo::CompoundDatabase();
    if (format == Format::kJson) {
        std::cout << CompoundsJson().dump(2) << "\n";
        return kExitOk;
    }
    std::printf("%-20s %-24s %4s %9s %8s %9s %7s\n", "name", "aliases", "ID", "M", "Tc K", "Pc kPa",
                "omega");
    for (const thermo::Compound& c : db) {
        std::string aliases;
        for (const std::string& a : c.aliases) {
            aliases += (aliases.empty() ? "" : ",") + a;
        }
        std::printf("%-20s %-24s %4d %9.3f %8.2f %9.1f %7.4f\n", c.name.c_str(), aliases.c_str(),
                    c.id, c.molarMass, c.tc, c.pc, c.omega);
    }
    return kExitOk;
}

namespace {

// A flash's outcome: the temperature and the phases found, with the
// compounds' names.
struct FlashOutcome {
    double t = 0, p = 0;
    std::vector<std::string> names;
    std::vector<PhaseReport> phases;
};

FlashOutcome Flash(const FluidInput& input, double t, double p, double vf) {
    thermo::Fluid fluid = BuildFluid(input);
    FlashOutcome outcome;
    for (int i = 0; i < fluid.size(); ++i) {
        outcome.names.push_back(fluid.compound(i).name);
    }
    const bool saturation = std::isnan(t);
    if (!(p > 0) || !std::isfinite(p)) {
        throw InputError("--P " + Fixed(p, 3) + " kPa must be positive");
    }
    if (!saturation && !(t > 0)) {
        throw InputError("--T " + Fixed(t, 3) + " K must be positive");
    }
    if (saturation && !(vf >= 0 && vf <= 1)) {
        throw InputError("--vf " + Fixed(vf, 3) + " must lie between 0 and 1");
    }

    pyrana::objects::Host host(std::move(fluid), input.feed);
    ComPtr<IPhaseCollection> phases = host.NewPhaseCollection();
    ComPtr<IDispatch> disp;
    ComPtr<IPhase> kind1;
    HRESULT hr = phases->put_Mode(0);
    if (SUCCEEDED(hr))
        hr = phases->GetPhase(kPhaseKindSpecification, 0, disp.put());
    if (SUCCEEDED(hr))
        hr = disp.QueryInterface(IID_IPhase, &kind1);
    if (SUCCEEDED(hr))
        hr = kind1->put_Pressure(p);
    if (SUCCEEDED(hr))
        hr = kind1->put_Temperature(saturation ? PYR_UNDEFINED : t);
    if (SUCCEEDED(hr))
        hr = kind1->put_Fraction(saturation ? vf : PYR_UNDEFINED);
    if (SUCCEEDED(hr))
        hr = host.FlashManager()->Flash(phases.Get());
    double tFound = t;
    if (SUCCEEDED(hr))
        hr = kind1->get_Temperature(&tFound);
    if (FAILED(hr)) {
        throw CalculationFailure("the flash failed (" + Hex(hr) + ")");
    }

    std::vector<PhaseReport>& found = outcome.phases;
    const int kinds[3][2] = {{kPhaseKindVapour, 0}, {kPhaseKindLiquid, 0}, {kPhaseKindLiquid, 1}};
    for (const auto& k : kinds) {
        PhaseReport r;
        if (ReadPhase(phases.Get(), k[0], k[1], tFound, p, &r)) {
            found.push_back(std::move(r));
        }
    }
    // A saturation flash answers a pressure without a saturation point with
    // vapour and liquid of the feed's composition: say so instead. A single
    // compound's saturated phases share its composition too, but not its
    // density; so do those of a feed above 0.99999 of one compound, whose
    // saturation point the host takes as that compound's.
    const bool samePhase = found.size() == 2 && found[0].x == found[1].x &&
                           std::fabs(found[0].v - found[1].v) <= 1e-9 * std::fabs(found[0].v);
    const double total = std::accumulate(input.feed.begin(), input.feed.end(), 0.0);
    const bool oneCompound = std::any_of(input.feed.begin(), input.feed.end(),
                                         [&](double f) { return f > 0.99999 * total; });
    if (saturation && found.size() == 2 && found[0].x == found[1].x &&
        (!oneCompound || samePhase)) {
        throw CalculationFailure("no saturation temperature at " + Fixed(p, 3) +
                                 " kPa for this fluid");
    }
    outcome.t = tFound;
    outcome.p = p;
    return outcome;
}

json ToJson(const FlashOutcome& f) {
    json out;
    out["T_K"] = f.t;
    out["P_kPa"] = f.p;
    out["phases"] = json::array();
    for (const PhaseReport& r : f.phases) {
        json comp = json::object();
        for (size_t i = 0; i < f.names.size(); ++i) {
            comp[f.names[i]] = r.x[i];
        }
        out["phases"].push_back({{"type", r.type},
                                 {"fraction", r.fraction},
                                 {"Z", r.z},
                                 {"V", r.v},
                                 {"H", r.h},
                                 {"S", r.s},
                                 {"composition", comp}});
    }
    return out;
}

}  // namespace

json FlashJson(const FluidInput& input, double t, double p, double vf) {
    return ToJson(Flash(input, t, p, vf));
}

int RunFlash(const FluidInput& input, double t, double p, double vf, Format format) {
    FlashOutcome f;
    try {
        f = Flash(input, t, p, vf);
    } catch (const CalculationFailure& e) {
        return Fail(kExitCalculation, e.what());
    }
    if (format == Format::kJson) {
        std::cout << ToJson(f).dump(2) << "\n";
        return kExitOk;
    }
    const std::vector<PhaseReport>& found = f.phases;
    const std::vector<std::string>& names = f.names;
    std::printf("T = %.3f K   P = %.3f kPa   %zu phase%s\n\n", f.t, f.p, found.size(),
                found.size() == 1 ? "" : "s");
    std::printf("%-16s", "");
    for (const PhaseReport& r : found)
        std::printf(" %14s", r.type.c_str());
    std::printf("\n%-16s", "fraction");
    for (const PhaseReport& r : found)
        std::printf(" %14.6f", r.fraction);
    std::printf("\n%-16s", "Z");
    for (const PhaseReport& r : found)
        std::printf(" %14.6f", r.z);
    std::printf("\n%-16s", "V m3/kmol");
    for (const PhaseReport& r : found)
        std::printf(" %14.6f", r.v);
    std::printf("\n%-16s", "H kJ/kmol");
    for (const PhaseReport& r : found)
        std::printf(" %14.3f", r.h);
    std::printf("\n%-16s", "S kJ/(kmol K)");
    for (const PhaseReport& r : found)
        std::printf(" %14.4f", r.s);
    std::printf("\n\nmole fractions\n");
    for (size_t i = 0; i < names.size(); ++i) {
        std::printf("%-16s", names[i].c_str());
        for (const PhaseReport& r : found)
            std::printf(" %14.6g", r.x[i]);
        std::printf("\n");
    }
    return kExitOk;
}

namespace {

std::vector<thermo::CriticalPointResult> CriticalRoots(const FluidInput& input) {
    pyrana::objects::Host host(BuildFluid(input), input.feed);
    std::vector<thermo::CriticalPointResult> roots =
        host.calculator().CriticalPoints(host.feed().data());
    if (roots.size() == 1 && roots[0].outcome == thermo::Outcome::kInvalidInput) {
        throw InputError(roots[0].message);
    }
    if (roots.empty()) {
        throw CalculationFailure("no critical point found");
    }
    return roots;
}

// Every root of the critical conditions: the one where the feed is stable
// lies on the phase envelope; at the others a state of lower Gibbs energy
// exists (a split inside a two-phase region, or the feed's other root).
json ToJson(const std::vector<thermo::CriticalPointResult>& roots) {
    json out = json::array();
    for (const thermo::CriticalPointResult& r : roots) {
        out.push_back({{"T_K", r.t}, {"P_kPa", r.p}, {"on_envelope", r.stable}});
    }
    return out;
}

}  // namespace

json CriticalJson(const FluidInput& input) {
    return ToJson(CriticalRoots(input));
}

int RunCritical(const FluidInput& input, Format format) {
    std::vector<thermo::CriticalPointResult> roots;
    try {
        roots = CriticalRoots(input);
    } catch (const CalculationFailure& e) {
        return Fail(kExitCalculation, e.what());
    } catch (const InputError& e) {
        return Fail(kExitUsage, e.what());
    }
    if (format == Format::kJson) {
        std::cout << ToJson(roots).dump(2) << "\n";
        return kExitOk;
    }
    for (const thermo::CriticalPointResult& r : roots) {
        std::printf("critical point   T = %.3f K   P = %.3f kPa   %s\n", r.t, r.p,
                    r.stable ? "on the phase envelope"
                             : "not on the envelope (a state of lower Gibbs energy exists there)");
    }
    return kExitOk;
}

}  // namespace cli
