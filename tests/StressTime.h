#pragma once

#include <cstdlib>

namespace tltest
{
// How long a stress test runs: TIREL_STRESS_SECONDS when set to a positive number of seconds,
// else the test's own default.
inline int stressSeconds (int defaultSeconds)
{
    const char* text = std::getenv ("TIREL_STRESS_SECONDS");
    const int seconds = text != nullptr ? std::atoi (text) : 0;
    return seconds > 0 ? seconds : defaultSeconds;
}
}
