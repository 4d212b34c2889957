// COM objects for the platform tests: an object whose reference count the
// test can read, and a class factory that records what it was asked.
#pragma once

#include <atomic>

#include "platform/com.h"
#include "platform/com_object.h"

namespace platform_test {

// {6A1F0C2E-3B4D-4E5F-8A9B-0C1D2E3F4A5B}
DEFINE_GUID(CLSID_TestLocalObject, 0x6A1F0C2E, 0x3B4D, 0x4E5F, 0x8A, 0x9B, 0x0C, 0x1D, 0x2E, 0x3F,
            0x4A, 0x5B);
// {0D9E8F7A-6B5C-4D3E-9F2A-1B0C9D8E7F6A}: the class served by the test module.
DEFINE_GUID(CLSID_TestServerObject, 0x0D9E8F7A, 0x6B5C, 0x4D3E, 0x9F, 0x2A, 0x1B, 0x0C, 0x9D, 0x8E,
            0x7F, 0x6A);
// {5C4B3A29-1807-4F6E-8D5C-4B3A29180706}: an interface the test module's object implements.
DEFINE_GUID(IID_ITestServerObject, 0x5C4B3A29, 0x1807, 0x4F6E, 0x8D, 0x5C, 0x4B, 0x3A, 0x29, 0x18,
            0x07, 0x06);

// What the test module's object offers beyond IUnknown.
struct ITestServerObject : public IUnknown {
    // Writes 42 + the number of objects the module has alive into *value.
    virtual HRESULT STDMETHODCALLTYPE Answer(LONG* value) = 0;
    // The controlling unknown it was created with (not AddRef'd), or null.
    virtual IUnknown* STDMETHODCALLTYPE Outer() = 0;
};

// An IDispatch whose reference count can be read; it deletes itself at zero.
class CountingObject final : public platform::SingleInterfaceObject<IDispatch> {
  public:
    static CountingObject* Create() { return new CountingObject; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

  private:
    CountingObject() : SingleInterfaceObject(IID_IDispatch) {}
    platform::LiveObject live_{"CountingObject"};
};

// A class factory that creates CountingObjects and remembers the controlling
// unknown and interface it was last asked for.
class RecordingFactory final : public platform::SingleInterfaceObject<IClassFactory> {
  public:
    static RecordingFactory* Create() { return new RecordingFactory; }

    IUnknown* last_outer = nullptr;
    IID last_iid = IID_NULL;
    int created = 0;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        last_outer = outer;
        last_iid = riid;
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (outer && !IsEqualIID(riid, IID_IUnknown)) {
            return CLASS_E_NOAGGREGATION;
        }
        CountingObject* object = CountingObject::Create();
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        if (SUCCEEDED(hr)) {
            ++created;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    RecordingFactory() : SingleInterfaceObject(IID_IClassFactory) {}
    platform::LiveObject live_{"RecordingFactory"};
};

}  // namespace platform_test
