// Internal to pyrobjects: the host's shared state and the classes of its COM
// objects. Clients use host.h; the objects reach each other's state through
// these classes (a phase handed to CalcProperty or Flash must be one of ours;
// a foreign object is refused with E_INVALIDARG).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/host_interfaces.h"
#include "host/undefined.h"
#include "pyrana/objects/arrays.h"
#include "pyrana/objects/com_base.h"
#include "pyrana/objects/host.h"
#include "pyrana/thermo/calculator.h"

namespace pyrana::objects {

// True for the undefined marker (and anything at or below it).
inline bool IsUndefined(double v) {
    return v <= kUndefined + 0.5;
}

// The per-variable settings of the host flash (IFlashSettings).
struct VariableSettings {
    double tinit = kUndefined;
    double lowerBnd = kUndefined;
    double upperBnd = kUndefined;
    double delt = kUndefined;
    double tolDelBnd = kUndefined;
};

// What every host object of one Host shares.
struct HostState {
    HostState(thermo::Fluid fluid, std::vector<double> feed, HostOptions options);

    int nc() const { return calc.size(); }
    // Registers `name` (once) and returns its ID.
    int AddProperty(const std::string& name);
    // ID of `name`, or -32767.
    int FindProperty(const std::string& name) const;
    // Name of ID `id`, or null.
    const std::string* PropertyName(int id) const;
    // Flash options for integer setting `method`: 2 reduced stability, else full.
    static thermo::FlashOptions OptionsForMethod(int method);

    thermo::Calculator calc;
    std::vector<double> feed;
    HostOptions options;
    std::vector<std::string> propertyNames;  // ID = index + 1
    std::map<int, VariableSettings> variableSettings;
    int intSetting = 3;
    int temperatureId = 0;

    // The enthalpy, entropy and volume of the last phase state they were
    // computed for: a client asks for the three one after another at the same
    // state. Exact: keyed by everything they depend on (the model is fixed).
    struct CaloricState {
        bool valid = false;
        double t = 0, p = 0;
        int root = 0;
        std::vector<double> x;
        double h = 0, s = 0, v = 0;
    };
    CaloricState caloric;
};

// A variant owned by a container: cleared on destruction.
struct OwnedVariant {
    OwnedVariant() { VariantInit(&v); }
    ~OwnedVariant() { VariantClear(&v); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    VARIANT v;
};

// A phase: conditions, share of the feed, live composition array, computed
// properties, and a property container (IPropContainer) of VARIANTs keyed by
// property ID.
class PhaseObject final : public IPhase, public IPropContainer {
  public:
    explicit PhaseObject(std::shared_ptr<HostState> state);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    // IPhase
    HRESULT STDMETHODCALLTYPE get_PhaseType(int* type) override;
    HRESULT STDMETHODCALLTYPE put_PhaseType(int type) override;
    HRESULT STDMETHODCALLTYPE get_Active(int* active) override;
    HRESULT STDMETHODCALLTYPE put_Active(int active) override;
    HRESULT STDMETHODCALLTYPE get_Fraction(double* fraction) override;
    HRESULT STDMETHODCALLTYPE put_Fraction(double fraction) override;
    HRESULT STDMETHODCALLTYPE put_Pressure(double kPa) override;
    HRESULT STDMETHODCALLTYPE get_Temperature(double* kelvin) override;
    HRESULT STDMETHODCALLTYPE put_Temperature(double kelvin) override;
    HRESULT STDMETHODCALLTYPE get_Enthalpy(double* value) override;
    HRESULT STDMETHODCALLTYPE put_Enthalpy(double value) override;
    HRESULT STDMETHODCALLTYPE get_Entropy(double* value) override;
    HRESULT STDMETHODCALLTYPE put_Entropy(double value) override;
    HRESULT STDMETHODCALLTYPE get_MolarVolume(double* value) override;
    HRESULT STDMETHODCALLTYPE get_CompositionObject(IDispatch** composition) override;
    HRESULT STDMETHODCALLTYPE ResetProperties(int mask) override;
    HRESULT STDMETHODCALLTYPE get_Composition(IRealArrayDisp** composition) override;
    HRESULT STDMETHODCALLTYPE get_LnFugacityCoeff(IRealArrayDisp** lnPhi) override;
    HRESULT STDMETHODCALLTYPE get_Pressure(double* kPa) override;

    // IPropContainer
    HRESULT STDMETHODCALLTYPE SetProperty(int propID, VARIANT value) override;
    HRESULT STDMETHODCALLTYPE GetProperty(int propID, VARIANT* value) override;

