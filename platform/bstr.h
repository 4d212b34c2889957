// platform::Bstr: an owning wrapper of a BSTR for our own layers, with UTF-8
// conversions; and the UTF-8 / wide-string conversions themselves, which work
// whether wchar_t is 16-bit (UTF-16, Windows) or 32-bit (UTF-32, Linux).
//
//     platform::Bstr name("methane");          // from UTF-8
//     obj->GetName(name.put());                 // out-parameter
//     std::string text = name.ToUtf8();
#pragma once

#include <string>

#ifdef _WIN32
#include <windows.h>

#include <oleauto.h>
#else
#include "platform/oleauto.h"
#endif

namespace platform {

// Converts `n` wide characters at `s` (may contain nulls; null `s` with n == 0
// is fine) to UTF-8. Invalid code units become U+FFFD.
std::string Utf8FromWide(const wchar_t* s, size_t n);
std::string Utf8FromWide(const std::wstring& s);
// Converts UTF-8 text to wide characters; invalid sequences become U+FFFD.
std::wstring WideFromUtf8(const char* s, size_t n);
std::wstring WideFromUtf8(const std::string& s);

class Bstr {
  public:
    Bstr() noexcept = default;
    // Copies a null-terminated wide string (null: no string).
    explicit Bstr(const wchar_t* s);
    // Copies `n` wide characters (embedded nulls kept).
    Bstr(const wchar_t* s, UINT n);
    explicit Bstr(const std::wstring& s);
    // Converts UTF-8 text.
    explicit Bstr(const std::string& utf8);
    explicit Bstr(const char* utf8);
    Bstr(const Bstr& other);
    Bstr(Bstr&& other) noexcept : s_(other.s_) { other.s_ = nullptr; }
    ~Bstr() { Reset(); }
    Bstr& operator=(const Bstr& other);
    Bstr& operator=(Bstr&& other) noexcept;

    // Takes ownership of an existing BSTR.
    static Bstr Adopt(BSTR s) noexcept {
        Bstr b;
        b.s_ = s;
        return b;
    }

    BSTR Get() const noexcept { return s_; }
    // Characters, embedded nulls counted; 0 for no string.
    UINT Length() const noexcept { return SysStringLen(s_); }
    bool Empty() const noexcept { return Length() == 0; }

    // Frees the current string and returns the address of the null slot,
    // for an out-parameter that delivers an owned BSTR.
    BSTR* put() noexcept {
        Reset();
        return &s_;
    }
    void Attach(BSTR s) noexcept {
        Reset();
        s_ = s;
    }
    BSTR Detach() noexcept {
        BSTR s = s_;
        s_ = nullptr;
        return s;
    }
    // A new BSTR copy owned by the caller (null for no string), e.g. for an
    // [out] BSTR* parameter. Null when out of memory too.
    BSTR Copy() const;
    void Reset() noexcept {
        SysFreeString(s_);
        s_ = nullptr;
    }

    std::wstring ToWide() const { return std::wstring(s_ ? s_ : L"", Length()); }
    std::string ToUtf8() const { return Utf8FromWide(s_, Length()); }

    friend bool operator==(const Bstr& a, const Bstr& b) { return a.ToWide() == b.ToWide(); }
    friend bool operator!=(const Bstr& a, const Bstr& b) { return !(a == b); }

  private:
    BSTR s_ = nullptr;
};

}  // namespace platform
