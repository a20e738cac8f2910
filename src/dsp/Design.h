#pragma once

#include "dsp/Band.h"

namespace tl
{

/** Designs a band as digital sections whose magnitude matches the analogue prototype
    at DC, at Nyquist and at one chosen frequency (matched-z poles, no prewarping).
    Ignores `on` and `ch`; uses `gain` as given, so callers apply the curve scale first.
    Stateless and allocation-free: safe on the audio thread.
*/
Cascade design (const Band& band, double sampleRate) noexcept;

/** The band's Q as the design uses it: 0.1 to 2 for shelves (beyond 2 the knee would
    overshoot), 0.1 to 40 for the other types. */
double clampedQ (const Band& band) noexcept;

/** Squared magnitude (power ratio) of the band's analogue prototype at a frequency in Hz. */
double analogPower (const Band& band, double frequency) noexcept;

/** Magnitude in dB of the band's analogue prototype at a frequency in Hz. */
double analogMagDb (const Band& band, double frequency) noexcept;

namespace detail
{
    /** Denominator of a second-order section with pole frequency w (radians per sample)
        and quality q, by the matched-z mapping. */
    void poles (double w, double q, double& a1, double& a2) noexcept;

    /** Numerator giving the squared magnitudes dc, nyquist and at (at the digital frequency w)
        over the denominator a1, a2. */
    Biquad matched (double a1, double a2, double dc, double nyquist, double at, double w) noexcept;

    /** First-order section with the squared magnitudes dc, nyquist and at (at w). */
    Biquad firstOrder (double dc, double nyquist, double at, double w) noexcept;
}

} // namespace tl