    // State, for the host's own objects (no host calls).
    int type = 0;
    int active = 0;
    double fraction = kUndefined;
    double t = kUndefined;
    double p = kUndefined;
    double h = kUndefined;
    double s = kUndefined;
    double v = kUndefined;
    std::vector<double>& composition() { return composition_->values(); }
    std::vector<double>& lnPhi() { return lnPhi_->values(); }
    // Takes the state of a flash result phase at t, p.
    void Take(const thermo::PhaseResult& result, double t, double p);
    // Marks the phase absent after a flash at t, p: inactive, fraction 0,
    // composition of the feed, properties undefined.
    void Clear(const std::vector<double>& feed, double t, double p);

  private:
    ~PhaseObject() = default;
    platform::LiveObject live_{"PyranaPhase"};
    ULONG refs_ = 1;
    std::shared_ptr<HostState> state_;
    platform::ComPtr<RealArray> composition_;
    platform::ComPtr<RealArray> lnPhi_;
    std::map<int, std::unique_ptr<OwnedVariant>> properties_;
};

// Bits of ResetProperties' mask: which computed properties become undefined.
enum ResetMask : int {
    kResetEnthalpy = 1,
    kResetEntropy = 2,
    kResetMolarVolume = 4,
    kResetLnFugacityCoeff = 8,
};

class PhaseCollection final : public IPhaseCollection {
  public:
    explicit PhaseCollection(std::shared_ptr<HostState> state);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    HRESULT STDMETHODCALLTYPE get_Compounds(IDispatch** compounds) override;
    HRESULT STDMETHODCALLTYPE put_Mode(int mode) override;
    HRESULT STDMETHODCALLTYPE GetPhase(int kind, int index, IDispatch** phase) override;
    HRESULT STDMETHODCALLTYPE put_NumberOfPhases(int n) override;
    HRESULT STDMETHODCALLTYPE get_Phase(int index, IDispatch** phase) override;

    PhaseObject& conditions() { return *conditions_.Get(); }
    // The phase of kind 3 (index 0) or 4 (index 0, 1); null for others.
    PhaseObject* Find(int kind, int index);
    // Writes a flash result into the vapour and liquid phases.
    void TakeResult(const thermo::FlashResult& result);
    // Marks every result phase absent (a failed flash).
    void ClearResults(double t, double p);
    int mode() const { return mode_; }

  private:
    ~PhaseCollection() = default;
    platform::LiveObject live_{"PyranaPhaseCollection"};
    ULONG refs_ = 1;
    std::shared_ptr<HostState> state_;
    int mode_ = 0;
    platform::ComPtr<PhaseObject> conditions_, vapour_, liquid0_, liquid1_;
    std::vector<platform::ComPtr<PhaseObject>> numbered_;
};

class CompoundCollection final : public ICompoundCollection {
  public:
    explicit CompoundCollection(std::shared_ptr<HostState> state) : state_(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    // A new compound object for index nIndex in [0, count); else E_INVALIDARG.
    HRESULT STDMETHODCALLTYPE get_Compound(LONG nIndex, IDispatch** compound) override;
    HRESULT STDMETHODCALLTYPE get_NumberOfCompounds(LONG* count) override;

  private:
    ~CompoundCollection() = default;
    platform::LiveObject live_{"PyranaCompoundCollection"};
    ULONG refs_ = 1;
    std::shared_ptr<HostState> state_;
};

class CompoundObject final : public IBasicCompound, public ICompoundID, public ICompoundFamily {
  public:
    CompoundObject(std::shared_ptr<HostState> state, int index)
        : state_(std::move(state)), index_(index) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    // Critical constants do not depend on the conditions: dTemp, dPres and the
    // extrapolation method are accepted and ignored.
    HRESULT STDMETHODCALLTYPE TC(double dTemp, double dPres, tagExtrapolationEnum method,
                                 double* value) override;
    HRESULT STDMETHODCALLTYPE PC(double dTemp, double dPres, tagExtrapolationEnum method,
                                 double* value) override;
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_ID(int* id) override;
    HRESULT STDMETHODCALLTYPE get_Family(int* family) override;

