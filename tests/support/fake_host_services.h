// Recording doubles of the host services that SetThermo and
// InitializePropertyIDs meet: property manager with its settings, flash
// manager, flash settings, the settings companion and the property registry.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/interfaces.h"
#include "platform/com.h"
#include "tests/support/fake_com.h"

class FakeCompanion : public FakeObject<ISettingsCompanion, IPropertyRegistryClient> {
  public:
    HRESULT STDMETHODCALLTYPE StabilityTest(IFlashSettings*, IPhaseCollection*, IPhase*, int, int,
                                            VARIANT_BOOL, IFlashManager*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetPropertyRegistry(IDispatch* r) override {
        registry = r;
        ++registryCalls;
        return S_OK;
    }
    IDispatch* registry = nullptr;
    int registryCalls = 0;
};

class FakeFlashSettings : public FakeObject<IFlashSettings> {
  public:
    HRESULT STDMETHODCALLTYPE GetVariableSettings(int, double*, double*, double*, double*,
                                                  double*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetVariableSettings(int, double, double, double, double,
                                                  double) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_IntSetting(int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_IntSetting(int) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Companion(IUnknown** c) override {
        *c = companion;
        if (companion != nullptr)
            companion->AddRef();
        return S_OK;
    }
    IUnknown* companion = nullptr;
};

class FakePropManager : public FakeObject<IPropManager, IPropManagerSettings> {
  public:
    HRESULT STDMETHODCALLTYPE CalcProperty(int, IPhase*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_Settings(IUnknown** s) override {
        *s = static_cast<IFlashSettings*>(settings);
        settings->AddRef();
        return S_OK;
    }
    FakeFlashSettings* settings = nullptr;
};

class FakeFlashManager : public FakeObject<IFlashManager> {
  public:
    HRESULT STDMETHODCALLTYPE Flash(IPhaseCollection*) override { return E_NOTIMPL; }
};

class FakeRegistry : public FakeObject<IPropertyEnumerationRegistry> {
  public:
    HRESULT STDMETHODCALLTYPE GetPropertyIDByName(BSTR, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddPropertyByName(BSTR name, LONG* id) override {
        if (static_cast<int>(names.size()) == failAt)
            return E_FAIL;
        names.emplace_back(name, SysStringLen(name));
        *id = 1000 + static_cast<LONG>(names.size());
        return S_OK;
    }
    std::vector<std::wstring> names;
    int failAt = -1;
};

struct HostServices {
    FakeCompanion companion;
    FakeFlashSettings settings;
    FakePropManager propManager;
    FakeFlashManager flashManager;
    FakeRegistry registry;

    explicit HostServices(bool withCompanion = true) {
        if (withCompanion)
            settings.companion = static_cast<ISettingsCompanion*>(&companion);
        propManager.settings = &settings;
    }
    // Every double is back to the test's own reference.
    void ExpectAllReleased() const {
        EXPECT_EQ(companion.refs, 1u);
        EXPECT_EQ(settings.refs, 1u);
        EXPECT_EQ(propManager.refs, 1u);
        EXPECT_EQ(flashManager.refs, 1u);
        EXPECT_EQ(registry.refs, 1u);
    }
};
