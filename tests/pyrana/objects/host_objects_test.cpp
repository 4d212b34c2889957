// The reference host's COM objects driven through their interfaces the way
// the utility drives them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "host_test_support.h"
#include "pyrana/objects/host.h"

namespace pyrana::testing {
namespace {

using objects::Host;
using platform::ComPtr;

ComPtr<IPhaseCollection> Collection(const Host& host) {
    return host.NewPhaseCollection();
}

double Get(IPhase* phase, HRESULT (STDMETHODCALLTYPE IPhase::*getter)(double*)) {
    double value = 0;
    EXPECT_EQ((phase->*getter)(&value), S_OK);
    return value;
}

int ActiveOf(IPhase* phase) {
    int active = -1;
    EXPECT_EQ(phase->get_Active(&active), S_OK);
    return active;
}

double WaterIn(const std::vector<double>& x, int water) {
    return x[static_cast<size_t>(water)];
}

using HostObjects = HostTest;

TEST_F(HostObjects, RegistryHandsOutOneStableIdPerName) {
    Host host(MakeFluid({"methane", "ethane"}), {0.9, 0.1});
    ComPtr<IPropertyEnumerationRegistry> registry = host.PropertyRegistry();
    LONG a = 0, b = 0, again = 0, looked = 0;
    platform::Bstr first("EnvelopeResultsMatrix"), second("TypeOfDataPoint");
    ASSERT_EQ(registry->AddPropertyByName(first.Get(), &a), S_OK);
    ASSERT_EQ(registry->AddPropertyByName(second.Get(), &b), S_OK);
    ASSERT_EQ(registry->AddPropertyByName(first.Get(), &again), S_OK);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, again);
    ASSERT_EQ(registry->GetPropertyIDByName(second.Get(), &looked), S_OK);
    EXPECT_EQ(looked, b);
    // The host's own property names are there from the start.
    platform::Bstr temperature("Temperature");
    ASSERT_EQ(registry->GetPropertyIDByName(temperature.Get(), &looked), S_OK);
    EXPECT_EQ(looked, host.PropertyId("Temperature"));

    LONG untouched = 77;
    platform::Bstr unknown("NoSuchProperty"), empty("");
    EXPECT_EQ(registry->GetPropertyIDByName(unknown.Get(), &untouched), E_INVALIDARG);
    EXPECT_EQ(untouched, 77);
    EXPECT_EQ(registry->AddPropertyByName(empty.Get(), &untouched), E_INVALIDARG);

    // The property manager answers the same registry.
    ComPtr<IPropManager> manager = host.PropManager();
    ComPtr<IPropertyEnumerationRegistry> viaManager;
    ASSERT_EQ(manager.QueryInterface(IID_IPropertyEnumerationRegistry, &viaManager), S_OK);
    ASSERT_EQ(viaManager->GetPropertyIDByName(second.Get(), &looked), S_OK);
    EXPECT_EQ(looked, b);
}

TEST_F(HostObjects, ArraysAndMatricesComeFromTheClassFactories) {
    {
        Host host(MakeFluid({"methane"}), {1.0});
        ComPtr<IRealArrayDisp> array;
        ASSERT_EQ(CoCreateInstance(CLSID_PyranaRealArray, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IRealArrayDisp, array.put_void()),
                  S_OK);
        ASSERT_EQ(array->put_Size(3), S_OK);
        ASSERT_EQ(array->put_IthValue(2, 4.5), S_OK);
        double v = 0;
        ASSERT_EQ(array->get_IthValue(2, &v), S_OK);
        EXPECT_EQ(v, 4.5);
        EXPECT_EQ(array->get_IthValue(3, &v), E_INVALIDARG);
        EXPECT_EQ(array->put_IthValue(-1, 1.0), E_INVALIDARG);
        ASSERT_EQ(array->put_Size(5), S_OK);  // growing keeps the values
        ASSERT_EQ(array->get_IthValue(2, &v), S_OK);
        EXPECT_EQ(v, 4.5);

        // The results writer keeps the factory and makes matrices from it.
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(CoGetClassObject(CLSID_PyranaRealMatrix, CLSCTX_ALL, nullptr, IID_IClassFactory,
                                   factory.put_void()),
                  S_OK);
        ComPtr<IRealMatrix> matrix;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IRealMatrix, matrix.put_void()), S_OK);
        ASSERT_EQ(matrix->put_Rows(2), S_OK);
        ASSERT_EQ(matrix->put_Columns(3), S_OK);
        const double columns[3][2] = {{1, 2}, {3, 4}, {5, 6}};
        for (int c = 0; c < 3; ++c) {
            ASSERT_EQ(matrix->put_ColumnValues(c, 2, columns[c]), S_OK);
        }
        EXPECT_EQ(matrix->put_ColumnValues(3, 2, columns[0]), E_INVALIDARG);
        EXPECT_EQ(matrix->put_ColumnValues(0, 3, columns[0]), E_INVALIDARG);
        double back[2] = {0, 0};
        ASSERT_EQ(matrix->GetColumnValues(1, 2, back), S_OK);
        EXPECT_EQ(back[0], 3);
        EXPECT_EQ(back[1], 4);
        // A matrix travels as VT_DISPATCH: it answers IDispatch with one identity.
        ComPtr<IDispatch> disp;
        ASSERT_EQ(matrix.QueryInterface(IID_IDispatch, &disp), S_OK);
        ComPtr<IUnknown> u1, u2;
        ASSERT_EQ(matrix.QueryInterface(IID_IUnknown, &u1), S_OK);
        ASSERT_EQ(disp.QueryInterface(IID_IUnknown, &u2), S_OK);
        EXPECT_EQ(u1.Get(), u2.Get());
        IUnknown* outer = u1.Get();
        ComPtr<IUnknown> aggregated;
        EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, aggregated.put_void()),
                  CLASS_E_NOAGGREGATION);
    }
    // The host's classes leave with it.
    ComPtr<IRealArrayDisp> none;
    EXPECT_TRUE(FAILED(CoCreateInstance(CLSID_PyranaRealArray, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IRealArrayDisp, none.put_void())));
}

