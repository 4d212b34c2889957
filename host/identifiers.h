// Identifiers shared by the utility, the reference host and the plot view:
// the interface identifiers of every host-framework, application-provider and
// utility interface, the utility's class (also its type library), the host's
// utility category, and the host classes the utility creates by identifier.
#pragma once

#include "platform/com.h"

// Host framework.
extern const IID IID_IPropManager;
extern const IID IID_IPropManagerSettings;
extern const IID IID_IFlashSettings;
extern const IID IID_ISettingsCompanion;
extern const IID IID_IPropertyRegistryClient;
extern const IID IID_IFlashManager;
extern const IID IID_IPhaseCollection;
extern const IID IID_IPhase;
extern const IID IID_IPropContainer;
extern const IID IID_ICompoundCollection;
extern const IID IID_IBasicCompound;
extern const IID IID_ICompoundID;
extern const IID IID_ICompoundFamily;
extern const IID IID_IRealArrayDisp;
extern const IID IID_IIntegerArrayDisp;
extern const IID IID_IRealMatrix;
extern const IID IID_IPropertyEnumerationRegistry;
extern const IID IID_IUtilityView;

// Application-side provider.
extern const IID IID_IAppThermoProvider;
extern const IID IID_IAppPhase;
extern const IID IID_IAppValue;
extern const IID IID_IAppComponentList;
extern const IID IID_IAppComponent;

// The utility's own interfaces.
extern const IID IID_IPYRUtility;
extern const IID IID_INotifyChange;
extern const IID IID_IPYRUtilityManager;
extern const IID IID_IPYROption;

// The utility class; its type library carries the same identifier.
extern const CLSID CLSID_pyThreePhaseEnvelope;
extern const GUID LIBID_pyThreePhaseEnvelopeLib;

// The host's component category of utilities ("Pyrana Utilities").
extern const CATID CATID_PyranaUtilities;

// Host classes: the flash-settings companion, real arrays and real matrices.
extern const CLSID CLSID_PyranaSettingsCompanion;
extern const CLSID CLSID_PyranaRealArray;
extern const CLSID CLSID_PyranaRealMatrix;

// The plot view component.
extern const CLSID CLSID_PyranaEnvelopeView;
#define PYRANA_ENVELOPE_VIEW_PROGID L"pyThreePhaseEnvelope.EnvelopeView"
