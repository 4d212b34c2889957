// BSTR, VARIANT and SAFEARRAY: lengths, ownership and reference counts.

#include <gtest/gtest.h>

#include <cstring>

#include "platform/com.h"
#include "test_objects.h"

using platform_test::CountingObject;

namespace {

TEST(PlatformBstr, LengthsCountCharactersAndBytesIncludingEmbeddedNulls) {
    const OLECHAR text[] = {L'a', L'\0', L'b', L'c'};
    BSTR s = SysAllocStringLen(text, 4);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 4u);
    EXPECT_EQ(SysStringByteLen(s), 4u * sizeof(OLECHAR));
    EXPECT_EQ(s[2], L'b');
    EXPECT_EQ(s[4], L'\0') << "a BSTR is always null-terminated";
    uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 4u * sizeof(OLECHAR)) << "byte length stored just before the characters";
    SysFreeString(s);
}

TEST(PlatformBstr, AllocWithoutSourceGivesZeroedCharacters) {
    BSTR s = SysAllocStringLen(nullptr, 5);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 5u);
    for (int i = 0; i <= 5; ++i) {
        EXPECT_EQ(s[i], L'\0');
    }
    SysFreeString(s);
}

TEST(PlatformBstr, NullIsTheEmptyStringEverywhere) {
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);
    BSTR empty = SysAllocString(L"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
}

TEST(PlatformBstr, ByteLengthNeedNotBeAWholeCharacter) {
    BSTR s = SysAllocStringByteLen("abc", 3);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringByteLen(s), 3u);
    EXPECT_EQ(SysStringLen(s), 3u / sizeof(OLECHAR));
    EXPECT_EQ(std::memcmp(s, "abc", 3), 0);
    SysFreeString(s);
}

TEST(PlatformBstr, ReAllocReplacesAndMayReadFromItself) {
    BSTR s = SysAllocString(L"hello world");
    ASSERT_TRUE(SysReAllocString(&s, s + 6));  // source inside the old string
    EXPECT_STREQ(s, L"world");
    EXPECT_EQ(SysStringLen(s), 5u);
    ASSERT_TRUE(SysReAllocStringLen(&s, nullptr, 2));
    EXPECT_EQ(SysStringLen(s), 2u);
    SysFreeString(s);
}

TEST(PlatformBstrWrapper, Utf8RoundTripOutsideTheBasicPlane) {
    const std::string text = "T=300 K, \xCE\xA9, \xE2\x82\xAC, \xF0\x9D\x84\x9E";  // Ω € 𝄞
    platform::Bstr b(text);
    EXPECT_EQ(b.ToUtf8(), text);
    platform::Bstr copy = b;
    EXPECT_NE(copy.Get(), b.Get()) << "copies own separate strings";
    EXPECT_EQ(copy, b);
    BSTR detached = copy.Detach();
    EXPECT_EQ(copy.Get(), nullptr);
    SysFreeString(detached);
}

TEST(PlatformBstrWrapper, InvalidUtf8BecomesReplacementCharacters) {
    const std::string bad = "a\xC3(b\xF0\x9D";
    const std::wstring w = platform::WideFromUtf8(bad);
    EXPECT_EQ(w, std::wstring(L"a\xFFFD(b\xFFFD"));
}

// --- VARIANT -----------------------------------------------------------------

TEST(PlatformVariant, CopyDuplicatesStringsAndClearFreesThem) {
    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    V_VT(&a) = VT_BSTR;
    V_BSTR(&a) = SysAllocString(L"methane");
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_EQ(V_VT(&b), VT_BSTR);
    EXPECT_NE(V_BSTR(&b), V_BSTR(&a));
    EXPECT_STREQ(V_BSTR(&b), L"methane");
    EXPECT_EQ(VariantClear(&a), S_OK);
    EXPECT_EQ(V_VT(&a), VT_EMPTY);
    EXPECT_STREQ(V_BSTR(&b), L"methane") << "the copy survives the original";
    EXPECT_EQ(VariantCopy(&b, &b), S_OK) << "self copy is a no-op";
    EXPECT_STREQ(V_BSTR(&b), L"methane");
    VariantClear(&b);
}

