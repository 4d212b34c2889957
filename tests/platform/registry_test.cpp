// The in-memory registry: keys, values, handles, enumeration, persistence.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/com.h"

namespace {

class PlatformRegistry : public ::testing::Test {
  protected:
    void SetUp() override { platform::RegistryClear(); }
    void TearDown() override { platform::RegistryClear(); }

    static void SetString(HKEY key, const wchar_t* name, const std::wstring& text) {
        ASSERT_EQ(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    static std::wstring GetString(HKEY root, const wchar_t* path, const wchar_t* name) {
        wchar_t buf[256];
        DWORD cb = sizeof buf;
        DWORD type = 0;
        if (RegGetValueW(root, path, name, RRF_RT_REG_SZ, &type, buf, &cb) != ERROR_SUCCESS) {
            return L"<missing>";
        }
        return buf;
    }
};

TEST_F(PlatformRegistry, KeysAreCreatedWithEveryLevelAndFoundIgnoringCase) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{ABC}\\InprocServer32", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    SetString(key, nullptr, L"/opt/lib/server.so");
    RegCloseKey(key);

    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"clsid\\{abc}", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);
    EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, L"Clsid\\{Abc}\\INPROCSERVER32", nullptr),
              L"/opt/lib/server.so");
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID\\{DEF}", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"CLSID", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND)
        << "roots are separate trees";
}

TEST_F(PlatformRegistry, QueryReportsSizesTypesAndShortBuffers) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\Test", &key), ERROR_SUCCESS);
    SetString(key, L"Name", L"abc");
    const DWORD answer = 42;
    ASSERT_EQ(
        RegSetValueExW(key, L"Answer", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&answer), 4),
        ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, L"Bad", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&answer), 2),
              ERROR_INVALID_PARAMETER);

    DWORD type = 0, cb = 0;
    ASSERT_EQ(RegQueryValueExW(key, L"name", nullptr, &type, nullptr, &cb), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(cb, 4 * sizeof(wchar_t)) << "text size includes the terminator";
    wchar_t small[2];
    cb = sizeof small;
    EXPECT_EQ(RegQueryValueExW(key, L"Name", nullptr, &type, reinterpret_cast<LPBYTE>(small), &cb),
              ERROR_MORE_DATA);
    EXPECT_EQ(cb, 4 * sizeof(wchar_t));

    DWORD got = 0;
    cb = sizeof got;
    ASSERT_EQ(RegQueryValueExW(key, L"ANSWER", nullptr, &type, reinterpret_cast<LPBYTE>(&got), &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(got, 42u);
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &cb), ERROR_FILE_NOT_FOUND)
        << "a default value never set does not exist";
    EXPECT_EQ(RegGetValueW(key, nullptr, L"Answer", RRF_RT_REG_SZ, nullptr, nullptr, &cb),
              ERROR_UNSUPPORTED_TYPE);

    // A text value set without its terminator reads back terminated.
    const wchar_t raw[] = {L'x', L'y'};
    ASSERT_EQ(
        RegSetValueExW(key, L"Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), sizeof raw),
        ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, nullptr, L"Raw"), L"xy");
    ASSERT_EQ(RegDeleteValueW(key, L"raw"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key, L"raw"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(PlatformRegistry, DeleteKeyNeedsAnEmptyKeyAndHandlesSeeTheDeletion) {
    HKEY leaf = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, L"A\\B\\C", &leaf), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, L"A\\B"), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, L"A\\B"), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(leaf, L"v", 0, REG_SZ, nullptr, 0), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(leaf), ERROR_SUCCESS);
    HKEY a = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"A", 0, KEY_READ, &a), ERROR_SUCCESS);
    DWORD subkeys = 99;
    RegQueryInfoKeyW(a, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr);
    EXPECT_EQ(subkeys, 0u);
    RegCloseKey(a);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, L"A"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, L"A"), ERROR_FILE_NOT_FOUND);
}

