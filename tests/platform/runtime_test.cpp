// The COM runtime: initialisation, GUID strings, ProgIDs, class-object
// routing, in-process servers opened from the registry, live objects.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/com.h"
#include "test_objects.h"

using platform::ComPtr;
using platform_test::CLSID_TestLocalObject;
using platform_test::CLSID_TestServerObject;
using platform_test::CountingObject;
using platform_test::IID_ITestServerObject;
using platform_test::ITestServerObject;
using platform_test::RecordingFactory;

namespace {

class PlatformRuntime : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::RegistryClear();
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        live_before_ = platform::LiveObjectCount();
    }
    void TearDown() override {
        platform::RevokeAllClassObjects();
        CoUninitialize();
        platform::RegistryClear();
        EXPECT_EQ(platform::LiveObjectCount(), live_before_) << platform::LiveObjectReport();
    }

    static void SetDefault(const std::wstring& path, const std::wstring& text) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, path.c_str(), &key), ERROR_SUCCESS);
        ASSERT_EQ(
            RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
        RegCloseKey(key);
    }
    static std::wstring ClassKey(REFCLSID clsid) {
        wchar_t buf[40];
        StringFromGUID2(clsid, buf, 40);
        return std::wstring(L"CLSID\\") + buf;
    }
    // Registers the test server module through its own DllRegisterServer.
    static void RegisterTestServer() {
        HMODULE module = LoadLibraryA(PLATFORM_TEST_SERVER);
        ASSERT_NE(module, nullptr);
        auto reg = reinterpret_cast<HRESULT (*)()>(GetProcAddress(module, "DllRegisterServer"));
        ASSERT_NE(reg, nullptr);
        ASSERT_EQ(reg(), S_OK);
        FreeLibrary(module);
    }

    long live_before_ = 0;
};

TEST(PlatformRuntimeInit, InitialisationNestsAndKeepsItsModel) {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(OleInitialize(nullptr), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    OleUninitialize();
    void* p = nullptr;
    HRESULT still = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IUnknown, &p);
    EXPECT_EQ(still, S_OK) << "one initialisation is still active";
    static_cast<IUnknown*>(p)->Release();
    CoUninitialize();
    EXPECT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IUnknown, &p),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(p, nullptr);
}

