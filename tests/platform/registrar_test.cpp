// The registrar: what a script creates, replaces, keeps and removes.

#include <gtest/gtest.h>

#include <string>

#include "platform/com.h"

namespace {

class PlatformRegistrar : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::RegistryClear();
        registrar.AddReplacement(L"MODULE", L"/opt/pe/libutility.so");
    }
    void TearDown() override { platform::RegistryClear(); }

    static bool Exists(const std::wstring& path) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }
    static std::wstring Text(const std::wstring& path, const wchar_t* name = nullptr) {
        wchar_t buf[256];
        DWORD cb = sizeof buf;
        if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &cb) !=
            ERROR_SUCCESS) {
            return L"<missing>";
        }
        return buf;
    }
    static void Create(const std::wstring& path) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, path.c_str(), &key), ERROR_SUCCESS);
        RegCloseKey(key);
    }

    platform::Registrar registrar;
};

const wchar_t kServerScript[] =
    LR"(
HKCR
{
    Pe.Utility.1 = s 'Phase envelope utility'
    {
        CLSID = s '{11111111-2222-3333-4444-555555555555}'
    }
    Pe.Utility = s 'Phase envelope utility'
    {
        CurVer = s 'Pe.Utility.1'
    }
    NoRemove CLSID
    {
        ForceRemove {11111111-2222-3333-4444-555555555555} = s 'Phase envelope utility'
        {
            ProgID = s 'Pe.Utility.1'
            InprocServer32 = s '%MODULE%'
            {
                val ThreadingModel = s 'Apartment'
            }
            val Flags = d '0x10'
            'Implemented Categories'
            {
                '{AAAAAAAA-0000-0000-0000-000000000001}'
            }
        }
    }
}
)";

const std::wstring kClass = L"CLSID\\{11111111-2222-3333-4444-555555555555}";

TEST_F(PlatformRegistrar, RegisterCreatesKeysValuesAndSubstitutesTheModule) {
    ASSERT_EQ(registrar.Register(kServerScript), S_OK) << registrar.LastError();
    EXPECT_EQ(Text(L"Pe.Utility.1"), L"Phase envelope utility");
    EXPECT_EQ(Text(L"Pe.Utility.1\\CLSID"), L"{11111111-2222-3333-4444-555555555555}");
    EXPECT_EQ(Text(L"Pe.Utility\\CurVer"), L"Pe.Utility.1");
    EXPECT_EQ(Text(kClass + L"\\InprocServer32"), L"/opt/pe/libutility.so");
    EXPECT_EQ(Text(kClass + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_TRUE(
        Exists(kClass + L"\\Implemented Categories\\{AAAAAAAA-0000-0000-0000-000000000001}"));
    DWORD flags = 0, cb = 4;
    ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, kClass.c_str(), L"Flags", RRF_RT_REG_DWORD, nullptr,
                           &flags, &cb),
              ERROR_SUCCESS);
    EXPECT_EQ(flags, 0x10u);
}

TEST_F(PlatformRegistrar, ForceRemoveReplacesTheWholeExistingTree) {
    Create(kClass + L"\\Stale\\Deeper");
    ASSERT_EQ(registrar.Register(kServerScript), S_OK) << registrar.LastError();
    EXPECT_FALSE(Exists(kClass + L"\\Stale"));
    EXPECT_TRUE(Exists(kClass + L"\\InprocServer32"));
}

TEST_F(PlatformRegistrar, UnregisterRemovesScriptKeysButKeepsNoRemoveAndForeignKeys) {
    Create(L"CLSID\\{99999999-0000-0000-0000-000000000000}");  // another server's class
    ASSERT_EQ(registrar.Register(kServerScript), S_OK);
    Create(L"Pe.Utility\\Foreign");  // added by someone else under a scripted key
    ASSERT_EQ(registrar.Unregister(kServerScript), S_OK) << registrar.LastError();
    EXPECT_FALSE(Exists(kClass));
    EXPECT_FALSE(Exists(L"Pe.Utility.1"));
    EXPECT_TRUE(Exists(L"CLSID")) << "NoRemove key kept";
    EXPECT_TRUE(Exists(L"CLSID\\{99999999-0000-0000-0000-000000000000}"));
    EXPECT_TRUE(Exists(L"Pe.Utility\\Foreign"));
    EXPECT_FALSE(Exists(L"Pe.Utility\\CurVer"));
    // Unregistering again finds nothing to do and still succeeds.
    EXPECT_EQ(registrar.Unregister(kServerScript), S_OK);
}

