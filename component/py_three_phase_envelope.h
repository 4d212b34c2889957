// The utility object: the one COM class of the module. The host creates it
// through its class factory, connects it to its thermodynamic services with
// SetThermo, hands it the property registry with InitializePropertyIDs and
// asks it to calculate with Execute. Between calls it owns everything a
// calculation needs: the host connections, the per-compound working arrays,
// the compound data, the two engine objects, the point store and the
// registered property IDs.
//
// Single-threaded (apartment) object: reference counting without
// interlocking. It can be created on its own or as the inner object of an
// aggregate; its IUnknown then delegates to the outer object's.
#pragma once

#include <cstdint>

#include "core/envelope_point_store.h"
#include "driver/utility_state.h"
#include "engine/three_phase_tracer.h"
#include "engine/two_phase_tracer.h"
#include "host/interfaces.h"
#include "platform/com.h"

class pyThreePhaseEnvelope final : public IPYRUtility, public INotifyChange, public UtilityState {
  public:
    // Creates an object holding one module lock; outer is the controlling
    // unknown of an aggregate or null. On success *object holds the
    // non-delegating IUnknown with one reference.
    static HRESULT CreateInstance(IUnknown* outer, IUnknown** object);

    // IUnknown (delegating to the controlling unknown).
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch, through the type library (E_NOTIMPL where no type library
    // service exists).
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                            LCID lcid, DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // IPYRUtility.
    HRESULT STDMETHODCALLTYPE GetName(BSTR* sName) override;
    HRESULT STDMETHODCALLTYPE GetType(BSTR* sType) override;
    HRESULT STDMETHODCALLTYPE GetSupportedProps(LONG* nProps, VARIANT* vPropNames,
                                                VARIANT* vPropTypes) override;
    HRESULT STDMETHODCALLTYPE SetThermo(IDispatch* pPropManager, IDispatch* pFlashManager,
                                        IDispatch* pAppThermoProvider, BSTR sAppName,
                                        LONG bUseAppThermo) override;
    HRESULT STDMETHODCALLTYPE InitializePropertyIDs(IDispatch* pPropertyRegistry) override;
    HRESULT STDMETHODCALLTYPE CheckRestriction(ICompoundCollection* pCompCol, LONG* bOK,
                                               BSTR* message) override;
    HRESULT STDMETHODCALLTYPE Execute(BSTR sStreamName, BSTR sUserName,
                                      IPYRUtilityManager* pUtilityManager,
                                      IDispatch* pPhaseCollection, IDispatch* pPropContainer,
                                      LONG bRecalculate, LONG bCalculationOnly, LONG nProp,
                                      VARIANT pPropIDs) override;
    HRESULT STDMETHODCALLTYPE ChangedInUtility(LONG* Changed, LONG* nChanged,
                                               VARIANT* ChangedItems) override;
    HRESULT STDMETHODCALLTYPE Save(BSTR* SaveInfo) override;
    HRESULT STDMETHODCALLTYPE Recall(BSTR SaveInfo) override;
    HRESULT STDMETHODCALLTYPE SetUnitSet(VARIANT vPropNames, VARIANT vPropUnits) override;
    HRESULT STDMETHODCALLTYPE GetSupportedOption(IPYROption** pOption) override;
    HRESULT STDMETHODCALLTYPE ReleaseThermo() override;

    // INotifyChange.
    HRESULT STDMETHODCALLTYPE UseNotifyChange(LONG Use) override;
    HRESULT STDMETHODCALLTYPE HasModified(NotifyChange whatchanged) override;

    // Sets every field to its initial value; allocates nothing.
    HRESULT FinalConstruct();
    // Frees and releases everything the object holds.
    void FinalRelease();

  private:
    // The non-delegating IUnknown of the object, which an aggregate's outer
    // object holds.
    class InnerUnknown : public IUnknown {
      public:
        explicit InnerUnknown(pyThreePhaseEnvelope* owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;

      private:
        pyThreePhaseEnvelope* owner_;
    };

    explicit pyThreePhaseEnvelope(IUnknown* outer);
    ~pyThreePhaseEnvelope();
    pyThreePhaseEnvelope(const pyThreePhaseEnvelope&) = delete;
    pyThreePhaseEnvelope& operator=(const pyThreePhaseEnvelope&) = delete;

    void ReleaseHostObjects();

    ULONG refCount_;
    IUnknown* controllingUnknown_;
    InnerUnknown inner_;
};
