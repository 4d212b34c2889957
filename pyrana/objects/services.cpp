// The reference host's services: the property-name registry, the flash
// settings with their companion (the stability test), the property manager
// and the flash manager.
#include <cmath>
#include <string>

#include "pyrana/objects/host_objects.h"

namespace pyrana::objects {

namespace {

std::string NameOf(BSTR name) {
    return platform::Utf8FromWide(name, SysStringLen(name));
}

// Flash results the host reports: converged ones, the trivial split of a
// saturation flash without a saturation point, and unconverged ones whose
// phases are nonetheless in equilibrium to a tight tolerance.
bool Acceptable(const thermo::FlashResult& r) {
    if (r.outcome == thermo::Outcome::kConverged || r.outcome == thermo::Outcome::kTrivialSplit) {
        return !r.phases.empty();
    }
    return r.outcome == thermo::Outcome::kNotConverged && !r.phases.empty() &&
           r.fugacityError < 1e-6;
}

// The trivial split a saturation flash reports where it has found no
// saturation point: vapour of fraction beta and a liquid, both of the feed's
// composition, at temperature t.
thermo::FlashResult TrivialSplit(thermo::Calculator& calc, double t, double p,
                                 const std::vector<double>& z, double beta) {
    thermo::FlashResult out;
    out.outcome = thermo::Outcome::kTrivialSplit;
    out.message = "no saturation point found: trivial split";
    out.t = t;
    out.p = p;
    for (int k = 0; k < 2; ++k) {
        const bool vapour = k == 0;
        const thermo::PhaseProperties props =
            calc.Properties(t, p, z.data(), vapour ? thermo::Root::Vapour : thermo::Root::Liquid);
        thermo::PhaseResult ph;
        ph.type = vapour ? thermo::PhaseType::kVapour : thermo::PhaseType::kLiquid;
        ph.fraction = vapour ? beta : 1.0 - beta;
        ph.x = z;
        ph.z = props.root.z;
        ph.v = props.root.v;
        ph.h = props.h;
        ph.s = props.s;
        out.phases.push_back(std::move(ph));
    }
    return out;
}

// A saturation flash specifies the vapour fraction: the phase that carries it
// is the vapour even where its density calls it a liquid (a dense phase above
// its critical temperature at high pressure).
void LabelSpecifiedVapour(thermo::FlashResult* r, double beta) {
    if (r->VapourIndex() >= 0 || r->phases.empty()) {
        return;
    }
    size_t best = 0;
    for (size_t k = 1; k < r->phases.size(); ++k) {
        if (std::fabs(r->phases[k].fraction - beta) < std::fabs(r->phases[best].fraction - beta)) {
            best = k;
        }
    }
    r->phases[best].type = thermo::PhaseType::kVapour;
    r->phases[best].aqueous = false;
}

}  // namespace

// --- PropertyRegistry -------------------------------------------------------

HRESULT PropertyRegistry::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (Offer(riid, IID_IUnknown, this, ppv) || Offer(riid, IID_IDispatch, this, ppv) ||
        Offer(riid, IID_IPropertyEnumerationRegistry, this, ppv)) {
        return S_OK;
    }
    return E_NOINTERFACE;
}

namespace {

// The registry's two operations on the host state, shared by the registry
// and the property manager that also answers it.
HRESULT LookUpProperty(HostState& state, BSTR name, LONG* id) {
    return HostCall("IPropertyEnumerationRegistry::GetPropertyIDByName", [&] {
        if (id == nullptr) {
            return E_POINTER;
        }
        const int found = state.FindProperty(NameOf(name));
        if (found == PYR_UNDEFINED_INT) {
            return E_INVALIDARG;
        }
        *id = found;
        return S_OK;
    });
}

HRESULT RegisterProperty(HostState& state, BSTR name, LONG* id) {
    return HostCall("IPropertyEnumerationRegistry::AddPropertyByName", [&] {
        if (id == nullptr) {
            return E_POINTER;
        }
        const std::string text = NameOf(name);
        if (text.empty()) {
            return E_INVALIDARG;
        }
        *id = state.AddProperty(text);
        return S_OK;
    });
}

}  // namespace

HRESULT PropertyRegistry::GetPropertyIDByName(BSTR name, LONG* id) {
    return LookUpProperty(*state_, name, id);
}

HRESULT PropertyRegistry::AddPropertyByName(BSTR name, LONG* id) {
    return RegisterProperty(*state_, name, id);
}

// --- FlashSettingsObject ----------------------------------------------------

