// The utility object: construction, connection to the host services,
// property-ID registration, workspace allocation and destruction, and the
// fixed answers of the bookkeeping methods.
#include "component/py_three_phase_envelope.h"

#include <exception>
#include <new>

#include "component/module.h"
#include "component/type_info.h"
#include "core/com_error.h"
#include "core/units.h"
#include "driver/envelope_calculation.h"
#include "ui/phase_envelope_dlg.h"

// ---------------------------------------------------------------------------
// Creation, reference counting, aggregation.

pyThreePhaseEnvelope::pyThreePhaseEnvelope(IUnknown* outer)
    : refCount_(0), controllingUnknown_(outer), inner_(this) {
    if (controllingUnknown_ == nullptr)
        controllingUnknown_ = &inner_;
    ModuleLock();
}

pyThreePhaseEnvelope::~pyThreePhaseEnvelope() {
    ModuleUnlock();
}

HRESULT pyThreePhaseEnvelope::CreateInstance(IUnknown* outer, IUnknown** object) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    pyThreePhaseEnvelope* p = new (std::nothrow) pyThreePhaseEnvelope(outer);
    if (p == nullptr)
        return E_OUTOFMEMORY;
    const HRESULT hr = p->FinalConstruct();
    if (FAILED(hr)) {
        delete p;
        return hr;
    }
    p->inner_.AddRef();
    *object = &p->inner_;
    return S_OK;
}

HRESULT pyThreePhaseEnvelope::InnerUnknown::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
        *ppv = static_cast<IUnknown*>(this);
    } else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IPYRUtility)) {
        *ppv = static_cast<IPYRUtility*>(owner_);
    } else if (IsEqualIID(riid, IID_INotifyChange)) {
        *ppv = static_cast<INotifyChange*>(owner_);
    } else {
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(*ppv)->AddRef();
    return S_OK;
}

ULONG pyThreePhaseEnvelope::InnerUnknown::AddRef() {
    return ++owner_->refCount_;
}

ULONG pyThreePhaseEnvelope::InnerUnknown::Release() {
    const ULONG count = --owner_->refCount_;
    if (count == 0) {
        owner_->refCount_ = 1;  // guards against re-entry while releasing
        owner_->FinalRelease();
        delete owner_;
    }
    return count;
}

HRESULT pyThreePhaseEnvelope::QueryInterface(REFIID riid, void** ppv) {
    return controllingUnknown_->QueryInterface(riid, ppv);
}

ULONG pyThreePhaseEnvelope::AddRef() {
    return controllingUnknown_->AddRef();
}

ULONG pyThreePhaseEnvelope::Release() {
    return controllingUnknown_->Release();
}

// ---------------------------------------------------------------------------
// IDispatch.

HRESULT pyThreePhaseEnvelope::GetTypeInfoCount(UINT* pctinfo) {
    return UtilityGetTypeInfoCount(pctinfo);
}

HRESULT pyThreePhaseEnvelope::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) {
    return UtilityGetTypeInfo(iTInfo, lcid, ppTInfo);
}

HRESULT pyThreePhaseEnvelope::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                            LCID lcid, DISPID* rgDispId) {
    return UtilityGetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId);
}

HRESULT pyThreePhaseEnvelope::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    return UtilityInvoke(static_cast<IPYRUtility*>(this), static_cast<INotifyChange*>(this),
                         dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo,
                         puArgErr);
}

// ---------------------------------------------------------------------------
// Construction and destruction of the object's state.

HRESULT pyThreePhaseEnvelope::FinalConstruct() {
    // Pointers and counts start null and zero (the state's own
    // initialisers); these start otherwise.
    ResetCalculationState();
    compColChanged = 1;
    compound19Index = -1;
    for (int32_t& id : propIds)
        id = kUndefinedInt;
    return S_OK;
}

