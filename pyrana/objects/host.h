// The reference host's context: one fluid with its feed, the thermodynamic
// calculator over it, the property-name registry and the flash settings, and
// the COM objects through which a client (the utility, the command line, a
// test) reaches them.
//
//     pyrana::objects::Host host(std::move(fluid), {0.5, 0.5});
//     platform::ComPtr<IPhaseCollection> phases = host.NewPhaseCollection();
//     platform::ComPtr<IFlashManager> flash = host.FlashManager();
//     ... put T (or -32767), P and the vapour fraction on phases' kind-1 phase,
//     flash->Flash(phases.Get()), read GetPhase(3, 0), GetPhase(4, 0|1) ...
//
// A Host is an RAII object: its constructor registers, with
// CoRegisterClassObject, class factories for CLSID_PyranaRealArray,
// CLSID_PyranaRealMatrix and CLSID_PyranaSettingsCompanion, and its
// destructor revokes them. A companion created by CLSID belongs to the host
// whose factory the runtime finds: the most recently created Host still
// alive (the runtime answers the latest registration of a class). The
// thread must have initialised COM (CoInitialize) for creation by CLSID.
//
// The COM objects keep the host's state alive through shared ownership, so
// they stay usable (and must still be released) after the Host is gone; only
// creation by CLSID ends with it.
//
// Property IDs: the registry starts with "Temperature", "Pressure",
// "Enthalpy", "Entropy", "MolarVolume" and "LnFugacityCoeff" registered (in
// that order, IDs 1 to 6); AddPropertyByName gives every further name the next
// ID, and the same name always the same ID.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/host_interfaces.h"
#include "platform/com.h"
#include "pyrana/thermo/calculator.h"
#include "pyrana/thermo/fluid.h"

namespace pyrana::objects {

struct HostState;

struct HostOptions {
    // IFlashSettings::get_Companion hands out the host's companion; false:
    // it answers null (the client then creates one by CLSID).
    bool settingsHandOutCompanion = true;
    // Register the class factories with CoRegisterClassObject.
    bool registerClassFactories = true;
};

class Host {
  public:
    // `feed`: one mole fraction per compound of `fluid` (normalised here).
    // Throws std::invalid_argument when its size differs from the fluid's or
    // a fraction is negative or not finite, or all are zero.
    Host(thermo::Fluid fluid, std::vector<double> feed, HostOptions options = HostOptions());
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    int size() const;
    const thermo::Fluid& fluid() const;
    thermo::Calculator& calculator();
    // The normalised feed.
    const std::vector<double>& feed() const;

    // The host's single objects; each call hands out a new reference.
    platform::ComPtr<IPropManager> PropManager() const;  // also IPropManagerSettings
    platform::ComPtr<IFlashManager> FlashManager() const;
    platform::ComPtr<IFlashSettings> FlashSettings() const;
    platform::ComPtr<ISettingsCompanion> Companion() const;  // also IPropertyRegistryClient
    platform::ComPtr<IPropertyEnumerationRegistry> PropertyRegistry() const;

    // New objects. A phase collection's kind-1 phase carries the feed; its
    // vapour (kind 3) and liquids (kind 4, index 0 and 1) are inactive until
    // a flash.
    platform::ComPtr<IPhaseCollection> NewPhaseCollection() const;
    // A phase that is also a property container (IPhase and IPropContainer):
    // the object a client hands the utility's Execute as its container.
    platform::ComPtr<IPhase> NewPropertyContainer() const;
    platform::ComPtr<ICompoundCollection> NewCompoundCollection() const;

    // ID of a registered property name, or -32767.
    int PropertyId(const std::string& name) const;

  private:
    std::shared_ptr<HostState> state_;
    platform::ComPtr<IPropManager> propManager_;
    platform::ComPtr<IFlashManager> flashManager_;
    platform::ComPtr<IFlashSettings> settings_;
    platform::ComPtr<ISettingsCompanion> companion_;
    platform::ComPtr<IPropertyEnumerationRegistry> registry_;
    std::vector<DWORD> cookies_;
};

}  // namespace pyrana::objects
