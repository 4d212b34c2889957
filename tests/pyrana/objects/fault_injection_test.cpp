// Fault injection: every host call of a saturation flash, failed in turn, is
// reported to the caller, crashes nothing and leaves no object alive.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "host_test_support.h"
#include "pyrana/objects/fault_injection.h"
#include "pyrana/objects/host.h"

namespace pyrana::testing {
namespace {

using objects::FaultPlan;
using objects::Host;
using platform::ComPtr;

// The saturation point as the utility asks for it: flash through the kind-1
// phase, then read each phase by kind and index with its properties. Every
// result is checked; the first failure is returned.
HRESULT SaturationPointCalls(const Host& host) {
    ComPtr<IPhaseCollection> phases = host.NewPhaseCollection();
    ComPtr<IPropManager> props = host.PropManager();
    HRESULT hr = FlashAt(host.FlashManager().Get(), phases.Get(), -1, 2000.0, 1.0);
    if (FAILED(hr)) {
        return hr;
    }
    const int ids[] = {host.PropertyId("Enthalpy"), host.PropertyId("Entropy"),
                       host.PropertyId("MolarVolume")};
    for (int kind : {kPhaseKindVapour, kPhaseKindLiquid}) {
        ComPtr<IDispatch> disp;
        ComPtr<IPhase> phase;
        hr = phases->GetPhase(kind, 0, disp.put());
        if (SUCCEEDED(hr))
            hr = disp.QueryInterface(IID_IPhase, &phase);
        int active = 0;
        if (SUCCEEDED(hr))
            hr = phase->get_Active(&active);
        if (FAILED(hr))
            return hr;
        if (active != 1)
            return E_FAIL;
        ComPtr<IRealArrayDisp> comp;
        hr = phase->get_Composition(comp.put());
        double fraction = 0;
        if (SUCCEEDED(hr))
            hr = phase->get_Fraction(&fraction);
        for (int id : ids) {
            if (SUCCEEDED(hr))
                hr = phase->ResetProperties(159);
            if (SUCCEEDED(hr))
                hr = props->CalcProperty(id, phase.Get());
        }
        double value = 0;
        if (SUCCEEDED(hr))
            hr = phase->get_Enthalpy(&value);
        for (LONG i = 0; i < 2 && SUCCEEDED(hr); ++i) {
            hr = comp->get_IthValue(i, &value);
        }
        if (FAILED(hr))
            return hr;
    }
    ComPtr<IDispatch> disp;
    ComPtr<IPhase> kind1;
    hr = phases->GetPhase(kPhaseKindSpecification, 0, disp.put());
    if (SUCCEEDED(hr))
        hr = disp.QueryInterface(IID_IPhase, &kind1);
    double t = 0;
    if (SUCCEEDED(hr))
        hr = kind1->get_Temperature(&t);
    return hr;
}

using FaultInjection = HostTest;

TEST_F(FaultInjection, EachCallOfASaturationFlashFailsInTurn) {
    long calls = 0;
    {
        Host host(MakeFluid({"methane", "n-butane"}), {0.8, 0.2});
        objects::ScopedFaultPlan counting(FaultPlan{});
        ASSERT_EQ(SaturationPointCalls(host), S_OK);
        calls = objects::HostCallCount();
        EXPECT_FALSE(objects::FaultInjected());
    }
    ASSERT_GT(calls, 20);
    for (long k = 1; k <= calls; ++k) {
        {
            Host host(MakeFluid({"methane", "n-butane"}), {0.8, 0.2});
            objects::ScopedFaultPlan plan(FaultPlan{k, "", E_OUTOFMEMORY});
            EXPECT_EQ(SaturationPointCalls(host), E_OUTOFMEMORY) << "call " << k;
            EXPECT_TRUE(objects::FaultInjected()) << "call " << k;
        }
        ASSERT_EQ(platform::LiveObjectCount(), 0)
            << "call " << k << ": " << platform::LiveObjectReport();
    }
}

TEST_F(FaultInjection, NamedOperationFailsOnItsFirstCallOnly) {
    Host host(MakeFluid({"methane", "n-butane"}), {0.8, 0.2});
    {
        objects::ScopedFaultPlan plan(FaultPlan{0, "IFlashManager::Flash", E_UNEXPECTED});
        EXPECT_EQ(SaturationPointCalls(host), E_UNEXPECTED);
        EXPECT_EQ(objects::InjectedOperation(), "IFlashManager::Flash");
        EXPECT_EQ(SaturationPointCalls(host), S_OK);
    }
    {
        objects::ScopedFaultPlan plan(FaultPlan{0, "IPropManager::CalcProperty", E_FAIL});
        EXPECT_EQ(SaturationPointCalls(host), E_FAIL);
    }
    {
        // A named operation is also counted on its own, without failing.
        objects::ScopedFaultPlan plan(FaultPlan{0, "", E_FAIL});
        objects::CountOperation("IFlashManager::Flash");
        EXPECT_EQ(SaturationPointCalls(host), S_OK);
        EXPECT_EQ(SaturationPointCalls(host), S_OK);
        EXPECT_EQ(objects::OperationCallCount(), 2);
        EXPECT_GT(objects::HostCallCount(), 2 * objects::OperationCallCount());
    }
}

TEST_F(FaultInjection, IsOffByDefaultAndCountsNothingThen) {
    Host host(MakeFluid({"methane", "n-butane"}), {0.8, 0.2});
    objects::SetFaultPlan(FaultPlan{});
    objects::ClearFaultPlan();
    ASSERT_EQ(SaturationPointCalls(host), S_OK);
    EXPECT_EQ(objects::HostCallCount(), 0);
}

// The profile counts every host call under its kind (an operation that does
// several jobs names the job), as many calls as the fault plan counts, and
// times the outermost calls: the flash, which does the work, costs most.
TEST_F(FaultInjection, ProfileTalliesCallsByKindAndTimesThem) {
    Host host(MakeFluid({"methane", "n-butane"}), {0.8, 0.2});
    EXPECT_TRUE(objects::StopHostCallProfile().empty());  // none running
    long planned = 0;
    {
        objects::ScopedFaultPlan plan(FaultPlan{0, "", E_FAIL});
        ASSERT_EQ(SaturationPointCalls(host), S_OK);
        planned = objects::HostCallCount();
    }
    objects::StartHostCallProfile();
    ASSERT_EQ(SaturationPointCalls(host), S_OK);
    const std::vector<objects::HostCallTally> tallies = objects::StopHostCallProfile();
    ASSERT_FALSE(tallies.empty());
    long calls = 0;
    std::map<std::string, long> byKind;
    for (size_t k = 0; k < tallies.size(); ++k) {
        calls += tallies[k].calls;
        byKind[tallies[k].kind] = tallies[k].calls;
        EXPECT_GE(tallies[k].seconds, 0.0);
        if (k > 0) {
            EXPECT_LE(tallies[k].seconds, tallies[k - 1].seconds);
        }
    }
    EXPECT_EQ(calls, planned);
    EXPECT_EQ(byKind["IFlashManager::Flash (saturation)"], 1);
    EXPECT_EQ(byKind["IPropManager::CalcProperty (H, S or V)"], 6);
    EXPECT_EQ(byKind["IPhase::ResetProperties"], 6);
    EXPECT_EQ(byKind.count("IFlashManager::Flash"), 0u);
    EXPECT_EQ(tallies.front().kind, "IFlashManager::Flash (saturation)");
    // Stopped: calls are no longer tallied.
    ASSERT_EQ(SaturationPointCalls(host), S_OK);
    EXPECT_TRUE(objects::StopHostCallProfile().empty());
}

}  // namespace
}  // namespace pyrana::testing
