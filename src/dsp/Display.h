#pragma once

#include <array>

namespace tl
{

/** The half heights of the graph's gain axis the user can choose, in dB. */
inline constexpr std::array<double, 4> kGraphRanges { 3.0, 6.0, 12.0, 30.0 };

/** A stored graph range as the displays use it: one of kGraphRanges, anything else reads as 12. */
inline constexpr double validGraphRange (double stored) noexcept
{
    for (const double range : kGraphRanges)
        if (stored == range)
            return range;

    return 12.0;
}

} // namespace tl