HRESULT FlashSettingsObject::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (Offer(riid, IID_IUnknown, this, ppv) || Offer(riid, IID_IDispatch, this, ppv) ||
        Offer(riid, IID_IFlashSettings, this, ppv)) {
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT FlashSettingsObject::GetVariableSettings(int propID, double* tinit, double* lowerBnd,
                                                 double* upperBnd, double* delt,
                                                 double* tolDelBnd) {
    return HostCall("IFlashSettings::GetVariableSettings", [&] {
        if (!tinit || !lowerBnd || !upperBnd || !delt || !tolDelBnd) {
            return E_POINTER;
        }
        if (state_->PropertyName(propID) == nullptr) {
            return E_INVALIDARG;
        }
        VariableSettings v;
        const auto it = state_->variableSettings.find(propID);
        if (it != state_->variableSettings.end()) {
            v = it->second;
        }
        *tinit = v.tinit;
        *lowerBnd = v.lowerBnd;
        *upperBnd = v.upperBnd;
        *delt = v.delt;
        *tolDelBnd = v.tolDelBnd;
        return S_OK;
    });
}

HRESULT FlashSettingsObject::SetVariableSettings(int propID, double tinit, double lowerBnd,
                                                 double upperBnd, double delt, double tolDelBnd) {
    return HostCall("IFlashSettings::SetVariableSettings", [&] {
        if (state_->PropertyName(propID) == nullptr) {
            return E_INVALIDARG;
        }
        state_->variableSettings[propID] =
            VariableSettings{tinit, lowerBnd, upperBnd, delt, tolDelBnd};
        // New settings begin a new calculation: the flashes and further-phase
        // tests after them answer as on a fresh host, whatever came before.
        state_->calc.DropWarmStarts();
        return S_OK;
    });
}

HRESULT FlashSettingsObject::get_IntSetting(int* value) {
    return HostCall("IFlashSettings::get_IntSetting", [&] {
        if (value == nullptr) {
            return E_POINTER;
        }
        *value = state_->intSetting;
        return S_OK;
    });
}

HRESULT FlashSettingsObject::put_IntSetting(int value) {
    return HostCall("IFlashSettings::put_IntSetting", [&] {
        state_->intSetting = value;
        return S_OK;
    });
}

HRESULT FlashSettingsObject::get_Companion(IUnknown** companion) {
    return HostCall("IFlashSettings::get_Companion", [&] {
        if (companion == nullptr) {
            return E_POINTER;
        }
        *companion = nullptr;
        if (!state_->options.settingsHandOutCompanion) {
            return S_OK;
        }
        return HandOut(static_cast<IUnknown*>(static_cast<ISettingsCompanion*>(companion_.Get())),
                       companion);
    });
}

// --- Companion --------------------------------------------------------------

HRESULT Companion::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (Offer(riid, IID_IUnknown, static_cast<ISettingsCompanion*>(this), ppv) ||
        Offer(riid, IID_IDispatch, static_cast<ISettingsCompanion*>(this), ppv) ||
        Offer(riid, IID_ISettingsCompanion, static_cast<ISettingsCompanion*>(this), ppv) ||
        Offer(riid, IID_IPropertyRegistryClient, static_cast<IPropertyRegistryClient*>(this),
              ppv)) {
        return S_OK;
    }
    return E_NOINTERFACE;
}

// The further-phase test at the conditions of the kind-1 phase with its
// composition (the feed). `method` chooses the trial set (2 reduced, else
// full); `settings`, `mode`, `splitOff` and `flash` are accepted as the
// interface passes them and not needed here.
HRESULT Companion::StabilityTest(IFlashSettings*, IPhaseCollection* phases, IPhase* testPhase, int,
                                 int method, VARIANT_BOOL, IFlashManager*) {
    return HostCall("ISettingsCompanion::StabilityTest", [&] {
        if (phases == nullptr || testPhase == nullptr) {
            return E_POINTER;
        }
        auto* collection = dynamic_cast<PhaseCollection*>(phases);
        auto* test = dynamic_cast<PhaseObject*>(testPhase);
        if (collection == nullptr || test == nullptr) {
            return E_INVALIDARG;
        }
        PhaseObject& kind1 = collection->conditions();
        if (!(kind1.t > 0) || !(kind1.p > 0) ||
            kind1.composition().size() != static_cast<size_t>(state_->nc())) {
            return E_INVALIDARG;
        }
        const thermo::FurtherPhaseResult r =
            state_->calc.FurtherPhase(kind1.t, kind1.p, kind1.composition().data(), nullptr,
                                      HostState::OptionsForMethod(method));
        if (r.outcome == thermo::Outcome::kInvalidInput) {
            return E_INVALIDARG;
        }
        test->t = kind1.t;
        test->p = kind1.p;
        test->h = test->s = test->v = kUndefined;
        if (r.found && r.x.size() == static_cast<size_t>(state_->nc())) {
            test->type = r.type == thermo::PhaseType::kVapour ? kPhaseTypeVapour : kPhaseTypeLiquid;
            test->active = 1;
            test->composition() = r.x;
        } else {
            test->type = kPhaseTypeUnspecified;
            test->active = 0;
        }
        return S_OK;
    });
}

