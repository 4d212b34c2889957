// The registrar: a tokenizer and parser for registration scripts, and the
// two walks over the parsed tree that register and unregister.

#include "platform/registrar.h"

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include "platform/com_runtime.h"
#include "platform/registry.h"
#endif

#include "platform/bstr.h"

namespace platform {
namespace {

std::wstring Upper(const std::wstring& s) {
    std::wstring u = s;
    for (auto& c : u) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return u;
}

bool Is(const std::wstring& word, const wchar_t* keyword) {
    return Upper(word) == Upper(keyword);
}

// --- parsed script -------------------------------------------------------------

struct Data {
    DWORD type = REG_SZ;
    std::vector<BYTE> bytes;  // as passed to RegSetValueExW
};

struct ValueNode {
    std::wstring name;
    Data data;
};

enum class KeyFlag { kNone, kNoRemove, kForceRemove, kDelete };

struct KeyNode {
    KeyFlag flag = KeyFlag::kNone;
    std::wstring name;
    bool has_default = false;
    Data default_data;
    std::vector<ValueNode> values;
    std::vector<KeyNode> children;
};

struct RootNode {
    HKEY root;
    std::vector<KeyNode> keys;
};

// --- tokens ------------------------------------------------------------------------

enum class TokenKind { kEnd, kWord, kQuoted, kOpen, kClose, kEquals };

struct Token {
    TokenKind kind = TokenKind::kEnd;
    std::wstring text;
    int line = 1;
};

class ParseError {
  public:
    ParseError(int line, std::string message)
        : text("line " + std::to_string(line) + ": " + std::move(message)) {}
    std::string text;
};

class Tokenizer {
  public:
    explicit Tokenizer(const std::wstring& s) : s_(s) {}

    Token Next() {
        SkipBlanks();
        Token t;
        t.line = line_;
        if (pos_ >= s_.size()) {
            return t;
        }
        const wchar_t c = s_[pos_];
        if (c == L'=') {
            ++pos_;
            t.kind = TokenKind::kEquals;
            return t;
        }
        if (c == L'\'') {
            t.kind = TokenKind::kQuoted;
            ++pos_;
            for (;;) {
                if (pos_ >= s_.size()) {
                    throw ParseError(t.line, "unterminated quoted text");
                }
                const wchar_t q = s_[pos_++];
                if (q == L'\n') {
                    ++line_;
                }
                if (q == L'\'') {
                    if (pos_ < s_.size() && s_[pos_] == L'\'') {
                        t.text += L'\'';
                        ++pos_;
                        continue;
                    }
                    break;
                }
                t.text += q;
            }
            return t;
        }
        // A brace standing alone (followed by a blank, the end or another
        // brace) is punctuation; otherwise it starts or ends a bare word such
        // as a braced GUID.
        if ((c == L'{' || c == L'}') && (pos_ + 1 >= s_.size() || IsBlank(s_[pos_ + 1]) ||
                                         s_[pos_ + 1] == L'{' || s_[pos_ + 1] == L'}')) {
            ++pos_;
            t.kind = c == L'{' ? TokenKind::kOpen : TokenKind::kClose;
            return t;
        }
        t.kind = TokenKind::kWord;
        while (pos_ < s_.size() && !IsBlank(s_[pos_]) && s_[pos_] != L'=' && s_[pos_] != L'\'') {
            t.text += s_[pos_++];
        }
        return t;
    }

  private:
    static bool IsBlank(wchar_t c) {
        return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == 0xFEFF;
    }
    void SkipBlanks() {
        while (pos_ < s_.size() && IsBlank(s_[pos_])) {
            if (s_[pos_] == L'\n') {
                ++line_;
            }
            ++pos_;
        }
    }

    const std::wstring& s_;
    size_t pos_ = 0;
    int line_ = 1;
};

// --- parser ---------------------------------------------------------------------------

class Parser {
  public:
    Parser(const std::wstring& script, const std::map<std::wstring, std::wstring>& replacements)
        : tokens_(script), replacements_(replacements) {
        Advance();
    }

