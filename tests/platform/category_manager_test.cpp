// The built-in component-category manager: registry layout, descriptions by
// locale, class enumeration by implemented and required categories.

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "platform/com.h"

using platform::ComPtr;

namespace {

// clang-format off
DEFINE_GUID(CATID_Solvers, 0xC0000001, 0x0000, 0x0000, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01);
DEFINE_GUID(CATID_Plots, 0xC0000002, 0x0000, 0x0000, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02);
DEFINE_GUID(CATID_Needed, 0xC0000003, 0x0000, 0x0000, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03);
DEFINE_GUID(CLSID_Both, 0xA0000001, 0x0000, 0x0000, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01);
DEFINE_GUID(CLSID_SolverOnly, 0xA0000002, 0x0000, 0x0000, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02);
DEFINE_GUID(CLSID_Demanding, 0xA0000003, 0x0000, 0x0000, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03);
// clang-format on

CATEGORYINFO Info(REFGUID catid, LCID lcid, const wchar_t* text) {
    CATEGORYINFO info{};
    info.catid = catid;
    info.lcid = lcid;
    std::wcsncpy(info.szDescription, text, 127);
    return info;
}

std::vector<GUID> Drain(IEnumGUID* e) {
    std::vector<GUID> out;
    GUID g;
    ULONG n = 0;
    while (e->Next(1, &g, &n) == S_OK) {
        out.push_back(g);
    }
    return out;
}

bool Contains(const std::vector<GUID>& v, REFGUID g) {
    return std::any_of(v.begin(), v.end(), [&](const GUID& x) { return IsEqualGUID(x, g); });
}

class PlatformCategoryManager : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::RegistryClear();
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        live_before_ = platform::LiveObjectCount();
        ASSERT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICatRegister, reg_.put_void()),
                  S_OK);
        ASSERT_EQ(reg_.QueryInterface(IID_ICatInformation, &info_), S_OK);
    }
    void TearDown() override {
        reg_.Reset();
        info_.Reset();
        EXPECT_EQ(platform::LiveObjectCount(), live_before_) << platform::LiveObjectReport();
        CoUninitialize();
        platform::RegistryClear();
    }

    void RegisterClasses() {
        CATID both[] = {CATID_Solvers, CATID_Plots};
        CATID solver[] = {CATID_Solvers};
        CATID needed[] = {CATID_Needed};
        ASSERT_EQ(reg_->RegisterClassImplCategories(CLSID_Both, 2, both), S_OK);
        ASSERT_EQ(reg_->RegisterClassImplCategories(CLSID_SolverOnly, 1, solver), S_OK);
        ASSERT_EQ(reg_->RegisterClassImplCategories(CLSID_Demanding, 1, solver), S_OK);
        ASSERT_EQ(reg_->RegisterClassReqCategories(CLSID_Demanding, 1, needed), S_OK);
    }

    ComPtr<ICatRegister> reg_;
    ComPtr<ICatInformation> info_;
    long live_before_ = 0;
};