TEST_F(HostObjects, PropertyContainerRoundTripsScalarsArraysAndMatrices) {
    Host host(MakeFluid({"methane", "ethane"}), {0.9, 0.1});
    ComPtr<IPropertyEnumerationRegistry> registry = host.PropertyRegistry();
    LONG scalarId = 0, arrayId = 0, matrixId = 0, unsetId = 0;
    platform::Bstr n1("Cricondenbar"), n2("TypeOfDataPoint"), n3("EnvelopeResultsMatrix"),
        n4("3PhaseP");
    registry->AddPropertyByName(n1.Get(), &scalarId);
    registry->AddPropertyByName(n2.Get(), &arrayId);
    registry->AddPropertyByName(n3.Get(), &matrixId);
    registry->AddPropertyByName(n4.Get(), &unsetId);

    ComPtr<IPhase> phase = host.NewPropertyContainer();
    ComPtr<IPropContainer> container;
    ASSERT_EQ(phase.QueryInterface(IID_IPropContainer, &container), S_OK);
    ComPtr<IPhase> back;
    ASSERT_EQ(container.QueryInterface(IID_IPhase, &back), S_OK);
    EXPECT_EQ(back.Get(), phase.Get());

    VARIANT value;
    VariantInit(&value);
    ASSERT_EQ(container->GetProperty(unsetId, &value), S_OK);
    EXPECT_EQ(V_VT(&value), VT_R8);
    EXPECT_EQ(V_R8(&value), -32767.0);

    V_VT(&value) = VT_R8;
    V_R8(&value) = 5123.5;
    ASSERT_EQ(container->SetProperty(scalarId, value), S_OK);
    VariantInit(&value);
    ASSERT_EQ(container->GetProperty(scalarId, &value), S_OK);
    EXPECT_EQ(V_VT(&value), VT_R8);
    EXPECT_EQ(V_R8(&value), 5123.5);

    ComPtr<IRealArrayDisp> array;
    ASSERT_EQ(CoCreateInstance(CLSID_PyranaRealArray, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IRealArrayDisp, array.put_void()),
              S_OK);
    array->put_Size(2);
    array->put_IthValue(1, 7.0);
    V_VT(&value) = VT_DISPATCH;
    V_DISPATCH(&value) = array.Get();
    ASSERT_EQ(container->SetProperty(arrayId, value), S_OK);  // the container takes its own ref

    ComPtr<IRealMatrix> matrix;
    ASSERT_EQ(CoCreateInstance(CLSID_PyranaRealMatrix, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IRealMatrix, matrix.put_void()),
              S_OK);
    matrix->put_Rows(5);
    matrix->put_Columns(1);
    const double column[5] = {100, 300, -1, 2, 0.5};
    matrix->put_ColumnValues(0, 5, column);
    ComPtr<IDispatch> matrixDisp;
    ASSERT_EQ(matrix.QueryInterface(IID_IDispatch, &matrixDisp), S_OK);
    V_VT(&value) = VT_DISPATCH;
    V_DISPATCH(&value) = matrixDisp.Get();
    ASSERT_EQ(container->SetProperty(matrixId, value), S_OK);
    array = nullptr;
    matrix = nullptr;
    matrixDisp = nullptr;

    // What comes back is the stored object itself, so a writer can reuse it.
    VARIANT got;
    VariantInit(&got);
    ASSERT_EQ(container->GetProperty(arrayId, &got), S_OK);
    ASSERT_EQ(V_VT(&got), VT_DISPATCH);
    ComPtr<IDispatch> gotDisp = ComPtr<IDispatch>::Adopt(V_DISPATCH(&got));
    ASSERT_EQ(gotDisp.QueryInterface(IID_IRealArrayDisp, &array), S_OK);
    double v = 0;
    ASSERT_EQ(array->get_IthValue(1, &v), S_OK);
    EXPECT_EQ(v, 7.0);

    VariantInit(&got);
    ASSERT_EQ(container->GetProperty(matrixId, &got), S_OK);
    ASSERT_EQ(V_VT(&got), VT_DISPATCH);
    gotDisp = ComPtr<IDispatch>::Adopt(V_DISPATCH(&got));
    ASSERT_EQ(gotDisp.QueryInterface(IID_IRealMatrix, &matrix), S_OK);
    int rows = 0, columns = 0;
    matrix->get_Rows(&rows);
    matrix->get_Columns(&columns);
    EXPECT_EQ(rows, 5);
    EXPECT_EQ(columns, 1);
    double read[5];
    ASSERT_EQ(matrix->GetColumnValues(0, 5, read), S_OK);
    EXPECT_TRUE(std::equal(read, read + 5, column));

    // IDs that were never registered are refused.
    EXPECT_EQ(container->GetProperty(9999, &got), E_INVALIDARG);
}