TEST(PlatformRuntimeInit, ClassObjectsBelongToAnInitialisedThreadUntilItsLastUninitialize) {
    RecordingFactory* factory = RecordingFactory::Create();
    DWORD cookie = 0;
    EXPECT_EQ(CoRegisterClassObject(CLSID_TestLocalObject, factory, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(factory->refs(), 1u);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ASSERT_EQ(CoInitialize(nullptr), S_FALSE);
    ASSERT_EQ(CoRegisterClassObject(CLSID_TestLocalObject, factory, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    CoUninitialize();
    EXPECT_EQ(factory->refs(), 2u) << "a nested uninitialize keeps the registration";
    CoUninitialize();
    EXPECT_EQ(factory->refs(), 1u) << "the last one revokes it";
    EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);
    factory->Release();
}

TEST(PlatformGuidStrings, FormatIsBracedUpperCaseAndParsesBack) {
    const GUID g = {0x0002E005, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    EXPECT_TRUE(IsEqualCLSID(g, CLSID_StdComponentCategoriesMgr));
    wchar_t buf[39];
    ASSERT_EQ(StringFromGUID2(IID_ICatRegister, buf, 39), 39);
    EXPECT_STREQ(buf, L"{0002E012-0000-0000-C000-000000000046}");
    EXPECT_EQ(StringFromGUID2(IID_ICatRegister, buf, 38), 0);
    CLSID parsed;
    ASSERT_EQ(CLSIDFromString(L"{6a1f0c2e-3b4d-4e5f-8a9b-0c1d2e3f4a5b}", &parsed), S_OK);
    EXPECT_TRUE(parsed == CLSID_TestLocalObject);
    IID iid;
    EXPECT_EQ(IIDFromString(L"{6A1F0C2E-3B4D-4E5F-8A9B-0C1D2E3F4A5}", &iid), E_INVALIDARG);
    EXPECT_EQ(IIDFromString(L"6A1F0C2E-3B4D-4E5F-8A9B-0C1D2E3F4A5B", &iid), E_INVALIDARG);
    EXPECT_EQ(CLSIDFromString(L"{6A1F0C2E-3B4D-4E5F-8A9B_0C1D2E3F4A5B}", &parsed),
              CO_E_CLASSSTRING);
    LPOLESTR s = nullptr;
    ASSERT_EQ(StringFromCLSID(CLSID_TestServerObject, &s), S_OK);
    EXPECT_STREQ(s, L"{0D9E8F7A-6B5C-4D3E-9F2A-1B0C9D8E7F6A}");
    CoTaskMemFree(s);
}

TEST_F(PlatformRuntime, ProgIdsResolveDirectlyAndThroughCurVer) {
    SetDefault(L"Pe.Thing.2\\CLSID", L"{6A1F0C2E-3B4D-4E5F-8A9B-0C1D2E3F4A5B}");
    SetDefault(L"Pe.Thing\\CurVer", L"Pe.Thing.2");
    SetDefault(ClassKey(CLSID_TestLocalObject) + L"\\ProgID", L"Pe.Thing.2");
    CLSID clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromProgID(L"Pe.Thing.2", &clsid), S_OK);
    EXPECT_TRUE(clsid == CLSID_TestLocalObject);
    clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromProgID(L"pe.thing", &clsid), S_OK);
    EXPECT_TRUE(clsid == CLSID_TestLocalObject);
    clsid = GUID_NULL;
    ASSERT_EQ(CLSIDFromString(L"Pe.Thing", &clsid), S_OK) << "a ProgID is accepted as a string";
    EXPECT_TRUE(clsid == CLSID_TestLocalObject);
    EXPECT_EQ(CLSIDFromProgID(L"Pe.Nothing", &clsid), CO_E_CLASSSTRING);
    SetDefault(L"Loop\\CurVer", L"Loop");
    EXPECT_EQ(CLSIDFromProgID(L"Loop", &clsid), CO_E_CLASSSTRING);
    LPOLESTR progid = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_TestLocalObject, &progid), S_OK);
    EXPECT_STREQ(progid, L"Pe.Thing.2");
    CoTaskMemFree(progid);
    EXPECT_EQ(ProgIDFromCLSID(CLSID_TestServerObject, &progid), REGDB_E_CLASSNOTREG);
}

TEST_F(PlatformRuntime, ProcessRegisteredClassWinsOverTheRegistryUntilRevoked) {
    // The registry names a library that does not exist: only the in-process
    // registration can satisfy the request.
    SetDefault(ClassKey(CLSID_TestLocalObject) + L"\\InprocServer32", L"/nonexistent/lib.so");
    RecordingFactory* factory = RecordingFactory::Create();
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_TestLocalObject, factory, CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(factory->refs(), 2u);

    ComPtr<IDispatch> obj;
    ASSERT_EQ(
        CoCreateInstance(CLSID_TestLocalObject, nullptr, CLSCTX_ALL, IID_IDispatch, obj.put_void()),
        S_OK);
    EXPECT_EQ(factory->created, 1);
    EXPECT_TRUE(IsEqualIID(factory->last_iid, IID_IDispatch));

    // Aggregation: the outer unknown reaches the factory unchanged.
    CountingObject* outer = CountingObject::Create();
    ComPtr<IUnknown> inner;
    ASSERT_EQ(CoCreateInstance(CLSID_TestLocalObject, outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               inner.put_void()),
              S_OK);
    EXPECT_EQ(factory->last_outer, static_cast<IUnknown*>(outer));
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestLocalObject, outer, CLSCTX_INPROC_SERVER, IID_IDispatch, &p),
        CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    outer->Release();

    ASSERT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(factory->refs(), 1u);
    EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestLocalObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p),
        CO_E_DLLNOTFOUND);
    EXPECT_NE(platform::LastServerLoadError().find("/nonexistent/lib.so"), std::string::npos)
        << platform::LastServerLoadError();
    factory->Release();
}

