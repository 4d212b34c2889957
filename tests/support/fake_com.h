// Test doubles for COM objects: FakeObject<I...> implements IUnknown and
// IDispatch for a list of interfaces, counts its references without ever
// deleting itself (the test owns it), and can refuse chosen interfaces, so a
// test can assert that every reference taken was released exactly once.
#pragma once

#include <vector>

#include "host/interfaces.h"
#include "platform/com.h"

template <class I>
const IID& IidOf();

#define PE_IID_OF(I)               \
    template <>                    \
    inline const IID& IidOf<I>() { \
        return IID_##I;            \
    }
PE_IID_OF(IPropManager)
PE_IID_OF(IPropManagerSettings)
PE_IID_OF(IFlashSettings)
PE_IID_OF(ISettingsCompanion)
PE_IID_OF(IPropertyRegistryClient)
PE_IID_OF(IFlashManager)
PE_IID_OF(IPhaseCollection)
PE_IID_OF(IPhase)
PE_IID_OF(IPropContainer)
PE_IID_OF(ICompoundCollection)
PE_IID_OF(IPropertyEnumerationRegistry)
PE_IID_OF(IAppThermoProvider)
PE_IID_OF(IAppComponentList)
PE_IID_OF(IAppComponent)
PE_IID_OF(IAppValue)
PE_IID_OF(IAppPhase)
#undef PE_IID_OF

template <class First, class... Rest>
class FakeObject : public First, public Rest... {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        *ppv = nullptr;
        for (const IID& r : refused) {
            if (IsEqualIID(r, riid))
                return E_NOINTERFACE;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *ppv = static_cast<First*>(this);
        } else if (!(TryQuery<First>(riid, ppv) || ... || TryQuery<Rest>(riid, ppv))) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    IDispatch* AsDispatch() { return static_cast<First*>(this); }

    // The test's own reference counts as one.
    ULONG refs = 1;
    // Interfaces this object answers E_NOINTERFACE for.
    std::vector<IID> refused;

  private:
    template <class I>
    bool TryQuery(REFIID riid, void** ppv) {
        if (!IsEqualIID(riid, IidOf<I>()))
            return false;
        *ppv = static_cast<I*>(this);
        return true;
    }
};
