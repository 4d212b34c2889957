// Fault injection for the reference host's COM objects.
//
// Every interface method of a host object (phases, collections, managers,
// settings, arrays, compounds, the application-side provider and its
// objects) is a "host call": before doing anything it asks this hook whether
// to fail. A test sets a plan that makes the k-th host call (counted over all
// host objects from the moment the plan is set) fail, or the first call of a
// named operation such as "IFlashManager::Flash", with a chosen HRESULT, and
// afterwards reads how many host calls were made. IUnknown and IDispatch's
// four methods are not host calls: reference counting never fails.
//
// Off by default: with no plan set, a host call costs one test of a flag.
// The plan belongs to the thread that sets it (each host lives in one
// apartment, one thread): calculations on other threads neither count nor
// fail by it.
//
//     pyrana::objects::ScopedFaultPlan plan({/*failAtCall=*/3, "", E_OUTOFMEMORY});
//     ... run ...
//     EXPECT_TRUE(pyrana::objects::FaultInjected());
#pragma once

#include <string>
#include <vector>

#include "platform/com.h"

namespace pyrana::objects {

struct FaultPlan {
    // 1-based index of the host call to fail, counted from SetFaultPlan; 0: none.
    long failAtCall = 0;
    // Operation whose first call (from SetFaultPlan on) fails, written
    // "Interface::Method", e.g. "IFlashManager::Flash"; empty: none.
    std::string failOperation;
    // What the failing call returns (a failure code).
    HRESULT result = E_FAIL;
};

// Starts a plan: resets the call count and the injected-fault record. A plan
// with neither a call index nor an operation only counts calls.
void SetFaultPlan(const FaultPlan& plan);
// Ends the plan: no more counting or failing (the count stays readable).
void ClearFaultPlan();
// Host calls made since the last SetFaultPlan.
long HostCallCount();
// Also counts the calls of one operation (spelt as FaultPlan::failOperation)
// from now until the next SetFaultPlan, which clears it.
void CountOperation(const std::string& operation);
// Calls of the counted operation since CountOperation.
long OperationCallCount();
// Whether the plan has made a call fail, and which operation it was.
bool FaultInjected();
std::string InjectedOperation();

// SetFaultPlan in the constructor, ClearFaultPlan in the destructor.
class ScopedFaultPlan {
  public:
    explicit ScopedFaultPlan(const FaultPlan& plan) { SetFaultPlan(plan); }
    ~ScopedFaultPlan() { ClearFaultPlan(); }
    ScopedFaultPlan(const ScopedFaultPlan&) = delete;
    ScopedFaultPlan& operator=(const ScopedFaultPlan&) = delete;
};

// The host-call profile: while it runs, every host call is counted under its
// kind, and the wall time of every outermost host call (one not made from
// inside another) is added to its kind. A kind is the operation's name, or a
// finer name the operation gives itself ("ln phi", "saturation flash"), so
// that one interface method doing several jobs is told apart. Off by
// default and per thread, like the fault plan.
struct HostCallTally {
    std::string kind;
    long calls = 0;
    double seconds = 0.0;
};
void StartHostCallProfile();
// Ends the profile and returns its tallies, the most expensive first.
std::vector<HostCallTally> StopHostCallProfile();

namespace detail {
// True while a plan is set on this thread.
extern thread_local bool g_faultPlanActive;
// True while a profile runs on this thread.
extern thread_local bool g_profileActive;

// Times one host call for the profile (does nothing when none runs).
class ProfiledHostCall {
  public:
    explicit ProfiledHostCall(const char* operation) noexcept {
        if (g_profileActive) {
            Begin(operation);
        }
    }
    ~ProfiledHostCall() {
        if (active_) {
            End();
        }
    }
    ProfiledHostCall(const ProfiledHostCall&) = delete;
    ProfiledHostCall& operator=(const ProfiledHostCall&) = delete;

  private:
    void Begin(const char* operation) noexcept;
    void End() noexcept;
    bool active_ = false;
    const char* kind_ = nullptr;
    long long startNs_ = 0;
    ProfiledHostCall* outer_ = nullptr;
    friend void NameHostCall(const char* kind) noexcept;
};

// Gives the host call being made a finer kind for the profile (a string
// literal); does nothing when no profile runs.
void NameHostCall(const char* kind) noexcept;
// Counts the call and returns the plan's failure for it, or S_OK.
HRESULT OnHostCall(const char* operation) noexcept;

// The entry of every host call: S_OK, or the injected failure.
inline HRESULT EnterHostCall(const char* operation) noexcept {
    return g_faultPlanActive ? OnHostCall(operation) : S_OK;
}
}  // namespace detail

}  // namespace pyrana::objects