TEST_F(PlatformRegistry, SubkeysEnumerateInCaseInsensitiveOrderKeepingTheirCase) {
    for (const wchar_t* name : {L"beta", L"Alpha", L"GAMMA"}) {
        HKEY k = nullptr;
        ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, (std::wstring(L"Root\\") + name).c_str(), &k),
                  ERROR_SUCCESS);
        RegCloseKey(k);
    }
    HKEY root = nullptr;
    ASSERT_EQ(RegOpenKeyW(HKEY_CLASSES_ROOT, L"Root", &root), ERROR_SUCCESS);
    std::vector<std::wstring> names;
    wchar_t buf[16];
    for (DWORD i = 0;; ++i) {
        DWORD cch = 16;
        LONG r = RegEnumKeyExW(root, i, buf, &cch, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) {
            break;
        }
        ASSERT_EQ(r, ERROR_SUCCESS);
        EXPECT_EQ(cch, std::wcslen(buf));
        names.push_back(buf);
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Alpha", L"beta", L"GAMMA"}));
    DWORD cch = 3;
    EXPECT_EQ(RegEnumKeyExW(root, 0, buf, &cch, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    RegCloseKey(root);
}

TEST_F(PlatformRegistry, NarrowFunctionsConvertNamesAndTextFromUtf8) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "Caf\xC3\xA9", &key), ERROR_SUCCESS);
    const char text[] = "\xE2\x82\xAC 5";
    ASSERT_EQ(
        RegSetValueExA(key, "Price", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
        ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, L"CAF\u00C9", L"Price"), L"\u20AC 5");
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "Caf\xC3\xA9", 0, KEY_READ, &key), ERROR_SUCCESS);
    char back[16];
    DWORD cb = sizeof back;
    ASSERT_EQ(RegQueryValueExA(key, "price", nullptr, nullptr, reinterpret_cast<LPBYTE>(back), &cb),
              ERROR_SUCCESS);
    EXPECT_STREQ(back, text);
    EXPECT_EQ(cb, sizeof text);
    RegCloseKey(key);
}

TEST_F(PlatformRegistry, SaveClearLoadRestoresTheSameTree) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, L"Odd \"name\"\\Empty", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, L"CLSID\\{1}", &key), ERROR_SUCCESS);
    SetString(key, nullptr, L"quote \" back\\slash\nnew line \u03A9");
    SetString(key, L"Empty", L"");
    const DWORD d = 0xFFFFFFFFu;
    RegSetValueExW(key, L"D", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d), 4);
    const uint64_t q = 1234567890123ull;
    RegSetValueExW(key, L"Q", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&q), 8);
    const BYTE bin[] = {0, 1, 0xfe};
    RegSetValueExW(key, L"Bin", 0, REG_BINARY, bin, sizeof bin);
    const wchar_t multi[] = L"a\0b\0";
    RegSetValueExW(key, L"Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi),
                   sizeof multi);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, L"Software\\X", &key), ERROR_SUCCESS);
    SetString(key, L"v", L"machine");
    RegCloseKey(key);

    const std::string before = platform::RegistryExport();
    const std::string path = ::testing::TempDir() + "platform_registry_roundtrip.txt";
    ASSERT_EQ(platform::RegistrySave(path), S_OK);
    platform::RegistryClear();
    EXPECT_EQ(platform::RegistryExport(), "");
    ASSERT_EQ(platform::RegistryLoad(path), S_OK);
    std::remove(path.c_str());
    EXPECT_EQ(platform::RegistryExport(), before);

    EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, L"CLSID\\{1}", nullptr),
              L"quote \" back\\slash\nnew line \u03A9");
    EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, L"Software\\X", L"v"), L"machine");
    ASSERT_EQ(RegOpenKeyW(HKEY_CLASSES_ROOT, L"Odd \"name\"\\Empty", &key), ERROR_SUCCESS);
    RegCloseKey(key);
    DWORD got_d = 0, cb = 4;
    RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{1}", L"D", RRF_RT_REG_DWORD, nullptr, &got_d, &cb);
    EXPECT_EQ(got_d, d);
    BYTE got_bin[8];
    cb = sizeof got_bin;
    DWORD type = 0;
    RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\{1}", L"Bin", RRF_RT_ANY, &type, got_bin, &cb);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(cb, 3u);
    EXPECT_EQ(got_bin[2], 0xfe);
}

TEST_F(PlatformRegistry, MalformedTextChangesNothing) {
    const std::string text =
        "[HKEY_CLASSES_ROOT\\Good]\n"
        "\"v\"=sz:\"ok\"\n"
        "\"w\"=dword:notanumber\n";
    std::string error;
    EXPECT_EQ(platform::RegistryImport(text, &error), E_INVALIDARG);
    EXPECT_NE(error.find("line 3"), std::string::npos) << error;
    EXPECT_EQ(platform::RegistryExport(), "");
    EXPECT_EQ(platform::RegistryImport("[HKEY_NOWHERE\\X]\n"), E_INVALIDARG);
    EXPECT_EQ(platform::RegistryImport("\"v\"=sz:\"value before any key\"\n"), E_INVALIDARG);
    EXPECT_EQ(platform::RegistryLoad("/nonexistent/dir/registry.txt"),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

}  // namespace