TEST(PlatformVariant, InterfacesAreAddRefedByCopyAndReleasedByClear) {
    CountingObject* obj = CountingObject::Create();  // refs 1 (ours)
    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    V_VT(&a) = VT_DISPATCH;
    V_DISPATCH(&a) = obj;
    obj->AddRef();  // the variant's reference
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    EXPECT_EQ(obj->refs(), 3u);
    EXPECT_EQ(V_DISPATCH(&b), obj);
    VariantClear(&a);
    EXPECT_EQ(obj->refs(), 2u);
    // Copying over a variant that holds an interface releases it first.
    VARIANT r8;
    VariantInit(&r8);
    V_VT(&r8) = VT_R8;
    V_R8(&r8) = 1.5;
    ASSERT_EQ(VariantCopy(&b, &r8), S_OK);
    EXPECT_EQ(obj->refs(), 1u);
    EXPECT_EQ(V_R8(&b), 1.5);
    obj->Release();
}

TEST(PlatformVariant, ArraysAreCopiedDeeplyAndDestroyedByClear) {
    CountingObject* obj = CountingObject::Create();
    SAFEARRAY* sa = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    LONG i = 0;
    VARIANT e;
    VariantInit(&e);
    V_VT(&e) = VT_BSTR;
    V_BSTR(&e) = SysAllocString(L"x");
    ASSERT_EQ(SafeArrayPutElement(sa, &i, &e), S_OK);
    VariantClear(&e);
    V_VT(&e) = VT_UNKNOWN;
    V_UNKNOWN(&e) = obj;  // borrowed: PutElement takes its own reference
    i = 1;
    ASSERT_EQ(SafeArrayPutElement(sa, &i, &e), S_OK);
    EXPECT_EQ(obj->refs(), 2u);

    VARIANT a, b;
    VariantInit(&a);
    VariantInit(&b);
    V_VT(&a) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(&a) = sa;
    ASSERT_EQ(VariantCopy(&b, &a), S_OK);
    ASSERT_NE(V_ARRAY(&b), sa);
    EXPECT_EQ(obj->refs(), 3u);
    VARIANT* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(V_ARRAY(&b), reinterpret_cast<void**>(&data)), S_OK);
    VARIANT* orig = static_cast<VARIANT*>(sa->pvData);
    EXPECT_NE(V_BSTR(&data[0]), V_BSTR(&orig[0]));
    EXPECT_STREQ(V_BSTR(&data[0]), L"x");
    SafeArrayUnaccessData(V_ARRAY(&b));

    VariantClear(&a);
    EXPECT_EQ(obj->refs(), 2u);
    VariantClear(&b);
    EXPECT_EQ(obj->refs(), 1u);
    obj->Release();
}

TEST(PlatformVariant, ClearRefusesUnknownTypesAndLockedArrays) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = 0x0FF0;
    EXPECT_EQ(VariantClear(&v), DISP_E_BADVARTYPE);
    V_VT(&v) = VT_ARRAY | VT_R8;
    V_ARRAY(&v) = SafeArrayCreateVector(VT_R8, 0, 1);
    void* data;
    SafeArrayAccessData(V_ARRAY(&v), &data);
    EXPECT_EQ(VariantClear(&v), DISP_E_ARRAYISLOCKED);
    SafeArrayUnaccessData(V_ARRAY(&v));
    EXPECT_EQ(VariantClear(&v), S_OK);
}

TEST(PlatformVariant, CopyIndDereferencesByRefValues) {
    BSTR s = SysAllocString(L"ref");
    VARIANT ref, out;
    VariantInit(&ref);
    VariantInit(&out);
    V_VT(&ref) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&ref) = &s;
    ASSERT_EQ(VariantCopyInd(&out, &ref), S_OK);
    EXPECT_EQ(V_VT(&out), VT_BSTR);
    EXPECT_NE(V_BSTR(&out), s);
    EXPECT_STREQ(V_BSTR(&out), L"ref");
    VariantClear(&out);
    EXPECT_EQ(VariantClear(&ref), S_OK) << "clearing a by-ref variant leaves the target alone";
    EXPECT_STREQ(s, L"ref");
    SysFreeString(s);
}