TEST_F(HostObjects, SaturationFlashThroughTheKindOnePhase) {
    Host host(MakeFluid({"methane", "n-butane"}), {0.7, 0.3});
    ComPtr<IPhaseCollection> phases = Collection(host);
    ComPtr<IFlashManager> flash = host.FlashManager();
    ComPtr<IPropManager> props = host.PropManager();
    const int lnPhiId = host.PropertyId("LnFugacityCoeff");
    for (double vf : {1.0, 0.0}) {
        ASSERT_EQ(FlashAt(flash.Get(), phases.Get(), -1, 3000.0, vf), S_OK) << vf;
        ComPtr<IPhase> kind1 = PhaseOf(phases.Get(), kPhaseKindSpecification, 0);
        const double t = Get(kind1.Get(), &IPhase::get_Temperature);
        EXPECT_GT(t, 150.0);
        EXPECT_LT(t, 425.0);
        ComPtr<IPhase> vapour = PhaseOf(phases.Get(), kPhaseKindVapour, 0);
        ComPtr<IPhase> liquid = PhaseOf(phases.Get(), kPhaseKindLiquid, 0);
        ComPtr<IPhase> liquid2 = PhaseOf(phases.Get(), kPhaseKindLiquid, 1);
        EXPECT_EQ(ActiveOf(vapour.Get()), 1);
        EXPECT_EQ(ActiveOf(liquid.Get()), 1);
        EXPECT_EQ(ActiveOf(liquid2.Get()), 0);
        EXPECT_NEAR(Get(vapour.Get(), &IPhase::get_Fraction), vf, 1e-9);
        // The phase that matches the feed is the one of the requested fraction.
        const std::vector<double> y = CompositionOf(vapour.Get());
        const std::vector<double> x = CompositionOf(liquid.Get());
        const std::vector<double>& feed = vf == 1.0 ? y : x;
        EXPECT_NEAR(feed[0], 0.7, 1e-8);
        EXPECT_GT(y[0], x[0]);
        // The phases are in equilibrium at T: equal fugacities, via CalcProperty.
        std::vector<double> lnf[2];
        int k = 0;
        for (IPhase* ph : {vapour.Get(), liquid.Get()}) {
            EXPECT_NEAR(Get(ph, &IPhase::get_Temperature), t, 1e-9);
            ASSERT_EQ(ph->ResetProperties(159), S_OK);
            ASSERT_EQ(props->CalcProperty(lnPhiId, ph), S_OK);
            ComPtr<IRealArrayDisp> lnPhi;
            ASSERT_EQ(ph->get_LnFugacityCoeff(lnPhi.put()), S_OK);
            const std::vector<double> comp = CompositionOf(ph);
            for (LONG i = 0; i < 2; ++i) {
                double value = 0;
                ASSERT_EQ(lnPhi->get_IthValue(i, &value), S_OK);
                lnf[k].push_back(value + std::log(comp[static_cast<size_t>(i)]));
            }
            ++k;
        }
        EXPECT_NEAR(lnf[0][0], lnf[1][0], 1e-7);
        EXPECT_NEAR(lnf[0][1], lnf[1][1], 1e-7);
    }
}