TEST_F(PlatformCategoryManager, CategoriesAreStoredAsWindowsStoresThem) {
    CATEGORYINFO cats[] = {Info(CATID_Solvers, 0x409, L"Envelope utilities"),
                           Info(CATID_Solvers, 0x407, L"Huellkurven")};
    ASSERT_EQ(reg_->RegisterCategories(2, cats), S_OK);
    CATID solver[] = {CATID_Solvers};
    ASSERT_EQ(reg_->RegisterClassImplCategories(CLSID_Both, 1, solver), S_OK);

    wchar_t text[64];
    DWORD cb = sizeof text;
    ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT,
                           L"Component Categories\\{C0000001-0000-0000-8000-000000000001}", L"409",
                           RRF_RT_REG_SZ, nullptr, text, &cb),
              ERROR_SUCCESS);
    EXPECT_STREQ(text, L"Envelope utilities");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyW(HKEY_CLASSES_ROOT,
                          L"CLSID\\{A0000001-0000-0000-8000-000000000001}\\Implemented "
                          L"Categories\\{C0000001-0000-0000-8000-000000000001}",
                          &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(PlatformCategoryManager, DescriptionFallsBackFromLocaleToLanguageToAny) {
    CATEGORYINFO cats[] = {Info(CATID_Solvers, 0x409, L"English"),
                           Info(CATID_Solvers, 0x407, L"Deutsch")};
    ASSERT_EQ(reg_->RegisterCategories(2, cats), S_OK);
    struct Case {
        LCID lcid;
        const wchar_t* want;
    };
    for (const Case& c : {Case{0x407, L"Deutsch"}, Case{0x409, L"English"}, Case{0x809, L"English"},
                          Case{0x40C, nullptr}}) {
        LPWSTR desc = nullptr;
        ASSERT_EQ(info_->GetCategoryDesc(CATID_Solvers, c.lcid, &desc), S_OK);
        if (c.want) {
            EXPECT_STREQ(desc, c.want) << std::hex << c.lcid;
        } else {
            EXPECT_TRUE(std::wcscmp(desc, L"English") == 0 || std::wcscmp(desc, L"Deutsch") == 0);
        }
        CoTaskMemFree(desc);
    }
    LPWSTR desc = nullptr;
    EXPECT_EQ(info_->GetCategoryDesc(CATID_Plots, 0x409, &desc), CAT_E_CATIDNOEXIST);
    CATID plots[] = {CATID_Plots};
    CATID* none = nullptr;
    ASSERT_EQ(reg_->RegisterClassImplCategories(CLSID_Both, 0, none), S_OK);
    HKEY key = nullptr;
    RegCreateKeyW(HKEY_CLASSES_ROOT,
                  L"Component Categories\\{C0000002-0000-0000-8000-000000000002}", &key);
    RegCloseKey(key);
    EXPECT_EQ(info_->GetCategoryDesc(plots[0], 0x409, &desc), CAT_E_NODESCRIPTION);
}

TEST_F(PlatformCategoryManager, ClassesAreEnumeratedByAllImplementedCategories) {
    RegisterClasses();
    const ULONG kAny = static_cast<ULONG>(-1);
    const CATID solver[] = {CATID_Solvers};
    const CATID both[] = {CATID_Solvers, CATID_Plots};
    ComPtr<IEnumGUID> e;
    ASSERT_EQ(info_->EnumClassesOfCategories(1, solver, kAny, nullptr, e.put()), S_OK);
    std::vector<GUID> classes = Drain(e.Get());
    EXPECT_EQ(classes.size(), 3u);
    ASSERT_EQ(info_->EnumClassesOfCategories(2, both, kAny, nullptr, e.put()), S_OK);
    classes = Drain(e.Get());
    ASSERT_EQ(classes.size(), 1u);
    EXPECT_TRUE(classes[0] == CLSID_Both);

    // Required categories: a class qualifies only if the caller offers all
    // the categories it requires.
    ASSERT_EQ(info_->EnumClassesOfCategories(1, solver, 0, nullptr, e.put()), S_OK);
    classes = Drain(e.Get());
    EXPECT_EQ(classes.size(), 2u);
    EXPECT_FALSE(Contains(classes, CLSID_Demanding));
    const CATID offered[] = {CATID_Needed};
    ASSERT_EQ(info_->EnumClassesOfCategories(1, solver, 1, offered, e.put()), S_OK);
    EXPECT_TRUE(Contains(Drain(e.Get()), CLSID_Demanding));

    EXPECT_EQ(info_->IsClassOfCategories(CLSID_SolverOnly, 1, solver, kAny, nullptr), S_OK);
    EXPECT_EQ(info_->IsClassOfCategories(CLSID_SolverOnly, 2, both, kAny, nullptr), S_FALSE);
    EXPECT_EQ(info_->IsClassOfCategories(CLSID_SolverOnly, 1, nullptr, kAny, nullptr), E_POINTER);
}

TEST_F(PlatformCategoryManager, EnumeratorsFollowTheNextSkipResetCloneContract) {
    RegisterClasses();
    ComPtr<IEnumGUID> e;
    ASSERT_EQ(info_->EnumImplCategoriesOfClass(CLSID_Both, e.put()), S_OK);
    GUID got[4];
    ULONG n = 0;
    EXPECT_EQ(e->Next(4, got, &n), S_FALSE);
    ASSERT_EQ(n, 2u);
    EXPECT_TRUE(Contains({got[0], got[1]}, CATID_Solvers));
    EXPECT_TRUE(Contains({got[0], got[1]}, CATID_Plots));
    EXPECT_EQ(e->Next(2, got, nullptr), E_POINTER) << "a count needs somewhere to go";
    ASSERT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Skip(1), S_OK);
    ComPtr<IEnumGUID> clone;
    ASSERT_EQ(e->Clone(clone.put()), S_OK);
    EXPECT_EQ(clone->Next(1, got, &n), S_OK);
    EXPECT_EQ(e->Next(1, &got[1], &n), S_OK);
    EXPECT_TRUE(got[0] == got[1]) << "the clone starts where the original stood";
    EXPECT_EQ(e->Skip(1), S_FALSE);

    ComPtr<IEnumCATEGORYINFO> cats;
    CATEGORYINFO ci[] = {Info(CATID_Plots, 0x409, L"Plots")};
    ASSERT_EQ(reg_->RegisterCategories(1, ci), S_OK);
    ASSERT_EQ(info_->EnumCategories(0x409, cats.put()), S_OK);
    CATEGORYINFO out[2];
    EXPECT_EQ(cats->Next(2, out, &n), S_FALSE);
    ASSERT_EQ(n, 1u);
    EXPECT_STREQ(out[0].szDescription, L"Plots");
}

TEST_F(PlatformCategoryManager, UnregisteringRemovesLinksAndEmptyParents) {
    RegisterClasses();
    CATID both[] = {CATID_Solvers, CATID_Plots};
    ASSERT_EQ(reg_->UnRegisterClassImplCategories(CLSID_Both, 2, both), S_OK);
    HKEY key = nullptr;
    EXPECT_EQ(
        RegOpenKeyW(HKEY_CLASSES_ROOT,
                    L"CLSID\\{A0000001-0000-0000-8000-000000000001}\\Implemented Categories", &key),
        ERROR_FILE_NOT_FOUND);
    CATEGORYINFO ci[] = {Info(CATID_Plots, 0x409, L"Plots")};
    ASSERT_EQ(reg_->RegisterCategories(1, ci), S_OK);
    CATID plots[] = {CATID_Plots};
    ASSERT_EQ(reg_->UnRegisterCategories(1, plots), S_OK);
    LPWSTR desc = nullptr;
    EXPECT_EQ(info_->GetCategoryDesc(CATID_Plots, 0x409, &desc), CAT_E_CATIDNOEXIST);
}

TEST_F(PlatformCategoryManager, RefusesAggregationLikeAnyBuiltInClass) {
    ComPtr<IUnknown> outer;
    ASSERT_EQ(reg_.QueryInterface(IID_IUnknown, &outer), S_OK);
    void* p = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, outer.Get(), CLSCTX_INPROC_SERVER,
                               IID_IUnknown, &p),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_LOCAL_SERVER,
                               IID_IUnknown, &p),
              REGDB_E_CLASSNOTREG)
        << "the built-in class is in-process only";
}

}  // namespace