TEST(PlatformVariantChangeType, NumericConversionsRoundHalfToEvenAndCheckRange) {
    VARIANT src, dst;
    VariantInit(&src);
    VariantInit(&dst);
    V_VT(&src) = VT_R8;
    const double in[] = {2.5, 3.5, -2.5, 2.4999};
    const LONG want[] = {2, 4, -2, 2};
    for (int k = 0; k < 4; ++k) {
        V_R8(&src) = in[k];
        ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_I4), S_OK);
        EXPECT_EQ(V_VT(&dst), VT_I4);
        EXPECT_EQ(V_I4(&dst), want[k]) << in[k];
    }
    V_R8(&src) = 40000.0;
    EXPECT_EQ(VariantChangeType(&dst, &src, 0, VT_I2), DISP_E_OVERFLOW);
    V_VT(&src) = VT_BOOL;
    V_BOOL(&src) = VARIANT_TRUE;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_R8), S_OK);
    EXPECT_EQ(V_R8(&dst), -1.0);
    V_VT(&src) = VT_I4;
    V_I4(&src) = 7;
    ASSERT_EQ(VariantChangeType(&dst, &src, 0, VT_BOOL), S_OK);
    EXPECT_EQ(V_BOOL(&dst), VARIANT_TRUE);
}

TEST(PlatformVariantChangeType, TextConversionsBothWaysAndInPlace) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(L" 12.5 ");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_R8), S_OK);  // frees the old BSTR
    EXPECT_EQ(V_VT(&v), VT_R8);
    EXPECT_DOUBLE_EQ(V_R8(&v), 12.5);
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_BSTR), S_OK);
    EXPECT_STREQ(V_BSTR(&v), L"12.5");
    VariantClear(&v);

    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(L"12 kPa");
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(VariantChangeType(&out, &v, 0, VT_R8), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(V_VT(&out), VT_EMPTY) << "a failed conversion leaves the destination";
    VariantClear(&v);

    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = VARIANT_FALSE;
    ASSERT_EQ(VariantChangeType(&out, &v, VARIANT_ALPHABOOL, VT_BSTR), S_OK);
    EXPECT_STREQ(V_BSTR(&out), L"False");
    VariantClear(&out);
    V_VT(&v) = VT_NULL;
    EXPECT_EQ(VariantChangeType(&out, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
}

// --- SAFEARRAY -----------------------------------------------------------------

TEST(PlatformSafeArray, BoundsFollowTheLowerBoundAndRejectOutsideIndices) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_R8, 5, 3);  // indices 5..7
    ASSERT_NE(sa, nullptr);
    LONG lb = 0, ub = 0;
    EXPECT_EQ(SafeArrayGetDim(sa), 1u);
    ASSERT_EQ(SafeArrayGetLBound(sa, 1, &lb), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(sa, 1, &ub), S_OK);
    EXPECT_EQ(lb, 5);
    EXPECT_EQ(ub, 7);
    EXPECT_EQ(SafeArrayGetLBound(sa, 2, &lb), DISP_E_BADINDEX);
    for (LONG i = 5; i <= 7; ++i) {
        double x = 10.0 * i;
        ASSERT_EQ(SafeArrayPutElement(sa, &i, &x), S_OK);
    }
    double got = 0;
    LONG i = 6;
    ASSERT_EQ(SafeArrayGetElement(sa, &i, &got), S_OK);
    EXPECT_EQ(got, 60.0);
    EXPECT_EQ(static_cast<double*>(sa->pvData)[0], 50.0) << "index 5 is the first element";
    for (LONG bad : {4, 8, -1}) {
        EXPECT_EQ(SafeArrayGetElement(sa, &bad, &got), DISP_E_BADINDEX) << bad;
        EXPECT_EQ(SafeArrayPutElement(sa, &bad, &got), DISP_E_BADINDEX) << bad;
    }
    VARTYPE vt = VT_EMPTY;
    ASSERT_EQ(SafeArrayGetVartype(sa, &vt), S_OK);
    EXPECT_EQ(vt, VT_R8);
    EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
}

TEST(PlatformSafeArray, EmptyArrayAndUnsupportedShapes) {
    SAFEARRAYBOUND bound = {0, 1};
    SAFEARRAY* sa = SafeArrayCreate(VT_I4, 1, &bound);
    ASSERT_NE(sa, nullptr);
    LONG ub = 99;
    SafeArrayGetUBound(sa, 1, &ub);
    EXPECT_EQ(ub, 0) << "an empty array has UBound = LBound - 1";
    SafeArrayDestroy(sa);
    SAFEARRAYBOUND two[2] = {{2, 0}, {2, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_R8, 2, two), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_NULL, 0, 2), nullptr);
}

