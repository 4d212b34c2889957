// Test doubles around the options dialog: a plot view that records what the
// dialog hands it, offered in process under the view's ProgID (optionally
// with a class factory that fails), and a property manager that also
// answers the host's property-name registry, as a host's manager may.
#pragma once

#include <string>
#include <vector>

#include "host/interfaces.h"
#include "platform/com.h"

struct ViewCall {
    std::string method;   // "Update" or "Show"
    int envelopeType;     // Update
    IDispatch* results;   // Update (not held)
    IDispatch* registry;  // Update (not held)
    LONG owner;           // Show
};

// Offers a recording view as CLSID_PyranaEnvelopeView with its ProgID for
// the object's lifetime. With `failWith` set, the class factory refuses to
// create views with that HRESULT.
class RecordingViewClass {
  public:
    explicit RecordingViewClass(HRESULT failWith = S_OK);
    ~RecordingViewClass();
    RecordingViewClass(const RecordingViewClass&) = delete;
    RecordingViewClass& operator=(const RecordingViewClass&) = delete;

    const std::vector<ViewCall>& calls() const { return calls_; }
    int viewsCreated() const { return created_; }

  private:
    friend class RecordingView;
    friend class RecordingFactory;
    std::vector<ViewCall> calls_;
    int created_ = 0;
    HRESULT failWith_;
    DWORD cookie_ = 0;
};

// IPropManager and IPropertyEnumerationRegistry in one object, the names
// answered by `registry`.
class RegistryPropManager final : public IPropManager, public IPropertyEnumerationRegistry {
  public:
    explicit RegistryPropManager(IPropertyEnumerationRegistry* registry) : registry_(registry) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CalcProperty(int, IPhase*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyIDByName(BSTR name, LONG* id) override {
        return registry_->GetPropertyIDByName(name, id);
    }
    HRESULT STDMETHODCALLTYPE AddPropertyByName(BSTR name, LONG* id) override {
        return registry_->AddPropertyByName(name, id);
    }

  private:
    ~RegistryPropManager() = default;
    ULONG refs_ = 1;
    platform::ComPtr<IPropertyEnumerationRegistry> registry_;
};