    std::vector<RootNode> Script() {
        std::vector<RootNode> roots;
        while (cur_.kind != TokenKind::kEnd) {
            if (cur_.kind != TokenKind::kWord) {
                throw ParseError(cur_.line, "expected a root key such as HKCR");
            }
            RootNode root{RootOf(cur_), {}};
            Advance();
            Expect(TokenKind::kOpen, "'{' after the root key");
            while (cur_.kind != TokenKind::kClose) {
                if (cur_.kind == TokenKind::kWord && Is(cur_.text, L"val")) {
                    throw ParseError(cur_.line, "a value cannot stand directly under a root key");
                }
                root.keys.push_back(Key());
            }
            Advance();
            roots.push_back(std::move(root));
        }
        return roots;
    }

  private:
    void Advance() { cur_ = tokens_.Next(); }

    void Expect(TokenKind kind, const char* what) {
        if (cur_.kind != kind) {
            throw ParseError(cur_.line, std::string("expected ") + what);
        }
        Advance();
    }

    HKEY RootOf(const Token& t) {
        const std::wstring u = Upper(t.text);
        if (u == L"HKCR" || u == L"HKEY_CLASSES_ROOT") {
            return HKEY_CLASSES_ROOT;
        }
        if (u == L"HKCU" || u == L"HKEY_CURRENT_USER") {
            return HKEY_CURRENT_USER;
        }
        if (u == L"HKLM" || u == L"HKEY_LOCAL_MACHINE") {
            return HKEY_LOCAL_MACHINE;
        }
        if (u == L"HKU" || u == L"HKEY_USERS") {
            return HKEY_USERS;
        }
        throw ParseError(t.line, "unknown root key '" + Utf8FromWide(t.text) + "'");
    }