TEST(PlatformSafeArray, StringElementsAreCopiedInAndOut) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_BSTR, 1, 2);
    BSTR mine = SysAllocString(L"propane");
    LONG i = 1;
    ASSERT_EQ(SafeArrayPutElement(sa, &i, mine), S_OK);
    BSTR stored = static_cast<BSTR*>(sa->pvData)[0];
    EXPECT_NE(stored, mine) << "the array keeps its own copy";
    SysFreeString(mine);
    EXPECT_STREQ(stored, L"propane");
    BSTR out = nullptr;
    ASSERT_EQ(SafeArrayGetElement(sa, &i, &out), S_OK);
    EXPECT_NE(out, stored) << "the caller receives its own copy";
    EXPECT_STREQ(out, L"propane");
    SysFreeString(out);
    // Replacing an element frees the old string (checked by the leak checker).
    BSTR other = SysAllocString(L"butane");
    ASSERT_EQ(SafeArrayPutElement(sa, &i, other), S_OK);
    SysFreeString(other);
    EXPECT_STREQ(static_cast<BSTR*>(sa->pvData)[0], L"butane");
    SafeArrayDestroy(sa);
}

TEST(PlatformSafeArray, InterfaceElementsHoldOneReferenceEach) {
    CountingObject* a = CountingObject::Create();
    CountingObject* b = CountingObject::Create();
    SAFEARRAY* sa = SafeArrayCreateVector(VT_DISPATCH, 0, 2);
    LONG i = 0;
    ASSERT_EQ(SafeArrayPutElement(sa, &i, static_cast<IDispatch*>(a)), S_OK);
    EXPECT_EQ(a->refs(), 2u);
    IDispatch* got = nullptr;
    ASSERT_EQ(SafeArrayGetElement(sa, &i, &got), S_OK);
    EXPECT_EQ(got, a);
    EXPECT_EQ(a->refs(), 3u);
    got->Release();
    ASSERT_EQ(SafeArrayPutElement(sa, &i, static_cast<IDispatch*>(b)), S_OK);
    EXPECT_EQ(a->refs(), 1u) << "the replaced element is released";
    EXPECT_EQ(b->refs(), 2u);
    i = 1;
    ASSERT_EQ(SafeArrayPutElement(sa, &i, static_cast<IDispatch*>(b)), S_OK);
    EXPECT_EQ(b->refs(), 3u);
    SAFEARRAYBOUND smaller = {1, 0};
    ASSERT_EQ(SafeArrayRedim(sa, &smaller), S_OK);
    EXPECT_EQ(b->refs(), 2u) << "elements cut off by Redim are released";
    ASSERT_EQ(SafeArrayDestroy(sa), S_OK);
    EXPECT_EQ(b->refs(), 1u);
    a->Release();
    b->Release();
}

TEST(PlatformSafeArray, AccessDataLocksTheArray) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_I4, 0, 4);
    LONG* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(sa, reinterpret_cast<void**>(&data)), S_OK);
    for (int k = 0; k < 4; ++k) {
        data[k] = k * k;
    }
    EXPECT_EQ(SafeArrayDestroy(sa), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnaccessData(sa), S_OK);
    EXPECT_EQ(SafeArrayUnaccessData(sa), E_UNEXPECTED);
    LONG i = 3, v = 0;
    SafeArrayGetElement(sa, &i, &v);
    EXPECT_EQ(v, 9);
    EXPECT_EQ(SafeArrayDestroy(sa), S_OK);
}

TEST(PlatformSafeArray, CopyIsDeep) {
    SAFEARRAY* sa = SafeArrayCreateVector(VT_BSTR, -2, 2);
    LONG i = -1;
    BSTR s = SysAllocString(L"ethane");
    SafeArrayPutElement(sa, &i, s);
    SysFreeString(s);
    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(sa, &copy), S_OK);
    LONG lb = 0;
    SafeArrayGetLBound(copy, 1, &lb);
    EXPECT_EQ(lb, -2);
    BSTR a = static_cast<BSTR*>(sa->pvData)[1];
    BSTR b = static_cast<BSTR*>(copy->pvData)[1];
    EXPECT_NE(a, b);
    EXPECT_STREQ(b, L"ethane");
    SafeArrayDestroy(sa);
    EXPECT_STREQ(b, L"ethane");
    SafeArrayDestroy(copy);
}

}  // namespace