TEST_F(HostObjects, PtFlashFillsPhasesByKindWithTheAqueousLiquidSecond) {
    Host host(MakeFluid({"propane", "water"}), {0.5, 0.5});
    ComPtr<IPhaseCollection> phases = Collection(host);
    ComPtr<IFlashManager> flash = host.FlashManager();
    // Two liquids below the three-phase pressure: propane-rich first, aqueous second.
    ASSERT_EQ(FlashAt(flash.Get(), phases.Get(), 300.0, 1100.0, 0), S_OK);
    ComPtr<IPhase> vapour = PhaseOf(phases.Get(), kPhaseKindVapour, 0);
    ComPtr<IPhase> liquid = PhaseOf(phases.Get(), kPhaseKindLiquid, 0);
    ComPtr<IPhase> aqueous = PhaseOf(phases.Get(), kPhaseKindLiquid, 1);
    EXPECT_EQ(ActiveOf(vapour.Get()), 0);
    ASSERT_EQ(ActiveOf(liquid.Get()), 1);
    ASSERT_EQ(ActiveOf(aqueous.Get()), 1);
    EXPECT_GT(WaterIn(CompositionOf(aqueous.Get()), 1), 0.99);
    EXPECT_LT(WaterIn(CompositionOf(liquid.Get()), 1), 0.05);
    const double sum =
        Get(liquid.Get(), &IPhase::get_Fraction) + Get(aqueous.Get(), &IPhase::get_Fraction);
    EXPECT_NEAR(sum, 1.0, 1e-9);
    // The flash leaves H, S and V of each phase present.
    EXPECT_GT(Get(liquid.Get(), &IPhase::get_MolarVolume), 0.0);

    // Vapour and aqueous liquid above it.
    ASSERT_EQ(FlashAt(flash.Get(), phases.Get(), 300.0, 900.0, 0), S_OK);
    EXPECT_EQ(ActiveOf(vapour.Get()), 1);
    EXPECT_EQ(ActiveOf(liquid.Get()), 1);
    EXPECT_EQ(ActiveOf(aqueous.Get()), 0);
    EXPECT_GT(WaterIn(CompositionOf(liquid.Get()), 1), 0.99);
}