    // Replaces %NAME% from the map; %% is a percent sign.
    std::wstring Substitute(const std::wstring& s, int line) {
        std::wstring out;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] != L'%') {
                out += s[i];
                continue;
            }
            const size_t close = s.find(L'%', i + 1);
            if (close == std::wstring::npos) {
                throw ParseError(line, "unmatched '%' in '" + Utf8FromWide(s) + "'");
            }
            const std::wstring name = s.substr(i + 1, close - i - 1);
            if (name.empty()) {
                out += L'%';
            } else {
                auto it = replacements_.find(Upper(name));
                if (it == replacements_.end()) {
                    throw ParseError(line, "no replacement for %" + Utf8FromWide(name) + "%");
                }
                out += it->second;
            }
            i = close;
        }
        return out;
    }

    std::wstring Name(const char* what) {
        if (cur_.kind != TokenKind::kWord && cur_.kind != TokenKind::kQuoted) {
            throw ParseError(cur_.line, std::string("expected ") + what);
        }
        std::wstring name = Substitute(cur_.text, cur_.line);
        if (name.empty()) {
            throw ParseError(cur_.line, std::string("empty ") + what);
        }
        Advance();
        return name;
    }

    Data ParseData() {
        if (cur_.kind != TokenKind::kWord) {
            throw ParseError(cur_.line, "expected a value type (s, d or b)");
        }
        const std::wstring type = Upper(cur_.text);
        const int line = cur_.line;
        Advance();
        if (cur_.kind != TokenKind::kQuoted && cur_.kind != TokenKind::kWord) {
            throw ParseError(cur_.line, "expected the value's text");
        }
        const std::wstring text = Substitute(cur_.text, cur_.line);
        Advance();
        Data d;
        if (type == L"S") {
            d.type = REG_SZ;
            d.bytes.resize((text.size() + 1) * sizeof(wchar_t));
            std::wmemcpy(reinterpret_cast<wchar_t*>(d.bytes.data()), text.c_str(), text.size() + 1);
        } else if (type == L"D") {
            wchar_t* end = nullptr;
            errno = 0;
            const unsigned long long v = std::wcstoull(text.c_str(), &end, 0);
            if (text.empty() || *end != 0 || errno != 0 || v > 0xFFFFFFFFull) {
                throw ParseError(line, "'" + Utf8FromWide(text) + "' is not a DWORD");
            }
            const uint32_t dw = static_cast<uint32_t>(v);
            d.type = REG_DWORD;
            d.bytes.resize(4);
            std::memcpy(d.bytes.data(), &dw, 4);
        } else if (type == L"B") {
            if (text.size() % 2 != 0) {
                throw ParseError(line, "binary text needs an even number of hex digits");
            }
            d.type = REG_BINARY;
            for (size_t i = 0; i < text.size(); i += 2) {
                wchar_t pair[3] = {text[i], text[i + 1], 0};
                wchar_t* end = nullptr;
                const unsigned long b = std::wcstoul(pair, &end, 16);
                if (*end != 0 || !std::iswxdigit(static_cast<wint_t>(pair[0]))) {
                    throw ParseError(line, "'" + Utf8FromWide(text) + "' is not hex");
                }
                d.bytes.push_back(static_cast<BYTE>(b));
            }
        } else {
            throw ParseError(line, "unknown value type '" + Utf8FromWide(type) + "'");
        }
        return d;
    }

    KeyNode Key() {
        KeyNode key;
        if (cur_.kind == TokenKind::kWord) {
            if (Is(cur_.text, L"NoRemove")) {
                key.flag = KeyFlag::kNoRemove;
            } else if (Is(cur_.text, L"ForceRemove")) {
                key.flag = KeyFlag::kForceRemove;
            } else if (Is(cur_.text, L"Delete")) {
                key.flag = KeyFlag::kDelete;
            }
            if (key.flag != KeyFlag::kNone) {
                Advance();
            }
        }
        if (cur_.kind == TokenKind::kClose || cur_.kind == TokenKind::kEnd) {
            throw ParseError(cur_.line, "expected a key name");
        }
        key.name = Name("a key name");
        if (cur_.kind == TokenKind::kEquals) {
            Advance();
            key.has_default = true;
            key.default_data = ParseData();
        }
        if (cur_.kind == TokenKind::kOpen) {
            Advance();
            while (cur_.kind != TokenKind::kClose) {
                if (cur_.kind == TokenKind::kEnd) {
                    throw ParseError(cur_.line,
                                     "missing '}' to close key '" + Utf8FromWide(key.name) + "'");
                }
                if (cur_.kind == TokenKind::kWord && Is(cur_.text, L"val")) {
                    Advance();
                    ValueNode v;
                    v.name = Name("a value name");
                    Expect(TokenKind::kEquals, "'=' after the value name");
                    v.data = ParseData();
                    key.values.push_back(std::move(v));
                } else {
                    key.children.push_back(Key());
                }
            }
            Advance();
        }
        return key;
    }

    Tokenizer tokens_;
    const std::map<std::wstring, std::wstring>& replacements_;
    Token cur_;
};

// --- walks ---------------------------------------------------------------------------

LONG SetData(HKEY key, const wchar_t* name, const Data& d) {
    return RegSetValueExW(key, name, 0, d.type, d.bytes.data(), static_cast<DWORD>(d.bytes.size()));
}

LONG DeleteTree(HKEY parent, const std::wstring& name) {
    const LONG r = RegDeleteTreeW(parent, name.c_str());
    return r == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : r;
}

