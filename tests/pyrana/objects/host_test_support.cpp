#include "host_test_support.h"

namespace pyrana::testing {

thermo::Fluid MakeFluid(std::initializer_list<const char*> names, thermo::EosKind eos) {
    thermo::FluidDefinition def;
    for (const char* name : names) {
        def.Add(name);
    }
    def.eos = eos;
    std::string error;
    auto fluid = thermo::Fluid::Create(def, &error);
    EXPECT_TRUE(fluid.has_value()) << error;
    return *fluid;
}

void HostTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
}

void HostTest::TearDown() {
    EXPECT_EQ(platform::LiveObjectCount(), 0) << platform::LiveObjectReport();
    CoUninitialize();
}

platform::ComPtr<IPhase> PhaseOf(IPhaseCollection* phases, int kind, int index) {
    platform::ComPtr<IDispatch> disp;
    platform::ComPtr<IPhase> phase;
    EXPECT_EQ(phases->GetPhase(kind, index, disp.put()), S_OK) << kind << "/" << index;
    EXPECT_EQ(disp.QueryInterface(IID_IPhase, &phase), S_OK);
    return phase;
}

std::vector<double> CompositionOf(IPhase* phase) {
    platform::ComPtr<IRealArrayDisp> array;
    EXPECT_EQ(phase->get_Composition(array.put()), S_OK);
    LONG n = 0;
    EXPECT_EQ(array->get_Size(&n), S_OK);
    std::vector<double> x(static_cast<size_t>(n));
    for (LONG i = 0; i < n; ++i) {
        EXPECT_EQ(array->get_IthValue(i, &x[static_cast<size_t>(i)]), S_OK);
    }
    return x;
}

HRESULT FlashAt(IFlashManager* flash, IPhaseCollection* phases, double t, double p,
                double vapourFraction) {
    HRESULT hr = phases->put_Mode(0);
    platform::ComPtr<IDispatch> disp;
    platform::ComPtr<IPhase> kind1;
    if (SUCCEEDED(hr))
        hr = phases->GetPhase(kPhaseKindSpecification, 0, disp.put());
    if (SUCCEEDED(hr))
        hr = disp.QueryInterface(IID_IPhase, &kind1);
    if (SUCCEEDED(hr))
        hr = kind1->put_Pressure(p);
    if (SUCCEEDED(hr))
        hr = kind1->put_Fraction(t > 0 ? PYR_UNDEFINED : vapourFraction);
    if (SUCCEEDED(hr))
        hr = kind1->put_Temperature(t > 0 ? t : PYR_UNDEFINED);
    if (SUCCEEDED(hr))
        hr = kind1->put_Enthalpy(PYR_UNDEFINED);
    if (SUCCEEDED(hr))
        hr = kind1->put_Entropy(PYR_UNDEFINED);
    if (SUCCEEDED(hr))
        hr = flash->Flash(phases);
    return hr;
}

}  // namespace pyrana::testing