HRESULT Companion::SetPropertyRegistry(IDispatch* registry) {
    return HostCall("IPropertyRegistryClient::SetPropertyRegistry", [&] {
        registry_ = platform::ComPtr<IDispatch>(registry);
        return S_OK;
    });
}

// --- PropManager ------------------------------------------------------------

HRESULT PropManager::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (Offer(riid, IID_IUnknown, static_cast<IPropManager*>(this), ppv) ||
        Offer(riid, IID_IDispatch, static_cast<IPropManager*>(this), ppv) ||
        Offer(riid, IID_IPropManager, static_cast<IPropManager*>(this), ppv) ||
        Offer(riid, IID_IPropManagerSettings, static_cast<IPropManagerSettings*>(this), ppv) ||
        Offer(riid, IID_IPropertyEnumerationRegistry,
              static_cast<IPropertyEnumerationRegistry*>(this), ppv)) {
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT PropManager::GetPropertyIDByName(BSTR name, LONG* id) {
    return LookUpProperty(*state_, name, id);
}

HRESULT PropManager::AddPropertyByName(BSTR name, LONG* id) {
    return RegisterProperty(*state_, name, id);
}

// Computes the property named by propID ("Enthalpy", "Entropy",
// "MolarVolume", "LnFugacityCoeff"; "Temperature" and "Pressure" are the
// phase's own and need nothing) from the phase's temperature, pressure,
// composition and phase type (3 vapour root, 4 liquid root, else the stable
// one), and stores it in the phase. E_INVALIDARG for an unregistered or
// uncomputable ID, a foreign phase, undefined conditions or a composition of
// the wrong size; E_FAIL when the model finds no state there.
HRESULT PropManager::CalcProperty(int propID, IPhase* phase) {
    return HostCall("IPropManager::CalcProperty", [&] {
        if (phase == nullptr) {
            return E_POINTER;
        }
        auto* ph = dynamic_cast<PhaseObject*>(phase);
        const std::string* name = state_->PropertyName(propID);
        if (ph == nullptr || name == nullptr) {
            return E_INVALIDARG;
        }
        if (*name == "Temperature" || *name == "Pressure") {
            return S_OK;
        }
        const bool enthalpy = *name == "Enthalpy";
        const bool entropy = *name == "Entropy";
        const bool volume = *name == "MolarVolume";
        const bool lnPhi = *name == "LnFugacityCoeff";
        if (!enthalpy && !entropy && !volume && !lnPhi) {
            return E_INVALIDARG;
        }
        detail::NameHostCall(lnPhi ? "IPropManager::CalcProperty (ln phi)"
                                   : "IPropManager::CalcProperty (H, S or V)");
        if (!(ph->t > 0) || !(ph->p > 0) ||
            ph->composition().size() != static_cast<size_t>(state_->nc())) {
            return E_INVALIDARG;
        }
        const thermo::Root root = thermo::Calculator::RootForPhaseType(ph->type);
        if (lnPhi) {
            // Straight into the phase's array when it has the size (a failure leaves it
            // as it was).
            std::vector<double>& out = ph->lnPhi();
            const size_t n = static_cast<size_t>(state_->nc());
            const double* x = ph->composition().data();
            if (out.size() == n) {
                return state_->calc.LnPhi(ph->t, ph->p, x, root, out.data()) ? S_OK : E_FAIL;
            }
            std::vector<double> fresh(n);
            if (!state_->calc.LnPhi(ph->t, ph->p, x, root, fresh.data())) {
                return E_FAIL;
            }
            out = std::move(fresh);
            return S_OK;
        }
        HostState::CaloricState& cached = state_->caloric;
        if (!(cached.valid && cached.t == ph->t && cached.p == ph->p &&
              cached.root == static_cast<int>(root) && cached.x == ph->composition())) {
            cached.valid = false;
            const thermo::PhaseProperties props =
                state_->calc.Properties(ph->t, ph->p, ph->composition().data(), root);
            if (!props.ok) {
                return E_FAIL;
            }
            cached.t = ph->t;
            cached.p = ph->p;
            cached.root = static_cast<int>(root);
            cached.x = ph->composition();
            cached.h = props.h;
            cached.s = props.s;
            cached.v = props.root.v;
            cached.valid = true;
        }
        if (enthalpy) {
            ph->h = cached.h;
        } else if (entropy) {
            ph->s = cached.s;
        } else {
            ph->v = cached.v;
        }
        return S_OK;
    });
}

HRESULT PropManager::get_Settings(IUnknown** settings) {
    return HostCall("IPropManagerSettings::get_Settings",
                    [&] { return HandOut(static_cast<IUnknown*>(settings_.Get()), settings); });
}

// --- FlashManager -----------------------------------------------------------

HRESULT FlashManager::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (Offer(riid, IID_IUnknown, this, ppv) || Offer(riid, IID_IDispatch, this, ppv) ||
        Offer(riid, IID_IFlashManager, this, ppv)) {
        return S_OK;
    }
    return E_NOINTERFACE;
}

