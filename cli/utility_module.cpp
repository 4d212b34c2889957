// Opening, registering and creating the utility module.
#include "cli/utility_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <set>

namespace cli {

namespace {
std::string& ModulePathOverride() {
    static std::string path;
    return path;
}
}  // namespace

void SetUtilityModulePath(const std::string& path) {
    ModulePathOverride() = path;
}

std::string UtilityModulePath() {
    if (!ModulePathOverride().empty())
        return ModulePathOverride();
    char exe[4096] = {0};
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    std::string path(exe, n > 0 ? static_cast<size_t>(n) : 0);
    const size_t slash = path.find_last_of('/');
    path = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    return path + "/../lib/pyThreePhaseEnvelope.so";
}

UtilityModule::~UtilityModule() {
    if (handle_ != nullptr) {
        CoFreeUnusedLibraries();
        dlclose(handle_);
    }
}

bool UtilityModule::Load(const std::string& path, std::string* error) {
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        *error = std::string("cannot load the utility module: ") + dlerror();
        return false;
    }
    // Registered once per process and path: the registration script replaces
    // the class's keys, which would unregister it for a moment under a
    // calculation running on another thread.
    static std::mutex lock;
    static std::set<std::string> registered;
    std::lock_guard<std::mutex> hold(lock);
    if (registered.count(path) != 0)
        return true;
    auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(handle_, "DllRegisterServer"));
    const HRESULT hr = registerServer != nullptr ? registerServer() : E_NOTIMPL;
    if (FAILED(hr)) {
        *error = "registering the utility module failed (" + HresultText(hr) + ")";
        return false;
    }
    registered.insert(path);
    return true;
}

HRESULT UtilityModule::CreateUtility(IPYRUtility** utility) {
    *utility = nullptr;
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"pyThreePhaseEnvelope.pyThreePhaseEnvelope", &clsid);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPYRUtility,
                              reinterpret_cast<void**>(utility));
    }
    if (FAILED(hr)) {
        *utility = nullptr;
    }
    return hr;
}

std::string Narrow(const wchar_t* s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i)
        out.push_back(static_cast<char>(s[i]));
    return out;
}

std::string Narrow(BSTR s) {
    return s == nullptr ? std::string() : Narrow(s, SysStringLen(s));
}

std::string GuidText(REFGUID g) {
    OLECHAR buffer[64];
    const int n = StringFromGUID2(g, buffer, 64);
    return Narrow(buffer, n > 0 ? static_cast<size_t>(n - 1) : 0);
}

std::string HresultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(hr));
    return text;
}

}  // namespace cli