  private:
    ~CompoundObject() = default;
    const thermo::Compound& compound() const { return state_->calc.fluid().compound(index_); }
    platform::LiveObject live_{"PyranaCompound"};
    ULONG refs_ = 1;
    std::shared_ptr<HostState> state_;
    int index_;
};

class PropertyRegistry final : public IPropertyEnumerationRegistry {
  public:
    explicit PropertyRegistry(std::shared_ptr<HostState> state) : state_(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    // Unknown name: E_INVALIDARG, *id untouched.
    HRESULT STDMETHODCALLTYPE GetPropertyIDByName(BSTR name, LONG* id) override;
    // Empty or null name: E_INVALIDARG.
    HRESULT STDMETHODCALLTYPE AddPropertyByName(BSTR name, LONG* id) override;

  private:
    ~PropertyRegistry() = default;
    platform::LiveObject live_{"PyranaPropertyRegistry"};
    ULONG refs_ = 1;
    std::shared_ptr<HostState> state_;
};

class Companion final : public ISettingsCompanion, public IPropertyRegistryClient {
  public:
    explicit Companion(std::shared_ptr<HostState> state) : state_(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    HRESULT STDMETHODCALLTYPE StabilityTest(IFlashSettings* settings, IPhaseCollection* phases,
                                            IPhase* testPhase, int mode, int method,
                                            VARIANT_BOOL splitOff, IFlashManager* flash) override;
    // Keeps `registry` (null forgets it).
    HRESULT STDMETHODCALLTYPE SetPropertyRegistry(IDispatch* registry) override;

  private:
    ~Companion() = default;
    platform::LiveObject live_{"PyranaSettingsCompanion"};
    ULONG refs_ = 1;
    std::shared_ptr<HostState> state_;
    platform::ComPtr<IDispatch> registry_;
};

class FlashSettingsObject final : public IFlashSettings {
  public:
    FlashSettingsObject(std::shared_ptr<HostState> state, platform::ComPtr<Companion> companion)
        : state_(std::move(state)), companion_(std::move(companion)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    // propID must be registered (else E_INVALIDARG); a variable never set
    // reads as five undefined markers. Null outputs: E_POINTER.
    HRESULT STDMETHODCALLTYPE GetVariableSettings(int propID, double* tinit, double* lowerBnd,
                                                  double* upperBnd, double* delt,
                                                  double* tolDelBnd) override;
    HRESULT STDMETHODCALLTYPE SetVariableSettings(int propID, double tinit, double lowerBnd,
                                                  double upperBnd, double delt,
                                                  double tolDelBnd) override;
    HRESULT STDMETHODCALLTYPE get_IntSetting(int* value) override;
    HRESULT STDMETHODCALLTYPE put_IntSetting(int value) override;
    HRESULT STDMETHODCALLTYPE get_Companion(IUnknown** companion) override;

  private:
    ~FlashSettingsObject() = default;
    platform::LiveObject live_{"PyranaFlashSettings"};
    ULONG refs_ = 1;
    std::shared_ptr<HostState> state_;
    platform::ComPtr<Companion> companion_;
};

// The property manager also answers the property-name registry, so that a
// client holding only the manager (the utility's options dialog) can look up
// the names of the properties it reads.
class PropManager final : public IPropManager,
                          public IPropManagerSettings,
                          public IPropertyEnumerationRegistry {
  public:
    PropManager(std::shared_ptr<HostState> state, platform::ComPtr<FlashSettingsObject> settings)
        : state_(std::move(state)), settings_(std::move(settings)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    HRESULT STDMETHODCALLTYPE CalcProperty(int propID, IPhase* phase) override;
    HRESULT STDMETHODCALLTYPE get_Settings(IUnknown** settings) override;
    HRESULT STDMETHODCALLTYPE GetPropertyIDByName(BSTR name, LONG* id) override;
    HRESULT STDMETHODCALLTYPE AddPropertyByName(BSTR name, LONG* id) override;

  private:
    ~PropManager() = default;
    platform::LiveObject live_{"PyranaPropManager"};
    ULONG refs_ = 1;
    std::shared_ptr<HostState> state_;
    platform::ComPtr<FlashSettingsObject> settings_;
};

class FlashManager final : public IFlashManager {
  public:
    explicit FlashManager(std::shared_ptr<HostState> state) : state_(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    PYR_REFCOUNTED
    PYR_NO_TYPEINFO_DISPATCH

    HRESULT STDMETHODCALLTYPE Flash(IPhaseCollection* phases) override;

  private:
    ~FlashManager() = default;
    platform::LiveObject live_{"PyranaFlashManager"};
    ULONG refs_ = 1;
    std::shared_ptr<HostState> state_;
};

}  // namespace pyrana::objects
