#pragma once

#include "dsp/Band.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace tl
{

/** The two state values of one section in transposed direct form II. */
using SectionState = double[2];

/** One sample through one section (transposed direct form II). */
inline double runSection (const Biquad& s, SectionState& state, double x) noexcept
{
    const double y = s.b0 * x + state[0];
    state[0] = s.b1 * x - s.a1 * y + state[1];
    state[1] = s.b2 * x - s.a2 * y;
    return y;
}

/** One sample through the sections of a cascade in order, one state pair per section. */
inline double runCascade (const Cascade& c, SectionState* states, double x) noexcept
{
    for (int i = 0; i < c.count; ++i)
        x = runSection (c.sections[(size_t) i], states[i], x);
    return x;
}

/** False for NaN and the infinities. */
inline bool isFiniteSample (double x) noexcept { return std::abs (x) <= DBL_MAX; }

/** Moves value one step towards target without passing it. */
inline void rampTowards (double& value, double target, double step) noexcept
{
    if (value < target)
        value = std::min (target, value + step);
    else if (value > target)
        value = std::max (target, value - step);
}

} // namespace tl
