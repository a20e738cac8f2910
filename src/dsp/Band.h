#pragma once

#include <array>
#include <cstdint>

namespace tl
{

/** The band types, stored as plain 32-bit ints in parameters and records. */
enum BandType : std::int32_t
{
    Bell = 0,
    LowShelf,
    HighShelf,
    Tilt,
    LowCut,
    HighCut,
    Notch
};

/** Which signal a band filters. */
enum Channel : std::int32_t
{
    Stereo = 0,
    Mid,
    Side,
    Left,
    Right
};

inline constexpr int kNumBands = 24;

/** Bells, shelves and tilt have a gain (scaled by the curve scale); cuts and the notch do not. */
inline constexpr bool hasGain (std::int32_t type) noexcept { return type >= Bell && type <= Tilt; }

/** Slopes of the cut types in dB per octave; the "slope" parameter indexes this table. */
inline constexpr std::array<std::int32_t, 6> kSlopes { 6, 12, 18, 24, 36, 48 };

/** Short names of the channel routings, in `Channel` order. */
inline constexpr std::array<const char*, 5> kChanNames { "ST", "M", "S", "L", "R" };

/** One equaliser band as the user set it. Frequencies in Hz, gains in dB. */
struct Band
{
    bool on = false;
    std::int32_t type = Bell;
    double freq = 1000.0;
    double gain = 0.0;              // the curve scale is not applied here
    double q = 1.0;                 // clamped by the functions that use it
    std::int32_t slope = 24;        // dB/oct, one of kSlopes; cut types only
    std::int32_t ch = Stereo;
};

/** The response-curve snapshot: 24 bands and the scale as a fraction (1 = 100 %). */
struct Curve
{
    std::array<Band, kNumBands> bands {};
    double scale = 1.0;
};

/** Everything the engine needs for one block. */
struct Settings
{
    std::array<Band, kNumBands> bands {};
    double scale = 1.0;
    std::int32_t listen = -1;       // listened band index, -1 for none
    bool match = true;
    double output = 0.0;            // dB
    bool bypass = false;
    bool delta = false;
    std::int32_t monitor = 0;       // 0 off, 1 Mid, 2 Side, 3 Left, 4 Right
    std::int32_t mode = 0;          // 0 Zero Latency, 1 Linear Phase, 2 Linear HQ
};

/** One section, H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2). */
struct Biquad
{
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;

    /** The section whose response is 1/H. */
    Biquad inverse() const noexcept { return { 1.0 / b0, a1 / b0, a2 / b0, b1 / b0, b2 / b0 }; }
};

/** Up to four sections applied in index order; count 0 passes the signal unchanged. */
struct Cascade
{
    std::array<Biquad, 4> sections {};
    std::int32_t count = 0;
};

} // namespace tl
