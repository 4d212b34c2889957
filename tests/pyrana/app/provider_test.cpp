// The application-side provider, alone and against the host's COM objects:
// both paths to the same model must give the same answers.
#include <gtest/gtest.h>

#include <cmath>

#include "../objects/host_test_support.h"
#include "pyrana/app/provider.h"
#include "pyrana/objects/host.h"

namespace pyrana::testing {
namespace {

using platform::ComPtr;

VARIANT Real(double v) {
    VARIANT var;
    VariantInit(&var);
    V_VT(&var) = VT_R8;
    V_R8(&var) = v;
    return var;
}

double ScalarOf(IAppValue* value) {
    VARIANT var;
    VariantInit(&var);
    EXPECT_EQ(value->get_Value(&var), S_OK);
    EXPECT_EQ(V_VT(&var), VT_R8);
    return V_R8(&var);
}

std::vector<double> ArrayOf(const VARIANT& var) {
    EXPECT_EQ(V_VT(&var), VT_ARRAY | VT_R8);
    LONG lo = 0, hi = -1;
    SafeArrayGetLBound(V_ARRAY(&var), 1, &lo);
    SafeArrayGetUBound(V_ARRAY(&var), 1, &hi);
    std::vector<double> out;
    for (LONG i = lo; i <= hi; ++i) {
        double v = 0;
        SafeArrayGetElement(V_ARRAY(&var), &i, &v);
        out.push_back(v);
    }
    return out;
}

std::vector<double> ArrayOf(IAppValue* value) {
    VARIANT var;
    VariantInit(&var);
    EXPECT_EQ(value->get_Value(&var), S_OK);
    std::vector<double> out = ArrayOf(var);
    VariantClear(&var);
    return out;
}

template <class Getter>
ComPtr<IAppValue> ValueOf(Getter getter) {
    ComPtr<IAppValue> value;
    EXPECT_EQ(getter(value.put()), S_OK);
    return value;
}

// ln phi of an application phase from its ln f (f in kPa), as the utility turns one into the other.
std::vector<double> LnPhiOf(IAppPhase* phase) {
    VARIANT var;
    VariantInit(&var);
    EXPECT_EQ(phase->GetLnFugacity(&var), S_OK);
    std::vector<double> lnf = ArrayOf(var);
    VariantClear(&var);
    const std::vector<double> x =
        ArrayOf(ValueOf([&](IAppValue** v) { return phase->get_Composition(v); }).Get());
    const double p = ScalarOf(ValueOf([&](IAppValue** v) { return phase->get_Pressure(v); }).Get());
    for (size_t i = 0; i < lnf.size(); ++i) {
        lnf[i] -= std::log(x[i] * p);
    }
    return lnf;
}

std::vector<double> HostLnPhi(const objects::Host& host, IPhase* phase) {
    EXPECT_EQ(phase->ResetProperties(159), S_OK);
    EXPECT_EQ(host.PropManager()->CalcProperty(host.PropertyId("LnFugacityCoeff"), phase), S_OK);
    ComPtr<IRealArrayDisp> array;
    EXPECT_EQ(phase->get_LnFugacityCoeff(array.put()), S_OK);
    std::vector<double> out(static_cast<size_t>(host.size()));
    for (LONG i = 0; i < host.size(); ++i) {
        array->get_IthValue(i, &out[static_cast<size_t>(i)]);
    }
    return out;
}

void ExpectNear(const std::vector<double>& a, const std::vector<double>& b, double tol,
                const char* what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_NEAR(a[i], b[i], tol) << what << " [" << i << "]";
    }
}

using AppProvider = HostTest;

TEST_F(AppProvider, SaturationFlashMatchesTheHostObjects) {
    const thermo::Fluid fluid = MakeFluid({"methane", "n-butane"});
    const std::vector<double> feed = {0.7, 0.3};
    objects::Host host(fluid, feed);
    ComPtr<IAppThermoProvider> provider = app::CreateProvider(fluid, feed);
    const double p = 3000.0;
    for (double vf : {1.0, 0.0}) {
        ComPtr<IPhaseCollection> phases = host.NewPhaseCollection();
        ASSERT_EQ(FlashAt(host.FlashManager().Get(), phases.Get(), -1, p, vf), S_OK);
        double tHost = 0;
        PhaseOf(phases.Get(), 1, 0)->get_Temperature(&tHost);

        int status = -1;
        ASSERT_EQ(provider->FlashPVF(Real(p), Real(vf), &status), S_OK);
        ASSERT_EQ(status, 0);
        const double tC =
            ScalarOf(ValueOf([&](IAppValue** v) { return provider->get_Temperature(v); }).Get());
        EXPECT_NEAR(tC + 273.15, tHost, 1e-6);

        ComPtr<IAppPhase> vapour, liquid, liquid2;
        ASSERT_EQ(provider->get_VapourPhase(vapour.put()), S_OK);
        ASSERT_EQ(provider->get_LiquidPhase(liquid.put()), S_OK);
        ASSERT_EQ(provider->get_Liquid2Phase(liquid2.put()), S_OK);
        ASSERT_TRUE(vapour && liquid);
        EXPECT_FALSE(liquid2);
        ComPtr<IPhase> hostVapour = PhaseOf(phases.Get(), 3, 0);
        ComPtr<IPhase> hostLiquid = PhaseOf(phases.Get(), 4, 0);
        ExpectNear(
            ArrayOf(ValueOf([&](IAppValue** v) { return vapour->get_Composition(v); }).Get()),
            CompositionOf(hostVapour.Get()), 1e-9, "vapour composition");
        ExpectNear(
            ArrayOf(ValueOf([&](IAppValue** v) { return liquid->get_Composition(v); }).Get()),
            CompositionOf(hostLiquid.Get()), 1e-9, "liquid composition");
        // ln phi through both paths, the provider's ln f in kPa turned back.
        ExpectNear(LnPhiOf(vapour.Get()), HostLnPhi(host, hostVapour.Get()), 1e-9, "vapour ln phi");
        ExpectNear(LnPhiOf(liquid.Get()), HostLnPhi(host, hostLiquid.Get()), 1e-9, "liquid ln phi");
    }
}

TEST_F(AppProvider, EnginesPutStateOnPhasesAndReadLnFugacityLikeTheHostWorkingPhase) {
    const thermo::Fluid fluid = MakeFluid({"propane", "water"});
    const std::vector<double> feed = {0.5, 0.5};
    objects::Host host(fluid, feed);
    ComPtr<IAppThermoProvider> provider = app::CreateProvider(fluid, feed);
    int status = -1;
    ASSERT_EQ(provider->FlashTP(Real(26.85), Real(900.0), &status), S_OK);
    ASSERT_EQ(status, 0);
    ComPtr<IAppPhase> vapour, liquid;
    provider->get_VapourPhase(vapour.put());
    provider->get_LiquidPhase(liquid.put());
    ASSERT_TRUE(vapour && liquid);

    // A state of the engines' choosing: 310 K, 1200 kPa, x = (0.2, 0.8).
    const double x[2] = {0.2, 0.8};
    SAFEARRAY* sa = SafeArrayCreateVector(VT_R8, 0, 2);
    for (LONG i = 0; i < 2; ++i) {
        SafeArrayPutElement(sa, &i, const_cast<double*>(&x[i]));
    }
    VARIANT comp;
    VariantInit(&comp);
    V_VT(&comp) = VT_ARRAY | VT_R8;
    V_ARRAY(&comp) = sa;
    ComPtr<IPhase> working = host.NewPropertyContainer();
    ComPtr<IRealArrayDisp> hostComp;
    working->get_Composition(hostComp.put());
    hostComp->put_IthValue(0, x[0]);
    hostComp->put_IthValue(1, x[1]);
    working->put_Temperature(310.0);
    working->put_Pressure(1200.0);
    working->put_Active(1);
    int k = 0;
    for (IAppPhase* phase : {vapour.Get(), liquid.Get()}) {
        ASSERT_EQ(ValueOf([&](IAppValue** v) {
                      return phase->get_Temperature(v);
                  })->put_Value(Real(310.0 - 273.15)),
                  S_OK);
        ASSERT_EQ(
            ValueOf([&](IAppValue** v) { return phase->get_Pressure(v); })->put_Value(Real(1200.0)),
            S_OK);
        ASSERT_EQ(
            ValueOf([&](IAppValue** v) { return phase->get_Composition(v); })->put_Value(comp),
            S_OK);
        working->put_PhaseType(k == 0 ? kPhaseTypeVapour : kPhaseTypeLiquid);
        ExpectNear(LnPhiOf(phase), HostLnPhi(host, working.Get()), 1e-10,
                   k == 0 ? "vapour root" : "liquid root");
        ++k;
    }
    VariantClear(&comp);
}

TEST_F(AppProvider, PtFlashStatusesAndPhasesPresentOrNull) {
    const thermo::Fluid fluid = MakeFluid({"propane", "water"});
    ComPtr<IAppThermoProvider> provider = app::CreateProvider(fluid, {1.0, 1.0});
    ComPtr<IAppValue> z = ValueOf([&](IAppValue** v) { return provider->get_Composition(v); });
    ExpectNear(ArrayOf(z.Get()), {0.5, 0.5}, 0, "normalised feed");

    int status = -1;
    // Two liquids at 300 K and 1100 kPa, the aqueous one second.
    ASSERT_EQ(provider->FlashTP(Real(26.85), Real(1100.0), &status), S_OK);
    ASSERT_EQ(status, 0);
    ComPtr<IAppPhase> vapour, liquid, liquid2;
    provider->get_VapourPhase(vapour.put());
    provider->get_LiquidPhase(liquid.put());
    provider->get_Liquid2Phase(liquid2.put());
    EXPECT_FALSE(vapour);
    ASSERT_TRUE(liquid && liquid2);
    EXPECT_GT(ArrayOf(ValueOf([&](IAppValue** v) { return liquid2->get_Composition(v); }).Get())[1],
              0.99);
    const double f1 =
        ScalarOf(ValueOf([&](IAppValue** v) { return liquid->get_Fraction(v); }).Get());
    const double f2 =
        ScalarOf(ValueOf([&](IAppValue** v) { return liquid2->get_Fraction(v); }).Get());
    EXPECT_NEAR(f1 + f2, 1.0, 1e-9);
    EXPECT_LT(ScalarOf(ValueOf([&](IAppValue** v) { return provider->get_MolarVolume(v); }).Get()),
              0.2);

    // Bad arguments: status 1, phases gone.
    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(L"warm");
    ASSERT_EQ(provider->FlashTP(text, Real(1100.0), &status), S_OK);
    VariantClear(&text);
    EXPECT_EQ(status, 1);
    provider->get_LiquidPhase(liquid.put());
    EXPECT_FALSE(liquid);
    ASSERT_EQ(provider->FlashPVF(Real(1000.0), Real(1.5), &status), S_OK);
    EXPECT_EQ(status, 1);
}

TEST_F(AppProvider, FindThirdPhaseUsesTheTemperatureAndPressurePutOnTheProvider) {
    const thermo::Fluid fluid = MakeFluid({"methane", "water"});
    ComPtr<IAppThermoProvider> provider = app::CreateProvider(fluid, {0.9, 0.1});
    provider->put_Mode(3);
    ComPtr<IAppValue> t = ValueOf([&](IAppValue** v) { return provider->get_Temperature(v); });
    ComPtr<IAppValue> p = ValueOf([&](IAppValue** v) { return provider->get_Pressure(v); });
    ASSERT_EQ(p->put_Value(Real(5000.0)), S_OK);
    ASSERT_EQ(t->put_Value(Real(26.85)), S_OK);
    int phT = 7;
    VARIANT comp;
    VariantInit(&comp);
    ASSERT_EQ(provider->FindThirdPhase(&phT, &comp), S_OK);
    EXPECT_EQ(phT, 1);
    EXPECT_GT(ArrayOf(comp)[1], 0.99);
    // Far above the water dew point the gas is stable: nothing, the VARIANT untouched.
    ASSERT_EQ(t->put_Value(Real(400.0)), S_OK);
    phT = 7;
    ASSERT_EQ(provider->FindThirdPhase(&phT, &comp), S_OK);
    EXPECT_NE(phT, 1);
    EXPECT_NE(phT, 2);
    EXPECT_EQ(V_VT(&comp), VT_ARRAY | VT_R8);
    VariantClear(&comp);
}

TEST_F(AppProvider, ComponentsReportCelsiusCriticalTemperaturesAndState) {
    const thermo::Fluid fluid = MakeFluid({"methane", "water"});
    ComPtr<IAppThermoProvider> provider = app::CreateProvider(fluid, {0.9, 0.1});
    ComPtr<IAppComponentList> list;
    ASSERT_EQ(provider->get_Components(list.put()), S_OK);
    int count = 0;
    ASSERT_EQ(list->get_Count(&count), S_OK);
    ASSERT_EQ(count, 2);
    for (int i = 0; i < count; ++i) {
        VARIANT index;
        VariantInit(&index);
        V_VT(&index) = VT_I4;
        V_I4(&index) = i;
        ComPtr<IAppComponent> c;
        ASSERT_EQ(list->get_Item(index, c.put()), S_OK);
        const double tc =
            ScalarOf(ValueOf([&](IAppValue** v) { return c->get_CriticalTemperature(v); }).Get());
        const double pc =
            ScalarOf(ValueOf([&](IAppValue** v) { return c->get_CriticalPressure(v); }).Get());
        EXPECT_NEAR(tc + 273.15, fluid.compound(i).tc, 1e-12);
        EXPECT_EQ(pc, fluid.compound(i).pc);
        int state = 0, id = 0;
        VARIANT_BOOL solid = VARIANT_TRUE;
        c->get_State(&state);
        c->get_ID(&id);
        c->get_IsSolid(&solid);
        EXPECT_EQ(state, 200);
        EXPECT_EQ(solid, VARIANT_FALSE);
        EXPECT_EQ(id, fluid.compound(i).id);
    }
    VARIANT index;
    VariantInit(&index);
    V_VT(&index) = VT_I4;
    V_I4(&index) = 2;
    ComPtr<IAppComponent> none;
    EXPECT_EQ(list->get_Item(index, none.put()), E_INVALIDARG);
}

}  // namespace
}  // namespace pyrana::testing
