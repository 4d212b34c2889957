// The module's resources read from its resource section (Windows).
#include "component/resources.h"

#include <windows.h>

HINSTANCE ModuleInstance();

std::string RegistrationScript() {
    HRSRC info =
        FindResourceW(ModuleInstance(), MAKEINTRESOURCEW(IDR_PYTHREEPHASEENVELOPE), L"REGISTRY");
    if (info == nullptr)
        return std::string();
    HGLOBAL data = LoadResource(ModuleInstance(), info);
    if (data == nullptr)
        return std::string();
    const char* text = static_cast<const char*>(LockResource(data));
    const DWORD size = SizeofResource(ModuleInstance(), info);
    return text == nullptr ? std::string() : std::string(text, size);
}

std::wstring ProjectName() {
    wchar_t buffer[64] = {0};
    const int n = LoadStringW(ModuleInstance(), IDS_PROJNAME, buffer, 64);
    return std::wstring(buffer, n > 0 ? n : 0);
}
