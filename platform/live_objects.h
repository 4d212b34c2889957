// Live-object accounting: every COM object of our layers (host objects, class
// factories, the runtime's enumerators and built-in objects) counts itself
// while it exists, so that a test can assert that nothing outlives a
// calculation:
//
//     class PhaseObject : public IPhase {
//         platform::LiveObject live_{"PhaseObject"};
//         ...
//     };
//
//     EXPECT_EQ(platform::LiveObjectCount(), 0) << platform::LiveObjectReport();
//
// The counters live in the shared runtime, so objects created inside a loaded
// server module are counted in the same table. They are thread-safe.
#pragma once

#include <string>

namespace platform {

// Records that an object of kind `kind` was created / destroyed. The kind is
// a short class name; the pointer need only be valid during the call.
void LiveObjectCreated(const char* kind) noexcept;
void LiveObjectDestroyed(const char* kind) noexcept;

// Number of live objects of all kinds / of one kind.
long LiveObjectCount() noexcept;
// Objects created minus objects destroyed on the calling thread: what a
// calculation confined to one thread left alive, whatever other threads do.
long LiveObjectCountOnThisThread() noexcept;
long LiveObjectCount(const char* kind) noexcept;

// "Kind1=2, Kind2=1" for every kind with a count other than zero (a negative
// count means more destructions than constructions were recorded); empty when
// nothing is alive.
std::string LiveObjectReport();

// A member that counts its owner: construct it with the owner's kind, a
// string that outlives the object (a literal). Copies count as new objects
// (a copied COM object is a new object).
class LiveObject {
  public:
    explicit LiveObject(const char* kind) noexcept : kind_(kind) { LiveObjectCreated(kind_); }
    LiveObject(const LiveObject& other) noexcept : kind_(other.kind_) { LiveObjectCreated(kind_); }
    LiveObject& operator=(const LiveObject&) noexcept { return *this; }
    ~LiveObject() { LiveObjectDestroyed(kind_); }

    const char* kind() const { return kind_; }

  private:
    const char* kind_;
};

}  // namespace platform
