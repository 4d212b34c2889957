// The units and the marker of an unset number that every part of the utility
// shares with the host: the utility works in atm and K, the host in kPa and
// K, and -32767 stands for a value that is not set.
#pragma once

#include <cstdint>

#include "host/undefined.h"

constexpr double kKpaPerAtm = 101.325;
constexpr double kKelvinOffset = 273.15;  // K at 0 °C