TEST_F(PlatformRuntime, UnknownClassesAndSingleUseRegistrations) {
    void* p = nullptr;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestLocalObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(CLSID_TestLocalObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               nullptr),
              E_POINTER);
    RecordingFactory* factory = RecordingFactory::Create();
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_TestLocalObject, factory, CLSCTX_LOCAL_SERVER,
                                    REGCLS_SINGLEUSE, &cookie),
              S_OK);
    ComPtr<IClassFactory> first;
    ASSERT_EQ(CoGetClassObject(CLSID_TestLocalObject, CLSCTX_LOCAL_SERVER, nullptr,
                               IID_IClassFactory, first.put_void()),
              S_OK);
    EXPECT_EQ(first.Get(), static_cast<IClassFactory*>(factory));
    EXPECT_EQ(CoGetClassObject(CLSID_TestLocalObject, CLSCTX_LOCAL_SERVER, nullptr,
                               IID_IClassFactory, &p),
              REGDB_E_CLASSNOTREG);
    first.Reset();
    CoRevokeClassObject(cookie);
    factory->Release();
}

TEST_F(PlatformRuntime, ServerModuleIsLoadedOnceAndFreedWhenIdle) {
    RegisterTestServer();
    EXPECT_EQ(platform::LoadedServerCount(), 0);
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(L"Platform.TestServer.1", &clsid), S_OK);
    EXPECT_TRUE(clsid == CLSID_TestServerObject);

    ComPtr<ITestServerObject> a, b;
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITestServerObject, a.put_void()),
        S_OK)
        << platform::LastServerLoadError();
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_ITestServerObject, b.put_void()),
        S_OK);
    EXPECT_EQ(platform::LoadedServerCount(), 1) << "one load per path";
    EXPECT_TRUE(platform::IsServerLoaded(platform::WideFromUtf8(PLATFORM_TEST_SERVER)));
    LONG answer = 0;
    ASSERT_EQ(a->Answer(&answer), S_OK);
    EXPECT_EQ(answer, 44) << "both objects live in the same module";
    EXPECT_EQ(platform::LiveObjectCount("TestServerObject"), 2)
        << "objects inside the module count in the shared table";

    b.Reset();
    CoFreeUnusedLibraries();
    EXPECT_EQ(platform::LoadedServerCount(), 1) << "an object is still alive";
    a.Reset();
    CoFreeUnusedLibraries();
    EXPECT_EQ(platform::LoadedServerCount(), 0);
    void* still_there = dlopen(PLATFORM_TEST_SERVER, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(still_there, nullptr) << "the module was closed";
    if (still_there) {
        dlclose(still_there);
    }

    // Aggregation through a loaded server passes the outer unknown along.
    CountingObject* outer = CountingObject::Create();
    ComPtr<ITestServerObject> inner;
    ComPtr<IUnknown> inner_unknown;
    ASSERT_EQ(CoCreateInstance(clsid, outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               inner_unknown.put_void()),
              S_OK);
    ASSERT_EQ(inner_unknown.QueryInterface(IID_ITestServerObject, &inner), S_OK);
    EXPECT_EQ(inner->Outer(), static_cast<IUnknown*>(outer));
    inner.Reset();
    inner_unknown.Reset();
    outer->Release();
    CoFreeUnusedLibraries();
    EXPECT_EQ(platform::LoadedServerCount(), 0);
}

