// Pass/fail bookkeeping of the Windows test host.
#include "wintest/check_report.h"

#include <cstdio>

#include <objbase.h>

#include "platform/bstr.h"

bool CheckReport::Expect(bool ok, const std::string& what, const std::string& why) {
    if (ok) {
        ++passed_;
        std::printf("ok   %s\n", what.c_str());
    } else {
        ++failed_;
        std::printf("FAIL %s%s%s\n", what.c_str(), why.empty() ? "" : ": ", why.c_str());
    }
    std::fflush(stdout);
    return ok;
}

bool CheckReport::ExpectHr(HRESULT got, HRESULT want, const std::string& what) {
    return Expect(got == want, what, "returned " + HrText(got) + ", expected " + HrText(want));
}

bool CheckReport::ExpectSucceeded(HRESULT got, const std::string& what) {
    return Expect(SUCCEEDED(got), what, "failed with " + HrText(got));
}

bool CheckReport::ExpectText(const std::wstring& got, const std::wstring& want,
                             const std::string& what) {
    return Expect(got == want, what,
                  "got \"" + platform::Utf8FromWide(got) + "\", expected \"" +
                      platform::Utf8FromWide(want) + "\"");
}

bool CheckReport::ExpectInt(long long got, long long want, const std::string& what) {
    return Expect(got == want, what,
                  "got " + std::to_string(got) + ", expected " + std::to_string(want));
}

int CheckReport::Finish() const {
    std::printf("%d passed, %d failed\n", passed_, failed_);
    std::fflush(stdout);
    return (failed_ == 0 && passed_ > 0) ? 0 : 1;
}

std::string HrText(HRESULT hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(hr));
    return buffer;
}

std::wstring GuidText(REFGUID guid) {
    wchar_t buffer[40] = {0};
    const int n = StringFromGUID2(guid, buffer, 40);
    return std::wstring(buffer, n > 0 ? n - 1 : 0);
}
