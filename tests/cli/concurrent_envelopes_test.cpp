// Whole calculations on several threads at once, each in its own apartment
// with its own reference host and utility object, as the Python module runs
// them: every thread gets the envelope it gets alone, host calls and all, and
// a fault plan set on one thread fails only that thread's calculation.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "cli/envelope_run.h"
#include "cli/fluid_input.h"
#include "platform/com.h"

namespace {

struct Apartment {
    Apartment() { EXPECT_EQ(CoInitialize(nullptr), S_OK); }
    ~Apartment() { CoUninitialize(); }
};

cli::EnvelopeResult Calculate(const std::string& feed,
                              const pyrana::objects::FaultPlan& fault = {}) {
    Apartment apartment;
    cli::EnvelopeRequest request;
    request.fault = fault;
    return cli::RunEnvelopeCalculation(cli::ParseFeed(feed), request);
}

void ExpectSame(const cli::EnvelopeResult& a, const cli::EnvelopeResult& b,
                const std::string& feed) {
    EXPECT_EQ(a.status, b.status) << feed;
    EXPECT_EQ(a.hostCalls, b.hostCalls) << feed;
    ASSERT_EQ(a.points.size(), b.points.size()) << feed;
    for (size_t i = 0; i < a.points.size(); ++i) {
        EXPECT_EQ(a.points[i].type, b.points[i].type) << feed << " row " << i;
        EXPECT_EQ(a.points[i].p, b.points[i].p) << feed << " row " << i;
        EXPECT_EQ(a.points[i].t, b.points[i].t) << feed << " row " << i;
        EXPECT_EQ(a.points[i].h, b.points[i].h) << feed << " row " << i;
    }
}

TEST(ConcurrentEnvelopes, EachThreadGetsTheEnvelopeItGetsAlone) {
    const std::vector<std::string> feeds = {"methane=0.5,n-decane=0.5",
                                            "methane=0.6,n-butane=0.3,n-decane=0.1",
                                            "methane=0.5,n-butane=0.3,n-decane=0.1,water=0.1",
                                            "carbon dioxide=0.7,methane=0.2,n-butane=0.1"};
    std::vector<cli::EnvelopeResult> alone;
    for (const std::string& f : feeds)
        alone.push_back(Calculate(f));
    for (int round = 0; round < 2; ++round) {
        std::vector<cli::EnvelopeResult> together(feeds.size());
        std::vector<std::thread> threads;
        for (size_t k = 0; k < feeds.size(); ++k)
            threads.emplace_back([&, k] { together[k] = Calculate(feeds[k]); });
        for (std::thread& t : threads)
            t.join();
        for (size_t k = 0; k < feeds.size(); ++k) {
            ExpectSame(together[k], alone[k], feeds[k]);
            EXPECT_EQ(together[k].leftAlive, 0) << together[k].leftAliveReport;
            EXPECT_GT(together[k].points.size(), 20u) << feeds[k];
        }
    }
}

TEST(ConcurrentEnvelopes, AFaultPlanFailsOnlyItsOwnThreadsCalculation) {
    const std::string feed = "methane=0.5,n-decane=0.5";
    const cli::EnvelopeResult alone = Calculate(feed);
    cli::EnvelopeResult failed, whole;
    std::thread failing([&] {
        failed = Calculate(feed, {0, "IFlashManager::Flash", E_OUTOFMEMORY});
    });
    std::thread clean([&] { whole = Calculate(feed); });
    failing.join();
    clean.join();
    EXPECT_EQ(failed.status, E_OUTOFMEMORY);
    ExpectSame(whole, alone, feed);
    EXPECT_EQ(failed.leftAlive, 0);
    EXPECT_EQ(whole.leftAlive, 0);
}

}  // namespace