TEST_F(HostObjects, CalcPropertyComputesEachRegisteredPropertyFromThePhaseState) {
    Host host(MakeFluid({"propane", "n-butane"}), {0.6, 0.4});
    ComPtr<IPropManager> props = host.PropManager();
    ComPtr<IPhaseCollection> phases = Collection(host);
    ASSERT_EQ(phases->put_NumberOfPhases(1), S_OK);
    ComPtr<IDispatch> disp;
    ASSERT_EQ(phases->get_Phase(0, disp.put()), S_OK);
    ComPtr<IPhase> phase;
    ASSERT_EQ(disp.QueryInterface(IID_IPhase, &phase), S_OK);
    EXPECT_EQ(ActiveOf(phase.Get()), 1);
    EXPECT_EQ(Get(phase.Get(), &IPhase::get_Fraction), 1.0);
    EXPECT_EQ(CompositionOf(phase.Get()), host.feed());
    EXPECT_EQ(phases->get_Phase(1, disp.put()), E_INVALIDARG);

    // A composition put through the live array is what the property uses.
    ComPtr<IDispatch> compDisp;
    ASSERT_EQ(phase->get_CompositionObject(compDisp.put()), S_OK);
    ComPtr<IRealArrayDisp> comp;
    ASSERT_EQ(compDisp.QueryInterface(IID_IRealArrayDisp, &comp), S_OK);
    const double x[2] = {0.3, 0.7};
    comp->put_IthValue(0, x[0]);
    comp->put_IthValue(1, x[1]);
    const double t = 320.0, p = 500.0;
    phase->put_Pressure(p);
    phase->put_Temperature(t);

    const int ids[] = {host.PropertyId("Enthalpy"), host.PropertyId("Entropy"),
                       host.PropertyId("MolarVolume")};
    double value[2][3];
    int k = 0;
    for (int type : {kPhaseTypeVapour, kPhaseTypeLiquid}) {
        ASSERT_EQ(phase->put_PhaseType(type), S_OK);
        const thermo::PhaseProperties expected =
            host.calculator().Properties(t, p, x, thermo::Calculator::RootForPhaseType(type));
        ASSERT_TRUE(expected.ok);
        // As the utility asks: reset, compute one property, read it.
        HRESULT(STDMETHODCALLTYPE IPhase::*getters[3])
        (double*) = {&IPhase::get_Enthalpy, &IPhase::get_Entropy, &IPhase::get_MolarVolume};
        for (int j = 0; j < 3; ++j) {
            ASSERT_EQ(phase->ResetProperties(159), S_OK);
            ASSERT_EQ(props->CalcProperty(ids[j], phase.Get()), S_OK);
            value[k][j] = Get(phase.Get(), getters[j]);
        }
        EXPECT_NEAR(value[k][0], expected.h, 1e-9 * std::fabs(expected.h) + 1e-9);
        EXPECT_NEAR(value[k][1], expected.s, 1e-9 * std::fabs(expected.s) + 1e-9);
        EXPECT_NEAR(value[k][2], expected.root.v, 1e-12);
        ++k;
    }
    // Inside the two-root region the phase type picks the root.
    EXPECT_GT(value[0][2], 5 * value[1][2]);
    EXPECT_GT(value[0][0], value[1][0]);

    // A new composition, temperature or pressure is a new state: nothing of
    // the previous one is handed back.
    const double y[2] = {0.8, 0.2};
    comp->put_IthValue(0, y[0]);
    comp->put_IthValue(1, y[1]);
    for (const auto& [tt, pp] :
         {std::pair{t, p}, std::pair{t + 5.0, p}, std::pair{t + 5.0, 2 * p}}) {
        phase->put_Temperature(tt);
        phase->put_Pressure(pp);
        const thermo::PhaseProperties expected = host.calculator().Properties(
            tt, pp, y, thermo::Calculator::RootForPhaseType(kPhaseTypeLiquid));
        ASSERT_EQ(props->CalcProperty(ids[0], phase.Get()), S_OK);
        EXPECT_EQ(Get(phase.Get(), &IPhase::get_Enthalpy), expected.h);
        ASSERT_EQ(props->CalcProperty(ids[2], phase.Get()), S_OK);
        EXPECT_EQ(Get(phase.Get(), &IPhase::get_MolarVolume), expected.root.v);
    }
    comp->put_IthValue(0, x[0]);
    comp->put_IthValue(1, x[1]);
    phase->put_Temperature(t);
    phase->put_Pressure(p);

    // ln phi of each root is the model's, to the last bit; a composition the
    // model cannot take fails and leaves the phase's array as it was.
    const int lnPhiId = host.PropertyId("LnFugacityCoeff");
    for (int type : {kPhaseTypeVapour, kPhaseTypeLiquid}) {
        ASSERT_EQ(phase->put_PhaseType(type), S_OK);
        ASSERT_EQ(phase->ResetProperties(159), S_OK);
        ASSERT_EQ(props->CalcProperty(lnPhiId, phase.Get()), S_OK);
        const thermo::PhaseProperties expected =
            host.calculator().Properties(t, p, x, thermo::Calculator::RootForPhaseType(type));
        ComPtr<IRealArrayDisp> lnPhi;
        ASSERT_EQ(phase->get_LnFugacityCoeff(lnPhi.put()), S_OK);
        for (LONG i = 0; i < 2; ++i) {
            double v = 0;
            ASSERT_EQ(lnPhi->get_IthValue(i, &v), S_OK);
            EXPECT_EQ(v, expected.lnPhi[static_cast<size_t>(i)]);
        }
    }
    comp->put_IthValue(0, 0.0);
    comp->put_IthValue(1, 0.0);
    ComPtr<IRealArrayDisp> before;
    ASSERT_EQ(phase->get_LnFugacityCoeff(before.put()), S_OK);
    double kept = 0;
    ASSERT_EQ(before->get_IthValue(1, &kept), S_OK);
    EXPECT_EQ(props->CalcProperty(lnPhiId, phase.Get()), E_FAIL);
    ComPtr<IRealArrayDisp> after;
    ASSERT_EQ(phase->get_LnFugacityCoeff(after.put()), S_OK);
    double now = 0;
    ASSERT_EQ(after->get_IthValue(1, &now), S_OK);
    EXPECT_EQ(now, kept);
    comp->put_IthValue(0, x[0]);
    comp->put_IthValue(1, x[1]);

    // ResetProperties makes the computed values undefined again.
    ASSERT_EQ(phase->ResetProperties(159), S_OK);
    EXPECT_EQ(Get(phase.Get(), &IPhase::get_Enthalpy), -32767.0);
    EXPECT_EQ(Get(phase.Get(), &IPhase::get_MolarVolume), -32767.0);

    EXPECT_EQ(props->CalcProperty(host.PropertyId("Temperature"), phase.Get()), S_OK);
    EXPECT_EQ(props->CalcProperty(4711, phase.Get()), E_INVALIDARG);
    phase->put_Temperature(-32767.0);
    EXPECT_EQ(props->CalcProperty(ids[0], phase.Get()), E_INVALIDARG);
}

