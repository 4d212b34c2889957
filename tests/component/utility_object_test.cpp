// The utility object against recording doubles of the host: construction,
// connection (both thermodynamic paths), property-ID registration, the
// workspace, the bookkeeping methods, aggregation and release.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "component/module.h"
#include "component/py_three_phase_envelope.h"
#include "platform/com.h"
#include "tests/support/fake_com.h"
#include "tests/support/fake_host_services.h"

namespace {

// A companion class offered in process, as the host does, for the case where
// the settings hand out none.
class CompanionFactory : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** ppv) override {
        ++created;
        return companion.QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    ULONG refs = 1;
    int created = 0;
    FakeCompanion companion;
};

// ---------------------------------------------------------------------------
// The object under test, created through its own creation function.

class UtilityTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        ASSERT_EQ(ModuleLockCount(), 0);
        IUnknown* unknown = nullptr;
        ASSERT_EQ(pyThreePhaseEnvelope::CreateInstance(nullptr, &unknown), S_OK);
        ASSERT_EQ(unknown->QueryInterface(IID_IPYRUtility, reinterpret_cast<void**>(&utility)),
                  S_OK);
        unknown->Release();
        object = static_cast<pyThreePhaseEnvelope*>(utility);
    }
    void TearDown() override {
        if (utility != nullptr) {
            EXPECT_EQ(utility->Release(), 0u);
        }
        EXPECT_EQ(ModuleLockCount(), 0);
        CoUninitialize();
    }
    HRESULT ConnectHost(HostServices& h) {
        return utility->SetThermo(h.propManager.AsDispatch(), h.flashManager.AsDispatch(), nullptr,
                                  nullptr, 0);
    }
    void ReleaseUtility() {
        EXPECT_EQ(utility->Release(), 0u);
        utility = nullptr;
        object = nullptr;
    }

    IPYRUtility* utility = nullptr;
    pyThreePhaseEnvelope* object = nullptr;
};

TEST_F(UtilityTest, ConstructionSetsTheInitialValues) {
    EXPECT_EQ(object->propManager, nullptr);
    EXPECT_EQ(object->settingsCompanion, nullptr);
    EXPECT_EQ(object->twoPhaseSkip, nullptr);
    EXPECT_EQ(object->unknowns, nullptr);
    EXPECT_EQ(object->numbUnknowns, -32767);
    EXPECT_EQ(object->betaMode, 3);
    EXPECT_EQ(object->vapFrac, -32767.0);
    EXPECT_EQ(object->liq2Frac, -32767.0);
    EXPECT_EQ(object->compColChanged, 1);
    EXPECT_EQ(object->notifyChangeUsed, 0);
    EXPECT_EQ(object->ncomp, 0);
    EXPECT_EQ(object->compound19Index, -1);
    EXPECT_EQ(object->initPkpa, -32767.0);
    for (const ThreePhasePoint& p : object->threePhasePoints) {
        EXPECT_EQ(p.Patm, -32767.0);
        EXPECT_EQ(p.V, -32767.0);
    }
    for (int32_t id : object->propIds)
        EXPECT_EQ(id, -32767);
    EXPECT_EQ(object->pointStore, nullptr);
    EXPECT_EQ(object->twoPhaseTracer, nullptr);
    EXPECT_EQ(object->useAppThermo, 0);
    EXPECT_EQ(ModuleLockCount(), 1);
}

TEST_F(UtilityTest, SetThermoOnTheHostPathKeepsOneReferenceToEachService) {
    HostServices h;
    ASSERT_EQ(ConnectHost(h), S_OK);
    EXPECT_EQ(object->useAppThermo, 0);
    EXPECT_EQ(h.propManager.refs, 2u);
    EXPECT_EQ(h.flashManager.refs, 2u);
    EXPECT_EQ(h.settings.refs, 2u);  // the intermediate settings object was released
    EXPECT_EQ(h.companion.refs, 2u);
    EXPECT_NE(object->flashSettings, nullptr);
    EXPECT_NE(object->settingsCompanion, nullptr);
    EXPECT_EQ(object->pointStore, nullptr) << "the workspace is allocated by Execute";
    ReleaseUtility();
    h.ExpectAllReleased();
}

