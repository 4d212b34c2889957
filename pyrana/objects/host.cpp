// The reference host's context: shared state, the single service objects and
// the class factories it offers to the process.
#include "pyrana/objects/host.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "pyrana/objects/host_objects.h"

namespace pyrana::objects {

namespace {

std::vector<double> NormalisedFeed(const thermo::Fluid& fluid, std::vector<double> feed) {
    if (feed.size() != static_cast<size_t>(fluid.size())) {
        throw std::invalid_argument("feed: " + std::to_string(feed.size()) +
                                    " fractions for a fluid of " + std::to_string(fluid.size()) +
                                    " compounds");
    }
    double sum = 0.0;
    for (size_t i = 0; i < feed.size(); ++i) {
        if (!std::isfinite(feed[i]) || feed[i] < 0.0) {
            throw std::invalid_argument("feed[" + std::to_string(i) + "] = " +
                                        std::to_string(feed[i]) + " must be finite and >= 0");
        }
        sum += feed[i];
    }
    if (!(sum > 0.0)) {
        throw std::invalid_argument("feed: the fractions sum to zero");
    }
    for (double& x : feed) {
        x /= sum;
    }
    return feed;
}

}  // namespace

HostState::HostState(thermo::Fluid fluid, std::vector<double> feedIn, HostOptions opts)
    : calc(fluid), feed(NormalisedFeed(fluid, std::move(feedIn))), options(opts) {
    for (const char* name :
         {"Temperature", "Pressure", "Enthalpy", "Entropy", "MolarVolume", "LnFugacityCoeff"}) {
        AddProperty(name);
    }
    temperatureId = FindProperty("Temperature");
    // The temperature search of the saturation flash: no initial value, and
    // the model's own bounds (0.35 min Tc, 1.3 max Tc) made visible.
    double tcMin = fluid.compound(0).tc;
    double tcMax = tcMin;
    for (int i = 1; i < fluid.size(); ++i) {
        tcMin = std::min(tcMin, fluid.compound(i).tc);
        tcMax = std::max(tcMax, fluid.compound(i).tc);
    }
    variableSettings[temperatureId] =
        VariableSettings{kUndefined, 0.35 * tcMin, 1.3 * tcMax, 5.0, 1e-6};
}

int HostState::AddProperty(const std::string& name) {
    const int found = FindProperty(name);
    if (found != PYR_UNDEFINED_INT) {
        return found;
    }
    propertyNames.push_back(name);
    return static_cast<int>(propertyNames.size());
}

int HostState::FindProperty(const std::string& name) const {
    const auto it = std::find(propertyNames.begin(), propertyNames.end(), name);
    return it == propertyNames.end() ? PYR_UNDEFINED_INT
                                     : static_cast<int>(it - propertyNames.begin()) + 1;
}

const std::string* HostState::PropertyName(int id) const {
    if (id < 1 || static_cast<size_t>(id) > propertyNames.size()) {
        return nullptr;
    }
    return &propertyNames[static_cast<size_t>(id) - 1];
}

thermo::FlashOptions HostState::OptionsForMethod(int method) {
    thermo::FlashOptions options;
    options.fullStability = method != 2;
    return options;
}

Host::Host(thermo::Fluid fluid, std::vector<double> feed, HostOptions options)
    : state_(std::make_shared<HostState>(std::move(fluid), std::move(feed), options)) {
    auto companion = MakeObject<objects::Companion>(state_);
    auto settings = MakeObject<FlashSettingsObject>(state_, companion);
    propManager_ = platform::ComPtr<IPropManager>::Adopt(
        MakeObject<objects::PropManager>(state_, settings).Detach());
    flashManager_ =
        platform::ComPtr<IFlashManager>::Adopt(MakeObject<objects::FlashManager>(state_).Detach());
    settings_ = platform::ComPtr<IFlashSettings>::Adopt(settings.Detach());
    companion_ = platform::ComPtr<ISettingsCompanion>::Adopt(companion.Detach());
    registry_ = platform::ComPtr<IPropertyEnumerationRegistry>::Adopt(
        MakeObject<objects::PropertyRegistry>(state_).Detach());

    if (!options.registerClassFactories) {
        return;
    }
    std::shared_ptr<HostState> state = state_;
    struct Offered {
        const CLSID* clsid;
        ClassFactory::Create create;
    };
    const Offered offered[] = {
        {&CLSID_PyranaRealArray,
         [](IUnknown** out) {
             *out = static_cast<IRealArrayDisp*>(MakeObject<RealArray>().Detach());
             return S_OK;
         }},
        {&CLSID_PyranaRealMatrix,
         [](IUnknown** out) {
             *out = static_cast<IRealMatrix*>(MakeObject<RealMatrix>().Detach());
             return S_OK;
         }},
        {&CLSID_PyranaSettingsCompanion,
         [state](IUnknown** out) {
             *out =
                 static_cast<ISettingsCompanion*>(MakeObject<objects::Companion>(state).Detach());
             return S_OK;
         }},
    };
    for (const Offered& o : offered) {
        auto factory = MakeObject<ClassFactory>(o.create);
        DWORD cookie = 0;
        const HRESULT hr = CoRegisterClassObject(*o.clsid, factory.Get(), CLSCTX_INPROC_SERVER,
                                                 REGCLS_MULTIPLEUSE, &cookie);
        if (FAILED(hr)) {
            for (DWORD c : cookies_) {
                CoRevokeClassObject(c);
            }
            throw std::runtime_error("cannot offer the host's classes to the process");
        }
        cookies_.push_back(cookie);
    }
}

Host::~Host() {
    for (DWORD cookie : cookies_) {
        CoRevokeClassObject(cookie);
    }
}

int Host::size() const {
    return state_->nc();
}

const thermo::Fluid& Host::fluid() const {
    return state_->calc.fluid();
}

thermo::Calculator& Host::calculator() {
    return state_->calc;
}

const std::vector<double>& Host::feed() const {
    return state_->feed;
}

platform::ComPtr<IPropManager> Host::PropManager() const {
    return propManager_;
}

platform::ComPtr<IFlashManager> Host::FlashManager() const {
    return flashManager_;
}

platform::ComPtr<IFlashSettings> Host::FlashSettings() const {
    return settings_;
}

platform::ComPtr<ISettingsCompanion> Host::Companion() const {
    return companion_;
}

platform::ComPtr<IPropertyEnumerationRegistry> Host::PropertyRegistry() const {
    return registry_;
}

platform::ComPtr<IPhaseCollection> Host::NewPhaseCollection() const {
    return platform::ComPtr<IPhaseCollection>::Adopt(MakeObject<PhaseCollection>(state_).Detach());
}

platform::ComPtr<IPhase> Host::NewPropertyContainer() const {
    auto phase = MakeObject<PhaseObject>(state_);
    phase->composition() = state_->feed;
    phase->active = 1;
    return platform::ComPtr<IPhase>::Adopt(static_cast<IPhase*>(phase.Detach()));
}

platform::ComPtr<ICompoundCollection> Host::NewCompoundCollection() const {
    return platform::ComPtr<ICompoundCollection>::Adopt(
        MakeObject<CompoundCollection>(state_).Detach());
}

int Host::PropertyId(const std::string& name) const {
    return state_->FindProperty(name);
}

}  // namespace pyrana::objects