TEST_F(HostObjects, TemperatureSettingsBoundTheSaturationSearch) {
    Host host(MakeFluid({"propane", "n-butane"}), {0.5, 0.5});
    ComPtr<IFlashSettings> settings = host.FlashSettings();
    ComPtr<IPhaseCollection> phases = Collection(host);
    ComPtr<IFlashManager> flash = host.FlashManager();
    const int tId = host.PropertyId("Temperature");
    double tinit, lo, hi, delt, tol;
    ASSERT_EQ(settings->GetVariableSettings(tId, &tinit, &lo, &hi, &delt, &tol), S_OK);
    EXPECT_EQ(tinit, -32767.0);
    EXPECT_LT(lo, hi);

    ASSERT_EQ(FlashAt(flash.Get(), phases.Get(), -1, 1000.0, 1.0), S_OK);
    const double tSat = Get(PhaseOf(phases.Get(), 1, 0).Get(), &IPhase::get_Temperature);
    EXPECT_GT(tSat, 300.0);
    EXPECT_LT(tSat, 360.0);

    // Bounds that exclude the saturation temperature: the trivial split.
    ASSERT_EQ(settings->SetVariableSettings(tId, 250.0, 200.0, 260.0, delt, tol), S_OK);
    ASSERT_EQ(FlashAt(flash.Get(), phases.Get(), -1, 1000.0, 1.0), S_OK);
    ComPtr<IPhase> vapour = PhaseOf(phases.Get(), kPhaseKindVapour, 0);
    ComPtr<IPhase> liquid = PhaseOf(phases.Get(), kPhaseKindLiquid, 0);
    EXPECT_EQ(ActiveOf(vapour.Get()), 1);
    EXPECT_EQ(ActiveOf(liquid.Get()), 1);
    EXPECT_EQ(CompositionOf(vapour.Get()), CompositionOf(liquid.Get()));
    const double tTrivial = Get(PhaseOf(phases.Get(), 1, 0).Get(), &IPhase::get_Temperature);
    EXPECT_GE(tTrivial, 200.0);
    EXPECT_LE(tTrivial, 260.0);

    // Restored settings find the saturation point again.
    ASSERT_EQ(settings->SetVariableSettings(tId, tinit, lo, hi, delt, tol), S_OK);
    ASSERT_EQ(FlashAt(flash.Get(), phases.Get(), -1, 1000.0, 1.0), S_OK);
    EXPECT_NEAR(Get(PhaseOf(phases.Get(), 1, 0).Get(), &IPhase::get_Temperature), tSat, 1e-6);

    int mode = 0;
    ASSERT_EQ(settings->get_IntSetting(&mode), S_OK);
    EXPECT_EQ(mode, 3);
    ASSERT_EQ(settings->put_IntSetting(2), S_OK);
    ASSERT_EQ(settings->get_IntSetting(&mode), S_OK);
    EXPECT_EQ(mode, 2);
}

