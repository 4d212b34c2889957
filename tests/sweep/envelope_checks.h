// The checks the sweep makes on one feed's envelope, none of which trusts
// the code under test:
//   status      Execute succeeded; S_OK only when nothing is missing
//   leak        no COM object outlives the calculation
//   finite      every stored value and scalar is finite (or the undefined
//               marker where the output leaves a cell undefined)
//   empty       the envelope has boundary rows
//   boundary    every two-phase row (dew, bubble, their special points, and
//               the incipient-liquid rows where a second liquid appears in
//               the liquid) lies on a stability boundary of the feed: the
//               checks' own tangent-plane analysis finds the feed stable on
//               one side and unstable on the other
//   three-phase every three-phase boundary row lies where the phase count
//               changes between three and fewer
//   flash       the host's PT flash near such rows agrees with the
//               tangent-plane analysis (no phase missed)
//   scalars     cricondenbar and cricondentherm are the extremes of the rows
//   critical    the envelope's critical point is a root of the host's
//               critical-point solver, and a root where the feed is stable
//               is on the envelope
//   paths       the host path and the application-side path agree
//   repeat      a second Execute on the same object gives the same envelope
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/sweep/feeds.h"

namespace sweep {

// The names of the checks, in report order.
const std::vector<std::string>& CheckNames();

struct CheckFailure {
    std::string check;   // one of CheckNames()
    std::string detail;  // what was wrong, where
};

struct FeedReport {
    std::vector<CheckFailure> failures;
    double elapsedMs = 0;  // the host path's Execute
    long hostCalls = 0;
    int rows = 0;
    uint32_t gaps = 0;  // what Execute's status says is missing (EnvelopeGap bits)
    // FNV-1a hash of the host path's status, rows and scalars, bit for bit: two
    // builds that compute the same envelope give the same digest.
    uint64_t digest = 0;
    bool Failed(const std::string& check) const;
};

struct CheckOptions {
    // Also run the application-side path and compare.
    bool comparePaths = true;
    // Run Execute twice on one object and compare.
    bool repeat = true;
    // Bounds of the critical-point comparison.
    double criticalKelvin = 0.5;
    double criticalRelative = 0.005;
};

// Runs the feed's envelope and every check.
FeedReport CheckFeed(const SweepFeed& feed, const CheckOptions& options = CheckOptions());

}  // namespace sweep
