// The accuracy of an envelope's special points and curves, against answers
// the tracer does not give:
//   critical       the envelope's critical point against the host's
//                  critical-point solver, where it finds exactly one root on
//                  the envelope: within 0.02 K and 0.02 % in pressure;
//   cricondenbar   against the highest saturation pressure over temperature
//                  (golden section over saturation points that the checks
//                  solve on their own equation of state): within 0.02 %;
//   cricondentherm against the highest saturation temperature over pressure,
//                  found the same way: within 0.02 K;
//   chord          every straight segment between consecutive rows of one
//                  curve lies within 0.5 % in pressure (or 0.5 K in
//                  temperature, whichever is the curve's free variable) of
//                  the curve solved at the segment's middle.
#pragma once

#include <string>
#include <vector>

#include "tests/sweep/envelope_checks.h"
#include "tests/sweep/feeds.h"

namespace sweep {

// The mixtures of the special-point sweep: binaries across the volatility
// range, ternaries, natural gases, a gas condensate and a CO2-rich gas, each
// with Peng-Robinson and with Soave-Redlich-Kwong.
std::vector<SweepFeed> SpecialPointMixtures();

struct SpecialPointReport {
    std::vector<CheckFailure> failures;  // checks "critical", "cricondenbar", "cricondentherm"
    // The differences found (NaN where not compared).
    double criticalKelvin = 0.0, criticalRelative = 0.0;
    double cricondenbarRelative = 0.0, cricondenthermKelvin = 0.0;
};

// The fluids of the chord check: the dry natural gas, the default wet gas and
// methane/n-butane/n-decane/water.
std::vector<SweepFeed> ChordFluids();

// Runs the feed's envelope on the host path and compares its special points.
SpecialPointReport CheckSpecialPoints(const SweepFeed& feed);

// Runs the feed's envelope on the host path and checks every chord; the
// failures name the segment (check "chord"). `checked` receives the number
// of segments compared.
std::vector<CheckFailure> CheckChords(const SweepFeed& feed, int* checked = nullptr);

}  // namespace sweep