LONG RegisterKey(HKEY parent, const KeyNode& node) {
    if (node.flag == KeyFlag::kDelete) {
        return DeleteTree(parent, node.name);
    }
    if (node.flag == KeyFlag::kForceRemove) {
        const LONG r = DeleteTree(parent, node.name);
        if (r != ERROR_SUCCESS) {
            return r;
        }
    }
    HKEY key = nullptr;
    LONG r = RegCreateKeyExW(parent, node.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (r != ERROR_SUCCESS) {
        return r;
    }
    if (node.has_default) {
        r = SetData(key, nullptr, node.default_data);
    }
    for (size_t i = 0; r == ERROR_SUCCESS && i < node.values.size(); ++i) {
        r = SetData(key, node.values[i].name.c_str(), node.values[i].data);
    }
    for (size_t i = 0; r == ERROR_SUCCESS && i < node.children.size(); ++i) {
        r = RegisterKey(key, node.children[i]);
    }
    RegCloseKey(key);
    return r;
}

LONG UnregisterKey(HKEY parent, const KeyNode& node) {
    if (node.flag == KeyFlag::kDelete) {
        return ERROR_SUCCESS;
    }
    if (node.flag == KeyFlag::kForceRemove) {
        return DeleteTree(parent, node.name);
    }
    HKEY key = nullptr;
    LONG r = RegOpenKeyExW(parent, node.name.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (r == ERROR_FILE_NOT_FOUND) {
        return ERROR_SUCCESS;
    }
    if (r != ERROR_SUCCESS) {
        return r;
    }
    for (size_t i = 0; r == ERROR_SUCCESS && i < node.children.size(); ++i) {
        r = UnregisterKey(key, node.children[i]);
    }
    for (size_t i = 0; r == ERROR_SUCCESS && i < node.values.size(); ++i) {
        const LONG d = RegDeleteValueW(key, node.values[i].name.c_str());
        if (d != ERROR_SUCCESS && d != ERROR_FILE_NOT_FOUND) {
            r = d;
        }
    }
    DWORD subkeys = 0;
    if (r == ERROR_SUCCESS) {
        r = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr);
    }
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || node.flag == KeyFlag::kNoRemove || subkeys > 0) {
        return r;
    }
    r = RegDeleteKeyW(parent, node.name.c_str());
    return r == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : r;
}

}  // namespace

void Registrar::AddReplacement(const std::wstring& name, const std::wstring& value) {
    replacements_[Upper(name)] = value;
}

HRESULT Registrar::SetModule(HMODULE module) {
    try {
        std::wstring path(4096, L'\0');
        const DWORD n = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0 || n >= path.size()) {
            const DWORD e = GetLastError();
            return e ? HRESULT_FROM_WIN32(e) : E_FAIL;
        }
        path.resize(n);
        AddReplacement(L"MODULE", path);
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT Registrar::Apply(const std::wstring& script, bool do_register) noexcept {
    try {
        last_error_.clear();
        Parser parser(script, replacements_);
        const std::vector<RootNode> roots = parser.Script();
        for (const auto& root : roots) {
            for (const auto& key : root.keys) {
                const LONG r =
                    do_register ? RegisterKey(root.root, key) : UnregisterKey(root.root, key);
                if (r != ERROR_SUCCESS) {
                    last_error_ = "registry error " + std::to_string(r) + " at key '" +
                                  Utf8FromWide(key.name) + "'";
                    return HRESULT_FROM_WIN32(static_cast<unsigned long>(r));
                }
            }
        }
        return S_OK;
    } catch (const ParseError& e) {
        last_error_ = e.text;
        return REGISTRAR_E_SYNTAX;
    } catch (const std::bad_alloc&) {
        last_error_ = "out of memory";
        return E_OUTOFMEMORY;
    } catch (...) {
        last_error_ = "unexpected failure";
        return E_FAIL;
    }
}

HRESULT Registrar::Register(const std::wstring& script) noexcept {
    return Apply(script, true);
}

HRESULT Registrar::Unregister(const std::wstring& script) noexcept {
    return Apply(script, false);
}

HRESULT Registrar::RegisterUtf8(const std::string& script) noexcept {
    try {
        return Apply(WideFromUtf8(script), true);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT Registrar::UnregisterUtf8(const std::string& script) noexcept {
    try {
        return Apply(WideFromUtf8(script), false);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT Registrar::Parse(const std::wstring& script) noexcept {
    try {
        last_error_.clear();
        Parser parser(script, replacements_);
        parser.Script();
        return S_OK;
    } catch (const ParseError& e) {
        last_error_ = e.text;
        return REGISTRAR_E_SYNTAX;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace platform
