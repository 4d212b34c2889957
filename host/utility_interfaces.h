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
                                              IDispatch* pPhaseCollection, IDispatch* pPropContainer,
                                              LONG bRecalculate, LONG bCalculationOnly, LONG nProp,
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