TEST_F(HostObjects, StabilityTestFindsTheAqueousLiquidOfAWetGasBelowItsWaterDewPoint) {
    const double p = 3000.0;
    // The hydrocarbon dew point of the gas without its water.
    double tDew = 0;
    {
        Host dry(MakeFluid({"methane", "propane", "n-hexane"}), {0.85, 0.1, 0.05});
        ComPtr<IPhaseCollection> phases = dry.NewPhaseCollection();
        ASSERT_EQ(FlashAt(dry.FlashManager().Get(), phases.Get(), -1, p, 1.0), S_OK);
        tDew = Get(PhaseOf(phases.Get(), 1, 0).Get(), &IPhase::get_Temperature);
        // At the dry gas's own dew point no further phase exists.
        ComPtr<IPhase> test = dry.NewPropertyContainer();
        ComPtr<IPhase> kind1 = PhaseOf(phases.Get(), 1, 0);
        kind1->put_Pressure(p);
        kind1->put_Temperature(tDew);
        ASSERT_EQ(
            dry.Companion()->StabilityTest(dry.FlashSettings().Get(), phases.Get(), test.Get(), 1,
                                           3, VARIANT_TRUE, dry.FlashManager().Get()),
            S_OK);
        int type = -1;
        ASSERT_EQ(test->get_PhaseType(&type), S_OK);
        EXPECT_NE(type, 4);
    }
    // With 2 % water the same temperature lies far below the water dew point.
    Host wet(MakeFluid({"methane", "propane", "n-hexane", "water"}),
             {0.85 * 0.98, 0.1 * 0.98, 0.05 * 0.98, 0.02});
    ComPtr<IPhaseCollection> phases = wet.NewPhaseCollection();
    ComPtr<IPhase> kind1 = PhaseOf(phases.Get(), 1, 0);
    kind1->put_Pressure(p);
    kind1->put_Temperature(tDew);
    ComPtr<IPhase> test = wet.NewPropertyContainer();
    ComPtr<IUnknown> companionUnknown;
    ASSERT_EQ(wet.FlashSettings()->get_Companion(companionUnknown.put()), S_OK);
    ComPtr<ISettingsCompanion> companion;
    ASSERT_EQ(companionUnknown.QueryInterface(IID_ISettingsCompanion, &companion), S_OK);
    ASSERT_EQ(companion->StabilityTest(wet.FlashSettings().Get(), phases.Get(), test.Get(), 1, 3,
                                       VARIANT_TRUE, wet.FlashManager().Get()),
              S_OK);
    int type = -1;
    ASSERT_EQ(test->get_PhaseType(&type), S_OK);
    EXPECT_EQ(type, 4);
    const std::vector<double> x = CompositionOf(test.Get());
    EXPECT_GT(x[3], 0.99);
    EXPECT_NEAR(std::accumulate(x.begin(), x.end(), 0.0), 1.0, 1e-9);
}

TEST_F(HostObjects, CompanionComesFromTheSettingsOrByItsClassIdentifier) {
    Host host(MakeFluid({"methane", "water"}), {0.9, 0.1}, objects::HostOptions{false, true});
    ComPtr<IUnknown> none;
    ASSERT_EQ(host.FlashSettings()->get_Companion(none.put()), S_OK);
    EXPECT_EQ(none.Get(), nullptr);

    ComPtr<ISettingsCompanion> companion;
    ASSERT_EQ(CoCreateInstance(CLSID_PyranaSettingsCompanion, nullptr, CLSCTX_INPROC_SERVER,
                               IID_ISettingsCompanion, companion.put_void()),
              S_OK);
    ComPtr<IPropertyRegistryClient> client;
    ASSERT_EQ(companion.QueryInterface(IID_IPropertyRegistryClient, &client), S_OK);
    ComPtr<IDispatch> registry;
    ASSERT_EQ(host.PropertyRegistry().QueryInterface(IID_IDispatch, &registry), S_OK);
    EXPECT_EQ(client->SetPropertyRegistry(registry.Get()), S_OK);

    // It works on this host's phases: water condenses from the gas at 300 K.
    ComPtr<IPhaseCollection> phases = host.NewPhaseCollection();
    ComPtr<IPhase> kind1 = PhaseOf(phases.Get(), 1, 0);
    kind1->put_Pressure(5000.0);
    kind1->put_Temperature(300.0);
    ComPtr<IPhase> test = host.NewPropertyContainer();
    ASSERT_EQ(companion->StabilityTest(host.FlashSettings().Get(), phases.Get(), test.Get(), 1, 3,
                                       VARIANT_TRUE, host.FlashManager().Get()),
              S_OK);
    int type = -1;
    test->get_PhaseType(&type);
    EXPECT_EQ(type, 4);
}