void pyThreePhaseEnvelope::FinalRelease() {
    ReleaseEngines();
    SafeRelease(flashManager);
    SafeRelease(propManager);
    SafeRelease(flashSettings);
    SafeRelease(settingsCompanion);
    SafeRelease(phaseCollection);
    SafeRelease(appThermoProvider);
    SafeRelease(appComponents);
    ReleaseWorkspace();
}

// ---------------------------------------------------------------------------
// Connection to the host.

void pyThreePhaseEnvelope::ReleaseHostObjects() {
    SafeRelease(appThermoProvider);
    SafeRelease(propManager);
    SafeRelease(flashManager);
    SafeRelease(flashSettings);
    SafeRelease(settingsCompanion);
}

HRESULT pyThreePhaseEnvelope::SetThermo(IDispatch* pPropManager, IDispatch* pFlashManager,
                                        IDispatch* pAppThermoProvider, BSTR /*sAppName*/,
                                        LONG bUseAppThermo) {
    if (bUseAppThermo != 0) {
        useAppThermo = 1;
        SafeRelease(appThermoProvider);
        HRESULT hr = E_POINTER;
        if (pAppThermoProvider != nullptr) {
            hr = pAppThermoProvider->QueryInterface(IID_IAppThermoProvider,
                                                    reinterpret_cast<void**>(&appThermoProvider));
        }
        if (FAILED(hr)) {
            appThermoProvider = nullptr;
            return hr;
        }
        SafeRelease(appComponents);
        appThermoProvider->get_Components(&appComponents);
        int n = 0;
        if (appComponents != nullptr)
            appComponents->get_Count(&n);
        ReleaseWorkspace();
        AllocateWorkspace(n);
        return hr;
    }

    useAppThermo = 0;
    ReleaseHostObjects();
    try {
        if (pPropManager == nullptr || pFlashManager == nullptr)
            throw CPYCOMError(E_POINTER);
        CheckFailed(
            pPropManager->QueryInterface(IID_IPropManager, reinterpret_cast<void**>(&propManager)));
        CheckFailed(pFlashManager->QueryInterface(IID_IFlashManager,
                                                  reinterpret_cast<void**>(&flashManager)));
        platform::ComPtr<IPropManagerSettings> managerSettings;
        CheckOk(propManager->QueryInterface(IID_IPropManagerSettings, managerSettings.put_void()));
        platform::ComPtr<IUnknown> settingsObject;
        CheckOk(managerSettings->get_Settings(settingsObject.put()));
        if (settingsObject == nullptr)
            throw CPYCOMError(E_POINTER);
        CheckOk(settingsObject->QueryInterface(IID_IFlashSettings,
                                               reinterpret_cast<void**>(&flashSettings)));
        settingsObject = nullptr;
        managerSettings = nullptr;

        platform::ComPtr<IUnknown> companionObject;
        CheckFailed(flashSettings->get_Companion(companionObject.put()));
        if (companionObject == nullptr) {
            CheckFailed(CoCreateInstance(CLSID_PyranaSettingsCompanion, nullptr,
                                         CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER |
                                             CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                                         IID_ISettingsCompanion,
                                         reinterpret_cast<void**>(&settingsCompanion)));
        } else {
            CheckFailed(companionObject->QueryInterface(
                IID_ISettingsCompanion, reinterpret_cast<void**>(&settingsCompanion)));
        }
        return S_OK;
    } catch (const CPYCOMError&) {
    } catch (...) {
    }
    return E_FAIL;
}