// Flashes the composition of the kind-1 phase: at its temperature and
// pressure when the temperature is set, else (temperature -32767) a
// saturation flash at its pressure and vapour fraction (its Fraction), whose
// temperature is written back to the kind-1 phase. The Temperature settings
// seed (tinit) and bound (lowerBnd, upperBnd) the saturation search where
// they are set; the integer setting chooses full (3) or reduced (2)
// stability analysis. Results go to the vapour (kind 3) and liquids (kind 4,
// the aqueous one at index 1); absent phases are inactive. No saturation
// point at this pressure, or a saturation search that does not converge, is
// not a failure: vapour and first liquid are reported with the feed's
// composition; the phase carrying the specified vapour fraction is reported
// as the vapour. E_INVALIDARG for a foreign collection or bad conditions,
// E_FAIL when a PT flash does not converge (every result phase is then
// inactive).
HRESULT FlashManager::Flash(IPhaseCollection* phases) {
    return HostCall("IFlashManager::Flash", [&] {
        if (phases == nullptr) {
            return E_POINTER;
        }
        auto* collection = dynamic_cast<PhaseCollection*>(phases);
        if (collection == nullptr) {
            return E_INVALIDARG;
        }
        PhaseObject& kind1 = collection->conditions();
        const std::vector<double>& z = kind1.composition();
        if (z.size() != static_cast<size_t>(state_->nc()) || !(kind1.p > 0) ||
            !std::isfinite(kind1.p)) {
            return E_INVALIDARG;
        }
        const thermo::FlashOptions options = HostState::OptionsForMethod(state_->intSetting);
        thermo::FlashResult result;
        const bool saturation = IsUndefined(kind1.t);
        detail::NameHostCall(saturation ? "IFlashManager::Flash (saturation)"
                                        : "IFlashManager::Flash (PT)");
        if (saturation) {
            if (!(kind1.fraction >= 0.0 && kind1.fraction <= 1.0)) {
                return E_INVALIDARG;
            }
            thermo::SaturationOptions seed;
            const auto it = state_->variableSettings.find(state_->temperatureId);
            if (it != state_->variableSettings.end()) {
                const VariableSettings& vs = it->second;
                if (!IsUndefined(vs.tinit) && vs.tinit > 0) {
                    seed.tInit = vs.tinit;
                }
                if (!IsUndefined(vs.lowerBnd) && vs.lowerBnd > 0) {
                    seed.tMin = vs.lowerBnd;
                }
                if (!IsUndefined(vs.upperBnd) && vs.upperBnd > 0) {
                    seed.tMax = vs.upperBnd;
                }
            }
            result = state_->calc.FlashSaturation(kind1.p, kind1.fraction, z.data(), seed, options);
        } else {
            if (!(kind1.t > 0) || !std::isfinite(kind1.t)) {
                return E_INVALIDARG;
            }
            result = state_->calc.FlashPT(kind1.t, kind1.p, z.data(), options);
        }
        if (result.outcome == thermo::Outcome::kInvalidInput) {
            collection->ClearResults(kind1.t, kind1.p);
            return E_INVALIDARG;
        }
        if (saturation && !Acceptable(result)) {
            // A saturation search that did not converge has found no
            // saturation point at this pressure.
            const double t = std::isfinite(result.t) && result.t > 0 ? result.t : 300.0;
            result = TrivialSplit(state_->calc, t, kind1.p, z, kind1.fraction);
        }
        if (!Acceptable(result)) {
            collection->ClearResults(kind1.t, kind1.p);
            return E_FAIL;
        }
        if (saturation) {
            LabelSpecifiedVapour(&result, kind1.fraction);
            kind1.t = result.t;
        }
        collection->TakeResult(result);
        return S_OK;
    });
}

}  // namespace pyrana::objects
