// The fluid phase-envelope computes when none is given: a wet natural gas of
// the kind a gas plant's inlet separator sees, lean in heavy ends yet with a
// few per cent of butanes to decane, saturated with water. Its envelope has
// both parts: the hydrocarbon dew and bubble curves with their critical point,
// cricondenbar and cricondentherm, and the water dew curve that meets the
// hydrocarbon dew curve at a three-phase point.
#pragma once

#include <string>

#include "cli/fluid_input.h"

namespace cli {

// The default fluid with the Peng-Robinson equation of state.
FluidInput DefaultFluid();

// "name 0.xxxx, ..." as the help text shows it.
std::string DefaultFluidText();

}  // namespace cli
