// The utility's own interfaces and those of the host that the utility's type
// library describes: IPYRUtility (the calculation entry), INotifyChange, the
// host's utility manager and option objects, and the plot view IUtilityView.
// Their layout must match component/pyThreePhaseEnvelope.idl exactly: hosts
// call these interfaces late-bound through the type library.
#pragma once

#include "host/enums.h"
#include "host/host_interfaces.h"
#include "host/identifiers.h"
#include "platform/com.h"

// Success codes of IPYRUtility::Execute beyond S_OK: the calculation ran and
// wrote its envelope, and the envelope is incomplete. The low byte says how
// (any combination of EnvelopeGap).
const HRESULT PE_S_ENVELOPE_INCOMPLETE = 0x00040200;

enum EnvelopeGap : uint32_t {
    kGapTraceStopped = 0x01,     // a dew or bubble trace stopped short: its step collapsed
    kGapBoundaryStopped = 0x02,  // a three-phase boundary stopped short
    kGapStoreFull = 0x04,        // the 500 rows of the point store were filled
    kGapSingleCompound = 0x08,   // a high-purity feed given the dominant compound's curve
    kGapNoPoints = 0x10,         // no point of the envelope was found
};

// The host's manager of utilities (handed through to the options dialog).
struct IPYRUtilityManager : public IDispatch {};

// An option a utility may offer (this utility offers none).
struct IPYROption : public IDispatch {};

// A plot view of envelope results.
struct IUtilityView : public IDispatch {
    // Draws the envelope last given to Update; hwndOwner is the owner window.
    virtual HRESULT STDMETHODCALLTYPE Show(LONG hwndOwner) = 0;
    // results: the property container holding the output properties;
    // registry: the property-name registry (IPropertyEnumerationRegistry).
    virtual HRESULT STDMETHODCALLTYPE Update(IDispatch* results, IDispatch* registry,
                                             EnvelopeType envelopeType) = 0;
};

// The calculation interface every utility implements.
struct IPYRUtility : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetName(BSTR* sName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetType(BSTR* sType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSupportedProps(LONG* nProps, VARIANT* vPropNames,
                                                        VARIANT* vPropTypes) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetThermo(IDispatch* pPropManager, IDispatch* pFlashManager,
                                                IDispatch* pAppThermoProvider, BSTR sAppName,
                                                LONG bUseAppThermo) = 0;
    virtual HRESULT STDMETHODCALLTYPE InitializePropertyIDs(IDispatch* pPropertyRegistry) = 0;
    virtual HRESULT STDMETHODCALLTYPE CheckRestriction(ICompoundCollection* pCompCol, LONG* bOK,
                                                       BSTR* message) = 0;
    virtual HRESULT STDMETHODCALLTYPE Execute(BSTR sStreamName, BSTR sUserName,
                                              IPYRUtilityManager* pUtilityManager,
                                              IDispatch* pPhaseCollection,
                                              IDispatch* pPropContainer, LONG bRecalculate,
                                              LONG bCalculationOnly, LONG nProp,
                                              VARIANT pPropIDs) = 0;
    virtual HRESULT STDMETHODCALLTYPE ChangedInUtility(LONG* Changed, LONG* nChanged,
                                                       VARIANT* ChangedItems) = 0;
    virtual HRESULT STDMETHODCALLTYPE Save(BSTR* SaveInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE Recall(BSTR SaveInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetUnitSet(VARIANT vPropNames, VARIANT vPropUnits) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSupportedOption(IPYROption** pOption) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReleaseThermo() = 0;
};

// Change notifications from the host.
struct INotifyChange : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE UseNotifyChange(LONG Use) = 0;
    virtual HRESULT STDMETHODCALLTYPE HasModified(NotifyChange whatchanged) = 0;
};
