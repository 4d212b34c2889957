// Live-object counters: one total (atomic, read without a lock) and a table
// per kind (under a mutex, touched only on creation and destruction).

#include "platform/live_objects.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace platform {
namespace {

struct Table {
    std::atomic<long> total{0};
    std::mutex mutex;
    std::map<std::string, long> by_kind;
};

thread_local long t_thread_total = 0;

// Never destroyed: objects released during static destruction still count.
Table& table() {
    static Table* t = new Table;
    return *t;
}

void Adjust(const char* kind, long delta) noexcept {
    Table& t = table();
    t.total.fetch_add(delta, std::memory_order_relaxed);
    t_thread_total += delta;
    try {
        std::lock_guard<std::mutex> lock(t.mutex);
        t.by_kind[kind ? kind : "?"] += delta;
    } catch (...) {
        // Out of memory while recording the kind: the total stays right.
    }
}

}  // namespace

void LiveObjectCreated(const char* kind) noexcept {
    Adjust(kind, +1);
}

void LiveObjectDestroyed(const char* kind) noexcept {
    Adjust(kind, -1);
}

long LiveObjectCount() noexcept {
    return table().total.load(std::memory_order_relaxed);
}

long LiveObjectCountOnThisThread() noexcept {
    return t_thread_total;
}

long LiveObjectCount(const char* kind) noexcept {
    Table& t = table();
    try {
        std::lock_guard<std::mutex> lock(t.mutex);
        auto it = t.by_kind.find(kind ? kind : "?");
        return it == t.by_kind.end() ? 0 : it->second;
    } catch (...) {
        return 0;
    }
}

std::string LiveObjectReport() {
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    std::string report;
    for (const auto& [kind, count] : t.by_kind) {
        if (count != 0) {
            if (!report.empty()) {
                report += ", ";
            }
            report += kind + "=" + std::to_string(count);
        }
    }
    return report;
}

}  // namespace platform
