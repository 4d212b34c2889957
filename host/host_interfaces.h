// Interfaces of the host thermodynamics framework, as C++ abstract classes in
// the vtable order of the host's type library. The utility calls the
// operations marked "utility"; the few operations after them serve the host's
// other clients (the plot view, the command line, tests) and the host itself.
//
// Units at this boundary: temperature K, pressure kPa, enthalpy kJ/kmol,
// entropy kJ/(kmol K), molar volume m3/kmol. Every operation returns an
// HRESULT; out-pointers are written only on success.
#pragma once

#include "host/enums.h"
#include "host/identifiers.h"
#include "platform/com.h"

struct IPhase;
struct IPhaseCollection;
struct IFlashManager;
struct IFlashSettings;
struct IRealArrayDisp;

// Property calculations on a phase.
struct IPropManager : public IDispatch {
    // Computes property propID for the phase at its current temperature,
    // pressure, composition and phase type; read the result from the phase.
    virtual HRESULT STDMETHODCALLTYPE CalcProperty(int propID, IPhase* phase) = 0;  // utility
};

// Second interface of the property manager: its flash settings.
struct IPropManagerSettings : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Settings(IUnknown** settings) = 0;  // utility
};

// Iteration settings of the host flash, per variable, and one integer mode.
struct IFlashSettings : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetVariableSettings(int propID, double* tinit,
                                                          double* lowerBnd, double* upperBnd,
                                                          double* delt,
                                                          double* tolDelBnd) = 0;  // utility
    virtual HRESULT STDMETHODCALLTYPE SetVariableSettings(int propID, double tinit, double lowerBnd,
                                                          double upperBnd, double delt,
                                                          double tolDelBnd) = 0;  // utility
    virtual HRESULT STDMETHODCALLTYPE get_IntSetting(int* value) = 0;             // utility
    virtual HRESULT STDMETHODCALLTYPE put_IntSetting(int value) = 0;              // utility
    // May hand out null: then the client creates its own companion.
    virtual HRESULT STDMETHODCALLTYPE get_Companion(IUnknown** companion) = 0;  // utility
};

// Companion of the flash settings: the phase-stability test.
struct ISettingsCompanion : public IDispatch {
    // Splits off a possible further phase of the conditions on the kind-1
    // phase of `phases` (its temperature and pressure, the feed composition)
    // into testPhase: its phase type becomes 4 with the new liquid's
    // composition, or stays other than 4 when no further phase exists.
    virtual HRESULT STDMETHODCALLTYPE StabilityTest(IFlashSettings* settings,
                                                    IPhaseCollection* phases, IPhase* testPhase,
                                                    int mode, int method, VARIANT_BOOL splitOff,
                                                    IFlashManager* flash) = 0;  // utility
};

// Second interface of the companion.
struct IPropertyRegistryClient : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE SetPropertyRegistry(IDispatch* registry) = 0;  // utility
};

// The flash of a phase collection's feed at the specifications on its kind-1
// phase: temperature and pressure, or (temperature -32767) pressure and
// vapour fraction, the temperature found being written back.
struct IFlashManager : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Flash(IPhaseCollection* phases) = 0;  // utility
};

// The phases of a stream.
struct IPhaseCollection : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Compounds(IDispatch** compounds) = 0;  // utility
    virtual HRESULT STDMETHODCALLTYPE put_Mode(int mode) = 0;                    // utility
    // kind 1: specification phase; 3: vapour; 4: liquids (index 0 and 1).
    virtual HRESULT STDMETHODCALLTYPE GetPhase(int kind, int index,
                                               IDispatch** phase) = 0;              // utility
    virtual HRESULT STDMETHODCALLTYPE put_NumberOfPhases(int n) = 0;                // utility
    virtual HRESULT STDMETHODCALLTYPE get_Phase(int index, IDispatch** phase) = 0;  // utility
};

// The mask with which the utility drops every property a phase has computed
// before asking for one at new conditions.
constexpr int kResetAllProperties = 159;