TEST_F(UtilityTest, ReconnectingReleasesEachHeldServiceOnce) {
    HostServices first;
    HostServices second;
    ASSERT_EQ(ConnectHost(first), S_OK);
    ASSERT_EQ(ConnectHost(second), S_OK);
    first.ExpectAllReleased();
    EXPECT_EQ(second.propManager.refs, 2u);
    EXPECT_EQ(second.companion.refs, 2u);
    ReleaseUtility();
    second.ExpectAllReleased();
}

TEST_F(UtilityTest, SetThermoCreatesACompanionWhenTheSettingsHandNoneOut) {
    HostServices h(/*withCompanion=*/false);
    CompanionFactory factory;
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_PyranaSettingsCompanion, &factory, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    EXPECT_EQ(ConnectHost(h), S_OK);
    EXPECT_EQ(factory.created, 1);
    EXPECT_EQ(object->settingsCompanion, static_cast<ISettingsCompanion*>(&factory.companion));
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    ReleaseUtility();
    EXPECT_EQ(factory.companion.refs, 1u);
    EXPECT_EQ(factory.refs, 1u);
    h.ExpectAllReleased();
}

TEST_F(UtilityTest, FailingCompanionCreationReturnsEFailAndKeepsTheEarlierServices) {
    HostServices h(/*withCompanion=*/false);  // and no companion class offered
    EXPECT_EQ(ConnectHost(h), E_FAIL);
    EXPECT_NE(object->propManager, nullptr);
    EXPECT_NE(object->flashManager, nullptr);
    EXPECT_NE(object->flashSettings, nullptr);
    EXPECT_EQ(object->settingsCompanion, nullptr);
    ReleaseUtility();
    h.ExpectAllReleased();
}

TEST_F(UtilityTest, SetThermoFailsWhenTheFlashManagerIsNotOne) {
    HostServices h;
    h.flashManager.refused.push_back(IID_IFlashManager);
    EXPECT_EQ(ConnectHost(h), E_FAIL);
    EXPECT_NE(object->propManager, nullptr);
    EXPECT_EQ(object->flashManager, nullptr);
    ReleaseUtility();
    h.ExpectAllReleased();
}

TEST_F(UtilityTest, InitializePropertyIDsRegistersTheTwentyFourNamesInOrder) {
    HostServices h;
    ASSERT_EQ(ConnectHost(h), S_OK);
    ASSERT_EQ(utility->InitializePropertyIDs(h.registry.AsDispatch()), S_OK);
    const std::vector<std::wstring> expected = {L"Temperature",
                                                L"Pressure",
                                                L"Enthalpy",
                                                L"Entropy",
                                                L"MolarVolume",
                                                L"LnFugacityCoeff",
                                                L"EnvelopeResultsMatrix",
                                                L"TypeOfDataPoint",
                                                L"ColumnName",
                                                L"2PhaseCriticalP",
                                                L"2PhaseCriticalT",
                                                L"3PhaseCriticalP",
                                                L"3PhaseCriticalT",
                                                L"3PhaseP",
                                                L"3PhaseT",
                                                L"Cricondentherm",
                                                L"Cricondenbar",
                                                L"PTCurve",
                                                L"PHCurve",
                                                L"PSCurve",
                                                L"PVCurve",
                                                L"THCurve",
                                                L"TSCurve",
                                                L"TVCurve"};
    EXPECT_EQ(h.registry.names, expected);
    for (int i = 0; i < kNumPropertyIds; ++i)
        EXPECT_EQ(object->propIds[i], 1001 + i);
    EXPECT_EQ(h.companion.registryCalls, 1);
    EXPECT_EQ(h.companion.registry, h.registry.AsDispatch());
    EXPECT_EQ(h.registry.refs, 1u) << "the registry is not kept";
    ReleaseUtility();
    h.ExpectAllReleased();
}

TEST_F(UtilityTest, InitializePropertyIDsFailsAfterStoringAllIdsWhenTheCompanionIsNoClient) {
    HostServices h;
    h.companion.refused.push_back(IID_IPropertyRegistryClient);
    ASSERT_EQ(ConnectHost(h), S_OK);
    EXPECT_EQ(utility->InitializePropertyIDs(h.registry.AsDispatch()), E_FAIL);
    EXPECT_EQ(object->propIds[kPropTVCurve], 1024);
    EXPECT_EQ(h.registry.refs, 1u);
    ReleaseUtility();
    h.ExpectAllReleased();
}