TEST_F(PlatformRuntime, ServerRegistrationUsesTheModulePathAndUnregistersCleanly) {
    RegisterTestServer();
    wchar_t path[4096];
    DWORD cb = sizeof path;
    ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT,
                           (ClassKey(CLSID_TestServerObject) + L"\\InprocServer32").c_str(),
                           nullptr, RRF_RT_REG_SZ, nullptr, path, &cb),
              ERROR_SUCCESS);
    char real_expected[4096], real_got[4096];
    ASSERT_NE(realpath(PLATFORM_TEST_SERVER, real_expected), nullptr);
    ASSERT_NE(realpath(platform::Utf8FromWide(path).c_str(), real_got), nullptr);
    EXPECT_STREQ(real_got, real_expected);

    HMODULE module = LoadLibraryA(PLATFORM_TEST_SERVER);
    auto unreg = reinterpret_cast<HRESULT (*)()>(GetProcAddress(module, "DllUnregisterServer"));
    ASSERT_NE(unreg, nullptr);
    ASSERT_EQ(unreg(), S_OK);
    FreeLibrary(module);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyW(HKEY_CLASSES_ROOT, ClassKey(CLSID_TestServerObject).c_str(), &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyW(HKEY_CLASSES_ROOT, L"Platform.TestServer.1", &key), ERROR_FILE_NOT_FOUND);
    void* p = nullptr;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestServerObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p),
        REGDB_E_CLASSNOTREG);
}

TEST_F(PlatformRuntime, LibraryWithoutClassObjectExportIsAnErrorInTheDll) {
    // The runtime library itself exports no DllGetClassObject.
    char path[4096];
    HMODULE runtime_module = reinterpret_cast<HMODULE>(reinterpret_cast<void*>(&SysAllocString));
    ASSERT_GT(GetModuleFileNameA(runtime_module, path, sizeof path), 0u);
    EXPECT_NE(std::string(path).find("libpyrplatform"), std::string::npos) << path;
    SetDefault(ClassKey(CLSID_TestLocalObject) + L"\\InprocServer32", platform::WideFromUtf8(path));
    void* p = nullptr;
    EXPECT_EQ(
        CoCreateInstance(CLSID_TestLocalObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p),
        CO_E_ERRORINDLL);
    EXPECT_EQ(platform::LoadedServerCount(), 0);
    EXPECT_EQ(GetModuleFileNameA(runtime_module, path, 4), 4u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::strlen(path), 3u);
}

TEST(PlatformLiveObjects, CountsByKindAndReportsWhatIsAlive) {
    const long before = platform::LiveObjectCount();
    {
        platform::LiveObject a("KindA");
        platform::LiveObject a2 = a;
        platform::LiveObject b("KindB");
        EXPECT_EQ(platform::LiveObjectCount(), before + 3);
        EXPECT_EQ(platform::LiveObjectCount("KindA"), 2);
        const std::string report = platform::LiveObjectReport();
        EXPECT_NE(report.find("KindA=2"), std::string::npos) << report;
        EXPECT_NE(report.find("KindB=1"), std::string::npos) << report;
    }
    EXPECT_EQ(platform::LiveObjectCount(), before);
    EXPECT_EQ(platform::LiveObjectReport().find("KindA"), std::string::npos);
}

TEST(PlatformComPtr, HoldsExactlyOneReference) {
    CountingObject* obj = CountingObject::Create();
    {
        ComPtr<IDispatch> a(obj);
        EXPECT_EQ(obj->refs(), 2u);
        ComPtr<IDispatch> b = a;
        EXPECT_EQ(obj->refs(), 3u);
        ComPtr<IDispatch> c = std::move(b);
        EXPECT_EQ(obj->refs(), 3u);
        EXPECT_FALSE(b);
        ComPtr<IUnknown> u;
        ASSERT_EQ(c.QueryInterface(IID_IUnknown, &u), S_OK);
        EXPECT_EQ(obj->refs(), 4u);
        ComPtr<IClassFactory> f;
        EXPECT_EQ(c.QueryInterface(IID_IClassFactory, &f), E_NOINTERFACE);
        IDispatch* raw = c.Detach();
        EXPECT_EQ(obj->refs(), 4u);
        c.Attach(raw);
        a = c;  // same pointer: no change
        EXPECT_EQ(obj->refs(), 4u);
    }
    EXPECT_EQ(obj->refs(), 1u);
    obj->Release();
}

}  // namespace
