#pragma once

#include "dsp/Band.h"

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

/** Sets of channels as bit masks of `Channel`, for curves that sum some routings only. */
inline constexpr int channelBit (int channel) noexcept { return 1 << channel; }

/** The channels of the main drawn curve: what the left or mid signal hears. */
inline constexpr int kMainCurveChannels = channelBit (Stereo) | channelBit (Mid) | channelBit (Left);

/** The band as displays draw it: its gain scaled by the curve scale where the type has a gain. */
Band drawnBand (const Band&, double scale) noexcept;

/** The summed analogue response in dB, at a frequency, of the bands that are on and routed to
    one of the channels in a mask, each with its drawn gain. */
double summedDb (const Curve&, int channels, double hz) noexcept;

} // namespace tl