TEST_F(UtilityTest, InitializePropertyIDsBeforeAnyConnectionRegistersThenFails) {
    FakeRegistry registry;
    EXPECT_EQ(utility->InitializePropertyIDs(registry.AsDispatch()), E_FAIL);
    EXPECT_EQ(registry.names.size(), 24u);
    EXPECT_EQ(registry.refs, 1u);
}

TEST_F(UtilityTest, AFailingRegistrationKeepsTheIdsStoredBeforeIt) {
    HostServices h;
    h.registry.failAt = 5;  // "LnFugacityCoeff"
    ASSERT_EQ(ConnectHost(h), S_OK);
    EXPECT_EQ(utility->InitializePropertyIDs(h.registry.AsDispatch()), E_FAIL);
    EXPECT_EQ(object->propIds[kPropMolarVolume], 1005);
    EXPECT_EQ(object->propIds[kPropLnFugacityCoeff], -32767);
    EXPECT_EQ(h.registry.refs, 1u);
    ReleaseUtility();
    h.ExpectAllReleased();
}

TEST_F(UtilityTest, WorkspaceOfNCompoundsHasItsSizesAndCleanTails) {
    HostServices h;
    ASSERT_EQ(ConnectHost(h), S_OK);
    ASSERT_EQ(utility->InitializePropertyIDs(h.registry.AsDispatch()), S_OK);
    object->ReleaseWorkspace();
    object->AllocateWorkspace(4);
    EXPECT_EQ(object->ncomp, 4);
    EXPECT_EQ(object->compound19Index, -1);
    EXPECT_EQ(object->numbUnknowns, -32767);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(object->compFamily[i], 2);
    EXPECT_EQ(object->twoPhaseSkip[4], 0);
    EXPECT_EQ(object->twoPhaseSkip[5], 0);
    for (int i = 8; i < 11; ++i)
        EXPECT_EQ(object->threePhaseSkip[i], 0);
    ASSERT_NE(object->twoPhaseTracer, nullptr);
    EXPECT_EQ(object->twoPhaseTracer->ncomp, 4);
    EXPECT_EQ(object->twoPhaseTracer->n, 6);
    ASSERT_NE(object->threePhaseTracer, nullptr);
    EXPECT_EQ(object->threePhaseTracer->neq, 11);
    EXPECT_EQ(object->threePhaseTracer->idxLnBeta, 10);
    ASSERT_NE(object->pointStore, nullptr);
    int32_t points = -1;
    int32_t columns = -1;
    object->pointStore->GetNumPoints(&points, 0);
    object->pointStore->GetNumColumns(&columns, 0);
    EXPECT_EQ(points, 0);
    EXPECT_EQ(columns, 5);

    // A second allocation replaces the engines and the store with new ones.
    object->pointStore->SetNumPoints(7, 0);
    object->ReleaseWorkspace();
    object->AllocateWorkspace(2);
    object->pointStore->GetNumPoints(&points, 0);
    EXPECT_EQ(points, 0);
    EXPECT_EQ(object->twoPhaseTracer->ncomp, 2);
    ReleaseUtility();
    h.ExpectAllReleased();
}

TEST_F(UtilityTest, WorkspaceOfNoCompoundsHasOnlyTheFixedTails) {
    object->AllocateWorkspace(0);
    EXPECT_EQ(object->ncomp, 0);
    EXPECT_EQ(object->twoPhaseSkip[0], 0);
    EXPECT_EQ(object->twoPhaseSkip[1], 0);
    EXPECT_EQ(object->threePhaseSkip[0], 0);
    EXPECT_EQ(object->threePhaseSkip[2], 0);
    EXPECT_EQ(object->twoPhaseTracer->n, 2);
    EXPECT_EQ(object->threePhaseTracer->neq, 3);
}

TEST_F(UtilityTest, ReleasingTheWorkspaceTwiceLeavesEveryArrayNull) {
    object->AllocateWorkspace(3);
    object->ReleaseWorkspace();
    object->ReleaseWorkspace();
    EXPECT_EQ(object->yVap, nullptr);
    EXPECT_EQ(object->feedComp, nullptr);
    EXPECT_EQ(object->hostComp, nullptr);
    EXPECT_EQ(object->twoPhaseSkip, nullptr);
    EXPECT_EQ(object->threePhaseSkip, nullptr);
    EXPECT_EQ(object->compID, nullptr);
    EXPECT_EQ(object->compFamily, nullptr);
    EXPECT_EQ(object->critPkpa, nullptr);
    EXPECT_NE(object->pointStore, nullptr) << "the engines and the store stay";
    EXPECT_NE(object->twoPhaseTracer, nullptr);
}