TEST_F(PlatformRegistrar, NoRemoveKeepsTheKeyButRemovesItsScriptedValuesAndChildren) {
    const wchar_t script[] =
        LR"(
        HKCR {
            NoRemove Shared {
                val Mine = s 'x'
                Child
            }
        })";
    ASSERT_EQ(registrar.Register(script), S_OK);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyW(HKEY_CLASSES_ROOT, L"Shared", &key), ERROR_SUCCESS);
    const wchar_t other[] = L"y";
    RegSetValueExW(key, L"Theirs", 0, REG_SZ, reinterpret_cast<const BYTE*>(other), sizeof other);
    RegCloseKey(key);
    ASSERT_EQ(registrar.Unregister(script), S_OK);
    EXPECT_TRUE(Exists(L"Shared"));
    EXPECT_FALSE(Exists(L"Shared\\Child"));
    EXPECT_EQ(Text(L"Shared", L"Mine"), L"<missing>");
    EXPECT_EQ(Text(L"Shared", L"Theirs"), L"y");
}

TEST_F(PlatformRegistrar, QuotingReplacementsAndDeleteKeyword) {
    registrar.AddReplacement(L"clsid", L"{22222222-0000-0000-0000-000000000000}");
    Create(L"Obsolete\\Sub");
    const wchar_t script[] =
        LR"(
        HKEY_CLASSES_ROOT {
            Delete Obsolete
            'Name with spaces' = s 'it''s 100%% done'
            {
                %CLSID% = s 'path=%MODULE%'
                val 'Bytes' = b '00ff10'
            }
        })";
    ASSERT_EQ(registrar.Register(script), S_OK) << registrar.LastError();
    EXPECT_FALSE(Exists(L"Obsolete"));
    EXPECT_EQ(Text(L"Name with spaces"), L"it's 100% done");
    EXPECT_EQ(Text(L"Name with spaces\\{22222222-0000-0000-0000-000000000000}"),
              L"path=/opt/pe/libutility.so");
    BYTE bytes[4] = {};
    DWORD cb = sizeof bytes;
    ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, L"Name with spaces", L"Bytes", RRF_RT_REG_BINARY,
                           nullptr, bytes, &cb),
              ERROR_SUCCESS);
    ASSERT_EQ(cb, 3u);
    EXPECT_EQ(bytes[1], 0xff);
    EXPECT_EQ(bytes[2], 0x10);
}

TEST_F(PlatformRegistrar, ScriptErrorsAreReportedWithTheirLineAndChangeNothing) {
    struct Case {
        const wchar_t* script;
        const char* line;
    };
    const Case cases[] = {
        {L"HKCR\n{\n  A = s 'x'\n  B = s '%NOPE%'\n}", "line 4"},
        {L"HKCR\n{\n  A\n  {\n    B\n", "line 6"},
        {L"HKCR\n{\n  A = d 'twelve'\n}", "line 3"},
        {L"HKCR\n{\n  A = q 'x'\n}", "line 3"},
        {L"HKXX { A }", "line 1"},
        {L"HKCR { A = s 'unterminated }", "line 1"},
        {L"HKCR { val V = s 'x' }", "line 1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(registrar.Register(c.script), REGISTRAR_E_SYNTAX)
            << platform::Utf8FromWide(c.script);
        EXPECT_NE(registrar.LastError().find(c.line), std::string::npos)
            << registrar.LastError() << " for " << platform::Utf8FromWide(c.script);
        EXPECT_EQ(platform::RegistryExport(), "") << "nothing written";
    }
}

TEST_F(PlatformRegistrar, SetModuleUsesThePathOfTheGivenModule) {
    platform::Registrar r;
    ASSERT_EQ(r.SetModule(platform::ThisModule()), S_OK);
    ASSERT_EQ(r.Register(L"HKCR { Where = s '%MODULE%' }"), S_OK) << r.LastError();
    char exe[4096];
    DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(platform::Utf8FromWide(Text(L"Where")), std::string(exe, n));
}

}  // namespace
