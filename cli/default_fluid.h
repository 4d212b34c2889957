// The fluid phase-envelope computes when none is given: a wet natural gas of
// the kind a gas plant's inlet separator sees, mostly methane with a few per
// cent of butane to decane and some free water. Its envelope has both parts:
// the hydrocarbon dew curve with its cricondentherm, and the water dew curve
// meeting it at a three-phase point, with the boundaries of the three-phase
// region below and above that point.
#pragma once

#include <string>

#include "cli/fluid_input.h"

namespace cli {

// The default fluid with the Peng-Robinson equation of state.
FluidInput DefaultFluid();

// "name 0.xxxx, ..." as the help text shows it.
std::string DefaultFluidText();

}  // namespace cli