// ---------------------------------------------------------------------------
// The application-side path.

class FakeComponentList : public FakeObject<IAppComponentList> {
  public:
    HRESULT STDMETHODCALLTYPE get_Count(int* n) override {
        *n = count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT, IAppComponent**) override { return E_NOTIMPL; }
    int count = 3;
};

class FakeProvider : public FakeObject<IAppThermoProvider> {
  public:
    HRESULT STDMETHODCALLTYPE get_VapourPhase(IAppPhase**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_LiquidPhase(IAppPhase**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Liquid2Phase(IAppPhase**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Components(IAppComponentList** c) override {
        list.AddRef();
        *c = &list;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Temperature(IAppValue**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Pressure(IAppValue**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Enthalpy(IAppValue**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Entropy(IAppValue**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_MolarVolume(IAppValue**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Composition(IAppValue**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FlashTP(VARIANT, VARIANT, int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FlashPVF(VARIANT, VARIANT, int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_Mode(int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindThirdPhase(int*, VARIANT*) override { return E_NOTIMPL; }
    FakeComponentList list;
};

TEST_F(UtilityTest, SetThermoOnTheApplicationPathSizesTheWorkspace) {
    FakeProvider provider;
    ASSERT_EQ(utility->SetThermo(nullptr, nullptr, provider.AsDispatch(), nullptr, 1), S_OK);
    EXPECT_EQ(object->useAppThermo, 1);
    EXPECT_EQ(object->ncomp, 3);
    EXPECT_NE(object->feedComp, nullptr);
    EXPECT_NE(object->pointStore, nullptr);
    EXPECT_EQ(provider.refs, 2u);
    EXPECT_EQ(provider.list.refs, 2u);

    // Again: the old references are released before new ones are taken.
    provider.list.count = 5;
    ASSERT_EQ(utility->SetThermo(nullptr, nullptr, provider.AsDispatch(), nullptr, 1), S_OK);
    EXPECT_EQ(object->ncomp, 5);
    EXPECT_EQ(provider.refs, 2u);
    EXPECT_EQ(provider.list.refs, 2u);
    ReleaseUtility();
    EXPECT_EQ(provider.refs, 1u);
    EXPECT_EQ(provider.list.refs, 1u);
}

TEST_F(UtilityTest, AFailedProviderQueryIsReturnedAndSizesNothing) {
    FakeProvider provider;
    provider.refused.push_back(IID_IAppThermoProvider);
    EXPECT_EQ(utility->SetThermo(nullptr, nullptr, provider.AsDispatch(), nullptr, 1),
              E_NOINTERFACE);
    EXPECT_EQ(object->useAppThermo, 1);
    EXPECT_EQ(object->appThermoProvider, nullptr);
    EXPECT_EQ(object->pointStore, nullptr);
    EXPECT_EQ(provider.list.refs, 1u);
}

// ---------------------------------------------------------------------------
// Identity and bookkeeping.

TEST_F(UtilityTest, NameAndTypeAreFreshStringsOnEveryCall) {
    BSTR a = nullptr;
    BSTR b = nullptr;
    ASSERT_EQ(utility->GetName(&a), S_OK);
    ASSERT_EQ(utility->GetName(&b), S_OK);
    EXPECT_NE(a, b);
    EXPECT_EQ(std::wstring(a, SysStringLen(a)), L"PyranaThreePhaseEnvelope");
    EXPECT_EQ(std::wstring(b, SysStringLen(b)), L"PyranaThreePhaseEnvelope");
    SysFreeString(a);
    SysFreeString(b);
    BSTR t = nullptr;
    ASSERT_EQ(utility->GetType(&t), S_OK);
    EXPECT_EQ(std::wstring(t, SysStringLen(t)), L"PhaseEnvelope");
    SysFreeString(t);
}

TEST_F(UtilityTest, BookkeepingMethodsGiveFixedAnswersAndLeaveOutputsAlone) {
    LONG ok = 0;
    BSTR message = reinterpret_cast<BSTR>(0x1);  // must not be written
    EXPECT_EQ(utility->CheckRestriction(nullptr, &ok, &message), S_OK);
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(message, reinterpret_cast<BSTR>(0x1));

    LONG changed = 7;
    LONG nChanged = 7;
    VARIANT items;
    VariantInit(&items);
    items.vt = VT_I4;
    items.lVal = 42;
    EXPECT_EQ(utility->ChangedInUtility(&changed, &nChanged, &items), S_OK);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(nChanged, 0);
    EXPECT_EQ(items.lVal, 42);

    LONG nProps = 9;
    VARIANT names;
    VariantInit(&names);
    EXPECT_EQ(utility->GetSupportedProps(&nProps, &names, &names), S_OK);
    EXPECT_EQ(nProps, 9);
    EXPECT_EQ(names.vt, VT_EMPTY);

    IPYROption* option = reinterpret_cast<IPYROption*>(0x2);
    EXPECT_EQ(utility->GetSupportedOption(&option), S_OK);
    EXPECT_EQ(option, reinterpret_cast<IPYROption*>(0x2));

    BSTR saved = nullptr;
    EXPECT_EQ(utility->Save(&saved), S_OK);
    EXPECT_EQ(saved, nullptr);
    platform::Bstr text(L"whatever the host kept");
    EXPECT_EQ(utility->Recall(text.Get()), S_OK);
    VARIANT empty;
    VariantInit(&empty);
    EXPECT_EQ(utility->SetUnitSet(empty, empty), S_OK);
    EXPECT_EQ(utility->ReleaseThermo(), S_OK);
    EXPECT_EQ(object->compColChanged, 1);
    EXPECT_EQ(object->notifyChangeUsed, 0);
}

TEST_F(UtilityTest, NotificationsSetOnlyTheirFlags) {
    INotifyChange* notify = nullptr;
    ASSERT_EQ(utility->QueryInterface(IID_INotifyChange, reinterpret_cast<void**>(&notify)), S_OK);
    object->compColChanged = 0;
    for (NotifyChange c : {NothingChanged, IPChanged, CompoundsChanged}) {
        EXPECT_EQ(notify->HasModified(c), S_OK);
        EXPECT_EQ(object->compColChanged, 0);
    }
    EXPECT_EQ(notify->HasModified(CompColChanged), S_OK);
    EXPECT_EQ(object->compColChanged, 1);
    EXPECT_EQ(notify->HasModified(CompColChanged), S_OK);
    EXPECT_EQ(object->compColChanged, 1);
    EXPECT_EQ(notify->UseNotifyChange(1), S_OK);
    EXPECT_EQ(object->notifyChangeUsed, 1);
    notify->Release();
}

TEST_F(UtilityTest, ExecuteWithoutRecalculationTouchesNothing) {
    VARIANT none;
    VariantInit(&none);
    EXPECT_EQ(utility->Execute(nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0, none), S_OK);
    EXPECT_EQ(object->pointStore, nullptr);
}

TEST_F(UtilityTest, AnswersItsTwoInterfacesAndDispatchButNothingElse) {
    void* p = nullptr;
    EXPECT_EQ(utility->QueryInterface(IID_IDispatch, &p), S_OK);
    EXPECT_EQ(p, static_cast<void*>(utility));
    static_cast<IUnknown*>(p)->Release();
    EXPECT_EQ(utility->QueryInterface(IID_IClassFactory, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(utility->QueryInterface(IID_IPhase, &p), E_NOINTERFACE);
}

// ---------------------------------------------------------------------------
// Aggregation: the inner object's interfaces delegate to the outer unknown.

class OuterUnknown : public IUnknown {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        ++queries;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        return inner->QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    IUnknown* inner = nullptr;
    ULONG refs = 1;
    int queries = 0;
};

TEST(UtilityAggregation, InterfacesDelegateReferenceCountsToTheOuterObject) {
    OuterUnknown outer;
    ASSERT_EQ(pyThreePhaseEnvelope::CreateInstance(&outer, &outer.inner), S_OK);
    IPYRUtility* utility = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IPYRUtility, reinterpret_cast<void**>(&utility)), S_OK);
    EXPECT_EQ(outer.refs, 2u) << "the inner interface counts on the outer object";
    IUnknown* viaInner = nullptr;
    ASSERT_EQ(utility->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaInner)), S_OK);
    EXPECT_EQ(viaInner, static_cast<IUnknown*>(&outer));
    viaInner->Release();
    utility->Release();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(ModuleLockCount(), 1);
    EXPECT_EQ(outer.inner->Release(), 0u);
    EXPECT_EQ(ModuleLockCount(), 0);
}

}  // namespace
