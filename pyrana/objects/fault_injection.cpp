// The process-wide fault plan of the reference host.
#include "pyrana/objects/fault_injection.h"

#include <cstring>

namespace pyrana::objects {

namespace detail {
bool g_faultPlanActive = false;
}  // namespace detail

namespace {
FaultPlan g_plan;
long g_calls = 0;
long g_operationCalls = 0;
std::string g_countedOperation;
bool g_injected = false;
bool g_operationFired = false;
std::string g_injectedOperation;
}  // namespace

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
