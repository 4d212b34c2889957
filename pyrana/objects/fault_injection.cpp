// The process-wide fault plan of the reference host.
#include "pyrana/objects/fault_injection.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <unordered_map>

namespace pyrana::objects {

namespace detail {
thread_local bool g_faultPlanActive = false;
thread_local bool g_profileActive = false;
}  // namespace detail

namespace {
thread_local FaultPlan g_plan;
thread_local long g_calls = 0;
thread_local long g_operationCalls = 0;
thread_local std::string g_countedOperation;
thread_local bool g_injected = false;
thread_local bool g_operationFired = false;
thread_local std::string g_injectedOperation;

struct KindTally {
    long calls = 0;
    long long nanoseconds = 0;
};
// Keyed by the kind's address while the profile runs (kinds are string
// literals: no allocation per call); merged by text when it stops, as equal
// literals need not share an address across translation units.
thread_local std::unordered_map<const char*, KindTally> g_profile;
thread_local detail::ProfiledHostCall* g_innermost = nullptr;

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

void StartHostCallProfile() {
    g_profile.clear();
    g_innermost = nullptr;
    detail::g_profileActive = true;
}

std::vector<HostCallTally> StopHostCallProfile() {
    detail::g_profileActive = false;
    std::vector<HostCallTally> tallies;
    std::map<std::string, KindTally> byText;
    for (const auto& [kind, tally] : g_profile) {
        KindTally& merged = byText[kind];
        merged.calls += tally.calls;
        merged.nanoseconds += tally.nanoseconds;
    }
    for (const auto& [kind, tally] : byText) {
        tallies.push_back({kind, tally.calls, tally.nanoseconds * 1e-9});
    }
    g_profile.clear();
    std::sort(tallies.begin(), tallies.end(), [](const HostCallTally& a, const HostCallTally& b) {
        return a.seconds != b.seconds ? a.seconds > b.seconds : a.kind < b.kind;
    });
    return tallies;
}

void detail::ProfiledHostCall::Begin(const char* operation) noexcept {
    active_ = true;
    kind_ = operation;
    outer_ = g_innermost;
    g_innermost = this;
    startNs_ = outer_ == nullptr ? NowNs() : 0;
}

void detail::ProfiledHostCall::End() noexcept {
    g_innermost = outer_;
    if (!g_profileActive) {
        return;
    }
    try {
        KindTally& tally = g_profile[kind_];
        ++tally.calls;
        if (outer_ == nullptr) {
            tally.nanoseconds += NowNs() - startNs_;
        }
    } catch (...) {
        // An allocation failure loses one tally, never the call's result.
    }
}

void detail::NameHostCall(const char* kind) noexcept {
    if (g_profileActive && g_innermost != nullptr) {
        g_innermost->kind_ = kind;
    }
}

void SetFaultPlan(const FaultPlan& plan) {
    g_plan = plan;
    g_calls = 0;
    g_operationCalls = 0;
    g_countedOperation.clear();
    g_injected = false;
    g_operationFired = false;
    g_injectedOperation.clear();
    detail::g_faultPlanActive = true;
}

void ClearFaultPlan() {
    detail::g_faultPlanActive = false;
}

long HostCallCount() {
    return g_calls;
}

void CountOperation(const std::string& operation) {
    g_countedOperation = operation;
    g_operationCalls = 0;
}

long OperationCallCount() {
    return g_operationCalls;
}

bool FaultInjected() {
    return g_injected;
}

std::string InjectedOperation() {
    return g_injectedOperation;
}

HRESULT detail::OnHostCall(const char* operation) noexcept {
    ++g_calls;
    if (!g_countedOperation.empty() && std::strcmp(g_countedOperation.c_str(), operation) == 0) {
        ++g_operationCalls;
    }
    bool fail = g_plan.failAtCall > 0 && g_calls == g_plan.failAtCall;
    if (!g_operationFired && !g_plan.failOperation.empty() &&
        std::strcmp(g_plan.failOperation.c_str(), operation) == 0) {
        g_operationFired = true;
        fail = true;
    }
    if (!fail) {
        return S_OK;
    }
    g_injected = true;
    try {
        g_injectedOperation = operation;
    } catch (...) {
    }
    return g_plan.result;
}

}  // namespace pyrana::objects
