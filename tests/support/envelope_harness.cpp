// A whole calculation as a host runs it, for tests.
#include "tests/support/envelope_harness.h"

#include <stdexcept>

#include "bridge/host_thermo.h"
#include "bridge/provider_thermo.h"
#include "driver/utility_state.h"
#include "plotview/envelope_view.h"

namespace {

pyrana::thermo::Fluid MakeFluid(const FluidSpec& spec, std::vector<double>* feed) {
    pyrana::thermo::FluidDefinition def;
    def.eos = spec.eos;
    for (const auto& c : spec.components) {
        def.Add(c.first);
        feed->push_back(c.second);
    }
    for (const auto& k : spec.kij) {
        int i = -1;
        int j = -1;
        for (size_t n = 0; n < spec.components.size(); ++n) {
            if (spec.components[n].first == std::get<0>(k))
                i = static_cast<int>(n);
            if (spec.components[n].first == std::get<1>(k))
                j = static_cast<int>(n);
        }
        def.SetKij(i, j, std::get<2>(k));
    }
    std::string error;
    auto fluid = pyrana::thermo::Fluid::Create(def, &error);
    if (!fluid)
        throw std::runtime_error(error);
    return std::move(*fluid);
}

double ReadScalar(IPropContainer* container, int id) {
    VARIANT v;
    VariantInit(&v);
    container->GetProperty(id, &v);
    const double d = v.vt == VT_R8 ? v.dblVal : -32767.0;
    VariantClear(&v);
    return d;
}

}  // namespace

double EnvelopeRun::Scalar(const char* name) const {
    for (const auto& s : scalars) {
        if (s.first == name)
            return s.second;
    }
    return -32767.0;
}

int EnvelopeRun::Count(int type) const {
    int n = 0;
    for (const EnvelopeRow& r : rows)
        n += r.type == type ? 1 : 0;
    return n;
}

EnvelopeHarness::EnvelopeHarness(const FluidSpec& spec, bool useProvider)
    : useProvider_(useProvider) {
    std::vector<double> feed;
    pyrana::thermo::Fluid fluid = MakeFluid(spec, &feed);
    if (useProvider)
        provider_ = pyrana::app::CreateProvider(fluid, feed);
    host_ = std::make_unique<pyrana::objects::Host>(std::move(fluid), feed);
    phases_ = host_->NewPhaseCollection();
    container_ = host_->NewPropertyContainer();

    IUnknown* unknown = nullptr;
    if (FAILED(pyThreePhaseEnvelope::CreateInstance(nullptr, &unknown))) {
        throw std::runtime_error("utility not created");
    }
    unknown->QueryInterface(IID_IPYRUtility, reinterpret_cast<void**>(&utility_));
    unknown->Release();
    platform::ComPtr<IPropManager> pm = host_->PropManager();
    platform::ComPtr<IFlashManager> fm = host_->FlashManager();
    HRESULT hr;
    if (useProvider) {
        hr = utility_->SetThermo(nullptr, nullptr, provider_.Get(), nullptr, 1);
    } else {
        hr = utility_->SetThermo(pm.Get(), fm.Get(), nullptr, nullptr, 0);
    }
    if (FAILED(hr))
        throw std::runtime_error("SetThermo failed");
    platform::ComPtr<IPropertyEnumerationRegistry> registry = host_->PropertyRegistry();
    hr = utility_->InitializePropertyIDs(registry.Get());
    if (FAILED(hr))
        throw std::runtime_error("InitializePropertyIDs failed");
}

EnvelopeHarness::~EnvelopeHarness() {
    if (utility_ != nullptr)
        utility_->Release();
}

EnvelopeRun EnvelopeHarness::Run() {
    EnvelopeRun run;
    VARIANT none;
    VariantInit(&none);
    // A full calculation ends with the options dialog, which creates the plot
    // view by its ProgID: offer a view that draws nothing, unless the test
    // offers its own. With no dialog driver installed the dialog closes at
    // once.
    std::unique_ptr<plotview::EnvelopeViewRegistration> view;
    CLSID viewClass;
    if (FAILED(CLSIDFromProgID(PYRANA_ENVELOPE_VIEW_PROGID, &viewClass))) {
        view = std::make_unique<plotview::EnvelopeViewRegistration>(plotview::ViewSettings());
    }
    run.status = utility_->Execute(nullptr, nullptr, nullptr, phases_.Get(), container_.Get(), 1, 0,
                                   0, none);
    view.reset();
    platform::ComPtr<IPropContainer> container;
    container_->QueryInterface(IID_IPropContainer, container.put_void());

    VARIANT v;
    VariantInit(&v);
    container->GetProperty(host_->PropertyId("TypeOfDataPoint"), &v);
    std::vector<int> types;
    if (v.vt == VT_DISPATCH && v.pdispVal != nullptr) {
        platform::ComPtr<IRealArrayDisp> array;
        v.pdispVal->QueryInterface(IID_IRealArrayDisp, array.put_void());
        LONG n = 0;
        array->get_Size(&n);
        for (LONG i = 0; i < n; ++i) {
            double d = 0;
            array->get_IthValue(i, &d);
            types.push_back(static_cast<int>(d));
        }
    }
    VariantClear(&v);
    container->GetProperty(host_->PropertyId("EnvelopeResultsMatrix"), &v);
    if (v.vt == VT_DISPATCH && v.pdispVal != nullptr) {
        platform::ComPtr<IRealMatrix> matrix;
        v.pdispVal->QueryInterface(IID_IRealMatrix, matrix.put_void());
        int columns = 0;
        matrix->get_Columns(&columns);
        for (int c = 0; c < columns && c < static_cast<int>(types.size()); ++c) {
            double values[5] = {0, 0, 0, 0, 0};
            matrix->GetColumnValues(c, 5, values);
            run.rows.push_back({types[static_cast<size_t>(c)], values[0], values[1], values[2],
                                values[3], values[4]});
        }
    }
    VariantClear(&v);
    for (const char* name :
         {"2PhaseCriticalP", "2PhaseCriticalT", "3PhaseCriticalP", "3PhaseCriticalT", "3PhaseP",
          "3PhaseT", "Cricondentherm", "Cricondenbar"}) {
        run.scalars.emplace_back(name, ReadScalar(container.Get(), host_->PropertyId(name)));
    }
    return run;
}

std::unique_ptr<ThermoBridge> ThermoBridgeFor(UtilityState* u, IPhase* working,
                                              IPhase* conditions) {
    if (u->useAppThermo != 0)
        return std::make_unique<ProviderThermo>(u->appThermoProvider, u->ncomp, u->hostComp);
    HostObjects objects;
    objects.phases = u->phaseCollection;
    objects.flashSettings = u->flashSettings;
    objects.flashManager = u->flashManager;
    objects.companion = u->settingsCompanion;
    objects.propManager = u->propManager;
    objects.workingPhase = working;
    objects.conditionsPhase = conditions;
    objects.methodSetting = 3;
    objects.lnPhiPropId = u->propIds[kPropLnFugacityCoeff];
    objects.enthalpyPropId = u->propIds[kPropEnthalpy];
    objects.entropyPropId = u->propIds[kPropEntropy];
    objects.volumePropId = u->propIds[kPropMolarVolume];
    return std::make_unique<HostThermo>(objects, u->ncomp, u->hostComp);
}