// One phase: its conditions, its share of the feed, its composition and the
// properties computed for it.
struct IPhase : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_PhaseType(int* type) = 0;         // utility
    virtual HRESULT STDMETHODCALLTYPE put_PhaseType(int type) = 0;          // utility
    virtual HRESULT STDMETHODCALLTYPE get_Active(int* active) = 0;          // utility
    virtual HRESULT STDMETHODCALLTYPE put_Active(int active) = 0;           // utility
    virtual HRESULT STDMETHODCALLTYPE get_Fraction(double* fraction) = 0;   // utility
    virtual HRESULT STDMETHODCALLTYPE put_Fraction(double fraction) = 0;    // utility
    virtual HRESULT STDMETHODCALLTYPE put_Pressure(double kPa) = 0;         // utility
    virtual HRESULT STDMETHODCALLTYPE get_Temperature(double* kelvin) = 0;  // utility
    virtual HRESULT STDMETHODCALLTYPE put_Temperature(double kelvin) = 0;   // utility
    virtual HRESULT STDMETHODCALLTYPE get_Enthalpy(double* value) = 0;      // utility
    virtual HRESULT STDMETHODCALLTYPE put_Enthalpy(double value) = 0;       // utility
    virtual HRESULT STDMETHODCALLTYPE get_Entropy(double* value) = 0;       // utility
    virtual HRESULT STDMETHODCALLTYPE put_Entropy(double value) = 0;        // utility
    virtual HRESULT STDMETHODCALLTYPE get_MolarVolume(double* value) = 0;   // utility
    virtual HRESULT STDMETHODCALLTYPE
    get_CompositionObject(IDispatch** composition) = 0;               // utility
    virtual HRESULT STDMETHODCALLTYPE ResetProperties(int mask) = 0;  // utility
    // The live mole-fraction array of the phase.
    virtual HRESULT STDMETHODCALLTYPE get_Composition(IRealArrayDisp** composition) = 0;  // utility
    virtual HRESULT STDMETHODCALLTYPE get_LnFugacityCoeff(IRealArrayDisp** lnPhi) = 0;    // utility
    virtual HRESULT STDMETHODCALLTYPE get_Pressure(double* kPa) = 0;
};

// A container of named properties (the same object also answers IPhase).
struct IPropContainer : public IDispatch {
    // value: VT_R8 scalar, or VT_DISPATCH real array / matrix (AddRef'd by
    // the container).
    virtual HRESULT STDMETHODCALLTYPE SetProperty(int propID, VARIANT value) = 0;  // utility
    // A never-set property answers S_OK with VT_R8 -32767.0.
    virtual HRESULT STDMETHODCALLTYPE GetProperty(int propID, VARIANT* value) = 0;  // utility
};

// The compounds of a stream.
struct ICompoundCollection : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Compound(LONG nIndex,
                                                   IDispatch** compound) = 0;  // utility
    virtual HRESULT STDMETHODCALLTYPE get_NumberOfCompounds(LONG* count) = 0;  // utility
};

// A compound's basic data.
struct IBasicCompound : public IDispatch {
    // Critical temperature (K) and pressure (kPa); dTemp and dPres are the
    // conditions of temperature-dependent properties (-32767 when unused).
    virtual HRESULT STDMETHODCALLTYPE TC(double dTemp, double dPres,
                                         tagExtrapolationEnum eExtrapolationMethod,
                                         double* value) = 0;  // utility
    virtual HRESULT STDMETHODCALLTYPE PC(double dTemp, double dPres,
                                         tagExtrapolationEnum eExtrapolationMethod,
                                         double* value) = 0;  // utility
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
};

struct ICompoundID : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_ID(int* id) = 0;  // utility
};

struct ICompoundFamily : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE
    get_Family(int* family) = 0;  // utility (tagCompoundFamilyEnum)
};

// A real array held by the host (phase compositions, ln fugacity
// coefficients, output arrays). Indices are zero-based.
struct IRealArrayDisp : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE put_Size(LONG size) = 0;                      // utility
    virtual HRESULT STDMETHODCALLTYPE get_IthValue(LONG index, double* value) = 0;  // utility
    virtual HRESULT STDMETHODCALLTYPE put_IthValue(LONG index, double value) = 0;   // utility
    virtual HRESULT STDMETHODCALLTYPE get_Size(LONG* size) = 0;
};

// An integer array held by the host.
struct IIntegerArrayDisp : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE put_Size(LONG size) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_IthValue(LONG index, LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_IthValue(LONG index, LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Size(LONG* size) = 0;
};

// A real matrix held by the host, filled column by column. Derives from
// IUnknown only.
struct IRealMatrix : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE put_Rows(int rows) = 0;        // utility
    virtual HRESULT STDMETHODCALLTYPE put_Columns(int columns) = 0;  // utility
    // Copies nRows values into column `column`; nRows must equal the row count.
    virtual HRESULT STDMETHODCALLTYPE put_ColumnValues(int column, int nRows,
                                                       const double* values) = 0;  // utility
    virtual HRESULT STDMETHODCALLTYPE get_Rows(int* rows) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Columns(int* columns) = 0;
    // Copies nRows values of column `column` into values[0 .. nRows-1].
    virtual HRESULT STDMETHODCALLTYPE GetColumnValues(int column, int nRows, double* values) = 0;
};

// The host's registry of property names.
struct IPropertyEnumerationRegistry : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetPropertyIDByName(BSTR name, LONG* id) = 0;  // utility
    // Registers name (once) and returns its stable ID.
    virtual HRESULT STDMETHODCALLTYPE AddPropertyByName(BSTR name, LONG* id) = 0;  // utility
};
