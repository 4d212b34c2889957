// The marker of a number that is not set, as the host framework, the
// utility and their clients exchange it in properties, arrays and stored
// rows.
#pragma once

#include <cstdint>

constexpr double kUndefined = -32767.0;
constexpr int32_t kUndefinedInt = -32767;