TEST_F(HostObjects, CompoundsReportCriticalConstantsIdsAndFamilies) {
    Host host(MakeFluid({"methane", "water", "methanol"}), {0.8, 0.1, 0.1});
    ComPtr<IPhaseCollection> phases = host.NewPhaseCollection();
    ComPtr<IDispatch> disp;
    ASSERT_EQ(phases->get_Compounds(disp.put()), S_OK);
    ComPtr<ICompoundCollection> compounds;
    ASSERT_EQ(disp.QueryInterface(IID_ICompoundCollection, &compounds), S_OK);
    LONG n = 0;
    ASSERT_EQ(compounds->get_NumberOfCompounds(&n), S_OK);
    ASSERT_EQ(n, 3);
    const int ids[] = {-1, 19, 29};
    for (LONG i = 0; i < n; ++i) {
        ComPtr<IDispatch> item;
        ASSERT_EQ(compounds->get_Compound(i, item.put()), S_OK);
        ComPtr<IBasicCompound> basic;
        ASSERT_EQ(item.QueryInterface(IID_IBasicCompound, &basic), S_OK);
        double tc = 0, pc = 0;
        ASSERT_EQ(basic->TC(-32767.0, -32767.0, eNoExtrapolation, &tc), S_OK);
        ASSERT_EQ(basic->PC(-32767.0, -32767.0, eNoExtrapolation, &pc), S_OK);
        EXPECT_EQ(tc, host.fluid().compound(static_cast<int>(i)).tc);
        EXPECT_EQ(pc, host.fluid().compound(static_cast<int>(i)).pc);
        ComPtr<ICompoundID> id;
        ASSERT_EQ(basic.QueryInterface(IID_ICompoundID, &id), S_OK);
        ComPtr<ICompoundFamily> family;
        ASSERT_EQ(id.QueryInterface(IID_ICompoundFamily, &family), S_OK);
        int value = 0, fam = -1;
        ASSERT_EQ(id->get_ID(&value), S_OK);
        ASSERT_EQ(family->get_Family(&fam), S_OK);
        if (ids[i] > 0) {
            EXPECT_EQ(value, ids[i]);
        }
        EXPECT_NE(fam, eSolid);
        platform::Bstr name;
        ASSERT_EQ(basic->get_Name(name.put()), S_OK);
        EXPECT_EQ(name.ToUtf8(), host.fluid().compound(static_cast<int>(i)).name);
    }
    ComPtr<IDispatch> item;
    EXPECT_EQ(compounds->get_Compound(3, item.put()), E_INVALIDARG);
}

TEST_F(HostObjects, GetPhaseRefusesUnknownKindsAndFlashRefusesBadConditions) {
    Host host(MakeFluid({"methane", "ethane"}), {0.5, 0.5});
    ComPtr<IPhaseCollection> phases = host.NewPhaseCollection();
    ComPtr<IDispatch> disp;
    EXPECT_EQ(phases->GetPhase(2, 0, disp.put()), E_INVALIDARG);
    EXPECT_EQ(phases->GetPhase(4, 2, disp.put()), E_INVALIDARG);
    EXPECT_EQ(phases->GetPhase(3, 1, disp.put()), E_INVALIDARG);
    ComPtr<IFlashManager> flash = host.FlashManager();
    EXPECT_EQ(FlashAt(flash.Get(), phases.Get(), 250.0, -5.0, 0), E_INVALIDARG);
    EXPECT_EQ(FlashAt(flash.Get(), phases.Get(), -1, 1000.0, 1.5), E_INVALIDARG);
    EXPECT_EQ(flash->Flash(nullptr), E_POINTER);
}

}  // namespace
}  // namespace pyrana::testing
