// CheckReport: the pass/fail bookkeeping of the Windows test host. Each check
// prints one line ("ok   ..." or "FAIL ...: why"); Finish prints the closing
// "N passed, M failed" line and gives the process exit code. A group of
// checks that depends on an earlier one (an object that could not be
// created) returns early, so the count of checks run may differ between a
// passing and a failing run; a failing run always ends with "M failed", M > 0.
#pragma once

#include <string>

#include <windows.h>

class CheckReport {
  public:
    // Records one check named `what`; `why` explains a failure. Returns ok.
    bool Expect(bool ok, const std::string& what, const std::string& why = std::string());

    // Checks that a call answered `want`.
    bool ExpectHr(HRESULT got, HRESULT want, const std::string& what);

    // Checks that a call succeeded (any success code).
    bool ExpectSucceeded(HRESULT got, const std::string& what);

    // Checks a wide-string result (compared exactly).
    bool ExpectText(const std::wstring& got, const std::wstring& want, const std::string& what);

    // Checks an integer result.
    bool ExpectInt(long long got, long long want, const std::string& what);

    int passed() const { return passed_; }
    int failed() const { return failed_; }

    // Prints "N passed, M failed". Returns 0 when something was checked and
    // nothing failed, else 1.
    int Finish() const;

  private:
    int passed_ = 0;
    int failed_ = 0;
};

// "0x80040154" for an HRESULT.
std::string HrText(HRESULT hr);

// "{XXXXXXXX-...}" for a GUID.
std::wstring GuidText(REFGUID guid);
