// UTF-8 <-> wide conversions and the Bstr wrapper.

#include "platform/bstr.h"

#include <new>

namespace platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        c = kReplacement;
    }
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendWide(std::wstring& out, char32_t c) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
            return;
        }
    }
    out += static_cast<wchar_t>(c);
}

}  // namespace

std::string Utf8FromWide(const wchar_t* s, size_t n) {
    std::string out;
    if (!s) {
        return out;
    }
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        char32_t c = static_cast<char32_t>(s[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            c &= 0xFFFF;
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n) {
                char32_t low = static_cast<char32_t>(s[i + 1]) & 0xFFFF;
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string Utf8FromWide(const std::wstring& s) {
    return Utf8FromWide(s.data(), s.size());
}

std::wstring WideFromUtf8(const char* s, size_t n) {
    std::wstring out;
    if (!s) {
        return out;
    }
    out.reserve(n);
    const auto* p = reinterpret_cast<const unsigned char*>(s);
    size_t i = 0;
    while (i < n) {
        unsigned char b = p[i];
        int extra;
        char32_t c;
        char32_t min;
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1;
            c = b & 0x1F;
            min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            c = b & 0x0F;
            min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            c = b & 0x07;
            min = 0x10000;
        } else {
            AppendWide(out, kReplacement);
            ++i;
            continue;
        }
        size_t j = 1;
        for (; j <= static_cast<size_t>(extra); ++j) {
            if (i + j >= n || (p[i + j] & 0xC0) != 0x80) {
                break;
            }
            c = (c << 6) | (p[i + j] & 0x3F);
        }
        if (j <= static_cast<size_t>(extra) || c < min || c > 0x10FFFF ||
            (c >= 0xD800 && c <= 0xDFFF)) {
            AppendWide(out, kReplacement);
            i += j;  // skip the lead byte and the valid continuation bytes seen
            continue;
        }
        AppendWide(out, c);
        i += j;
    }
    return out;
}

std::wstring WideFromUtf8(const std::string& s) {
    return WideFromUtf8(s.data(), s.size());
}

Bstr::Bstr(const wchar_t* s) : s_(SysAllocString(s)) {
    if (s && !s_) {
        throw std::bad_alloc();
    }
}

Bstr::Bstr(const wchar_t* s, UINT n) : s_(SysAllocStringLen(s, n)) {
    if (!s_) {
        throw std::bad_alloc();
    }
}

Bstr::Bstr(const std::wstring& s) : Bstr(s.data(), static_cast<UINT>(s.size())) {}

Bstr::Bstr(const std::string& utf8) : Bstr(WideFromUtf8(utf8)) {}

Bstr::Bstr(const char* utf8) {
    if (utf8) {
        *this = Bstr(std::string(utf8));
    }
}

Bstr::Bstr(const Bstr& other) {
    if (other.s_) {
        s_ = SysAllocStringLen(other.s_, other.Length());
        if (!s_) {
            throw std::bad_alloc();
        }
    }
}

Bstr& Bstr::operator=(const Bstr& other) {
    if (this != &other) {
        Bstr copy(other);
        std::swap(s_, copy.s_);
    }
    return *this;
}

Bstr& Bstr::operator=(Bstr&& other) noexcept {
    if (this != &other) {
        Reset();
        s_ = other.s_;
        other.s_ = nullptr;
    }
    return *this;
}

BSTR Bstr::Copy() const {
    return s_ ? SysAllocStringLen(s_, Length()) : nullptr;
}

}  // namespace platform