HRESULT pyThreePhaseEnvelope::InitializePropertyIDs(IDispatch* pPropertyRegistry) {
    try {
        if (pPropertyRegistry == nullptr)
            throw CPYCOMError(E_POINTER);
        platform::ComPtr<IPropertyEnumerationRegistry> registry;
        CheckFailed(pPropertyRegistry->QueryInterface(IID_IPropertyEnumerationRegistry,
                                                      registry.put_void()));
        for (int i = 0; i < kNumPropertyIds; ++i) {
            const platform::Bstr name(kPropertyNames[i]);
            if (name.Get() == nullptr)
                throw CPYCOMError(E_OUTOFMEMORY);
            LONG id = kUndefinedInt;
            CheckOk(registry->AddPropertyByName(name.Get(), &id));
            propIds[i] = id;
        }
        registry = nullptr;

        if (useAppThermo == 0) {
            // The companion learns the registry too, so that its stability
            // test can name the properties it computes.
            if (settingsCompanion == nullptr)
                throw CPYCOMError(E_FAIL);
            platform::ComPtr<IPropertyRegistryClient> client;
            CheckOk(
                settingsCompanion->QueryInterface(IID_IPropertyRegistryClient, client.put_void()));
            if (client != nullptr)
                CheckOk(client->SetPropertyRegistry(pPropertyRegistry));
        }
        return S_OK;
    } catch (const CPYCOMError&) {
    } catch (...) {
    }
    return E_FAIL;
}

HRESULT pyThreePhaseEnvelope::ReleaseThermo() {
    return S_OK;
}

HRESULT pyThreePhaseEnvelope::Execute(BSTR /*sStreamName*/, BSTR /*sUserName*/,
                                      IPYRUtilityManager* pUtilityManager,
                                      IDispatch* pPhaseCollection, IDispatch* pPropContainer,
                                      LONG bRecalculate, LONG bCalculationOnly, LONG nProp,
                                      VARIANT /*pPropIDs*/) {
    EnvelopeCalculation calculation(this, this, &ShowOptionsDialog);
    return calculation.Run(pUtilityManager, pPhaseCollection, pPropContainer, bRecalculate,
                           bCalculationOnly, nProp);
}

// ---------------------------------------------------------------------------
// Identity and bookkeeping: fixed, minimal answers.

HRESULT pyThreePhaseEnvelope::GetName(BSTR* sName) {
    if (sName == nullptr)
        return E_POINTER;
    *sName = SysAllocString(L"PyranaThreePhaseEnvelope");
    return *sName != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT pyThreePhaseEnvelope::GetType(BSTR* sType) {
    if (sType == nullptr)
        return E_POINTER;
    *sType = SysAllocString(L"PhaseEnvelope");
    return *sType != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT pyThreePhaseEnvelope::GetSupportedProps(LONG* /*nProps*/, VARIANT* /*vPropNames*/,
                                                VARIANT* /*vPropTypes*/) {
    return S_OK;
}

HRESULT pyThreePhaseEnvelope::CheckRestriction(ICompoundCollection* /*pCompCol*/, LONG* bOK,
                                               BSTR* /*message*/) {
    if (bOK != nullptr)
        *bOK = 1;
    return S_OK;
}

HRESULT pyThreePhaseEnvelope::ChangedInUtility(LONG* Changed, LONG* nChanged,
                                               VARIANT* /*ChangedItems*/) {
    if (Changed != nullptr)
        *Changed = 0;
    if (nChanged != nullptr)
        *nChanged = 0;
    return S_OK;
}

HRESULT pyThreePhaseEnvelope::Save(BSTR* /*SaveInfo*/) {
    return S_OK;
}

HRESULT pyThreePhaseEnvelope::Recall(BSTR /*SaveInfo*/) {
    return S_OK;
}

HRESULT pyThreePhaseEnvelope::SetUnitSet(VARIANT /*vPropNames*/, VARIANT /*vPropUnits*/) {
    return S_OK;
}

HRESULT pyThreePhaseEnvelope::GetSupportedOption(IPYROption** /*pOption*/) {
    return S_OK;
}

HRESULT pyThreePhaseEnvelope::UseNotifyChange(LONG Use) {
    notifyChangeUsed = static_cast<uint8_t>(Use);
    return S_OK;
}

HRESULT pyThreePhaseEnvelope::HasModified(NotifyChange whatchanged) {
    if (whatchanged == CompColChanged)
        compColChanged = 1;
    return S_OK;
}
