#include "dsp/Design.h"
#include "dsp/Fft.h"
#include "dsp/Linear.h"
#include "dsp/Tirel.h"

#include "DspTestUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace
{
namespace lin = tl::linear;
using lin::Convolver;
using lin::Spectra;

using tltest::makeBand;
using tltest::noise;
using tltest::pi;
using tltest::rms;
using tltest::sameSamples;
using tltest::sine;
using tltest::switchedOff;

constexpr int kPhase = lin::linearPhase;
constexpr int kHq = lin::linearHQ;

tl::Curve curveOf (std::initializer_list<tl::Band> bands, double scale = 1.0)
{
    tl::Curve c;
    size_t i = 0;
    for (const auto& b : bands)
        c.bands[i++] = b;
    c.scale = scale;
    return c;
}

tl::Settings settingsFor (int mode, const tl::Curve& curve = {})
{
    auto s = tltest::filtersOnly();
    s.bands = curve.bands;
    s.scale = curve.scale;
    s.mode = mode;
    return s;
}

//==============================================================================
// What a curve should do, straight from the bands' analogue prototypes.

struct Matrix2
{
    double ll = 1.0, lr = 0.0, rl = 0.0, rr = 1.0;    // rows: output L, R; columns: input L, R
};

Matrix2 times (const Matrix2& f, const Matrix2& m)
{
    return { f.ll * m.ll + f.lr * m.rl, f.ll * m.lr + f.lr * m.rr,
             f.rl * m.ll + f.rr * m.rl, f.rl * m.lr + f.rr * m.rr };
}

double amplitudeOf (tl::Band b, double scale, double freq)
{
    if (tl::hasGain (b.type))
        b.gain *= scale;
    const double db = tl::analogMagDb (b, freq);
    return db < -120.0 ? 1e-6 : std::pow (10.0, db / 20.0);
}

// Each band acts on its own component of the stereo signal, one after another in band order;
// Mid and Side act on (L + R)/2 and (L - R)/2. In mono every band but the Side ones acts on the
// one channel.
Matrix2 expectedAt (const tl::Curve& curve, bool mono, double freq)
{
    Matrix2 m;

    for (const auto& b : curve.bands)
    {
        if (! b.on || (mono && b.ch == tl::Side))
            continue;

        const double u = amplitudeOf (b, curve.scale, freq);
        Matrix2 f { u, 0.0, 0.0, u };

        if (! mono)
        {
            switch (b.ch)
            {
                case tl::Left:  f = { u, 0.0, 0.0, 1.0 }; break;
                case tl::Right: f = { 1.0, 0.0, 0.0, u }; break;
                case tl::Mid:   f = { (1.0 + u) / 2.0, (u - 1.0) / 2.0, (u - 1.0) / 2.0, (1.0 + u) / 2.0 }; break;
                case tl::Side:  f = { (1.0 + u) / 2.0, (1.0 - u) / 2.0, (1.0 - u) / 2.0, (1.0 + u) / 2.0 }; break;
                default:        break;
            }
        }

        m = times (f, m);
    }

    return m;
}

double entry (const Matrix2& m, int index)
{
    const double e[] = { m.ll, m.lr, m.rl, m.rr };
    return e[index];
}

//==============================================================================
// What a built set holds.

// The taps of one sub-filter, recovered from its transformed partitions. Each partition is the
// transform of B taps followed by B zeros; `padding` collects the largest value found where the
// zeros should be.
std::vector<double> tapsOf (const Spectra& set, int sub, double* padding = nullptr)
{
    const int b = set.block;
    const int stride = 2 * b + 2;
    tl::Fft fft;
    fft.prepare (2 * b);

    std::vector<double> taps ((size_t) (set.partitions * b));
    std::vector<std::complex<double>> z ((size_t) (2 * b));
    double worst = 0.0;

    for (int k = 0; k < set.partitions; ++k)
    {
        const double* bins = set.bins.data() + (size_t) ((sub * set.partitions + k) * stride);
        for (int j = 0; j <= b; ++j)
            z[(size_t) j] = { bins[j], bins[b + 1 + j] };
        for (int j = 1; j < b; ++j)
            z[(size_t) (2 * b - j)] = std::conj (z[(size_t) j]);

        fft.inverse (z.data());

        for (int i = 0; i < b; ++i)
        {
            taps[(size_t) (k * b + i)] = z[(size_t) i].real() / (2.0 * b);
            worst = std::max (worst, std::abs (z[(size_t) (b + i)]) / (2.0 * b));
        }
    }

    if (padding != nullptr)
        *padding = worst;
    return taps;
}

// Tap length/2 + l of the FIR a zero-phase response sampled at bins 0 … length/2 should give:
// the inverse transform, centred, windowed flat over the middle 75 % and by a half cosine beyond.
double expectedTap (const std::vector<double>& response, int length, int l)
{
    const int half = length / 2;
    if (std::abs (l) >= half)
        return 0.0;

    double sum = response[0] + response[(size_t) half] * (l % 2 == 0 ? 1.0 : -1.0);
    for (int k = 1; k < half; ++k)
    {
        const auto phase = ((long long) k * l % length + length) % length;
        sum += 2.0 * response[(size_t) k] * std::cos (2.0 * pi * (double) phase / length);
    }

    const double v = sum / length;
    const double r = std::abs (l) / (double) half;
    return r <= 0.75 ? v : v * (1.0 + std::cos (4.0 * pi * (r - 0.75))) / 2.0;
}

// The response of taps centred at their middle: real for a linear-phase filter.
std::complex<double> centredResponse (const std::vector<double>& h, double freq, double fs)
{
    const int centre = (int) h.size() / 2;
    const double w = 2.0 * pi * freq / fs;
    const auto step = std::polar (1.0, -w);
    auto phasor = std::polar (1.0, w * centre);
    std::complex<double> sum;

    for (double tap : h)
    {
        sum += tap * phasor;
        phasor *= step;
    }
    return sum;
}

std::vector<double> logFrequencies (double from, double to, int count)
{
    std::vector<double> f;
    for (int i = 0; i < count; ++i)
        f.push_back (from * std::pow (to / from, i / (count - 1.0)));
    return f;
}

//==============================================================================
// Driving a convolver.

void run (Convolver& c, std::vector<double>& l, std::vector<double>& r, int begin, int end, int channels = 2)
{
    double* ch[] = { l.data() + begin, r.data() + begin };
    c.process (ch, channels, end - begin);
}

// The impulse responses a convolver plays with a set: [out·2 + in] (LL, LR, RL, RR), each `length`
// taps long, taken once the set has taken over and its fade-in has ended.
std::array<std::vector<double>, 4> impulseResponses (Spectra& set, int mode, double fs, int channels)
{
    Convolver conv;
    conv.prepare (mode, fs);
    const int b = conv.block;
    const int t0 = ((b + conv.fadeLength) / b + 1) * b;
    const int n = t0 + b + set.length;

    std::array<std::vector<double>, 4> h;
    for (int in = 0; in < channels; ++in)
    {
        conv.reset();
        conv.offer (&set);
        std::vector<double> x[2] { std::vector<double> ((size_t) n), std::vector<double> ((size_t) n) };
        x[in][(size_t) t0] = 1.0;
        run (conv, x[0], x[1], 0, n, channels);

        for (int out = 0; out < channels; ++out)
            h[(size_t) (out * 2 + in)].assign (x[out].begin() + t0 + b, x[out].begin() + t0 + b + set.length);
    }
    return h;
}

std::vector<Spectra*> drain (lin::RetireQueue& ring)
{
    std::vector<Spectra*> out;
    while (auto* s = ring.pop())
        out.push_back (s);
    return out;
}

::testing::AssertionResult delayedBy (const std::vector<double>& out, const std::vector<double>& in, int delay)
{
    for (size_t i = 0; i < out.size(); ++i)
    {
        const double expected = (int) i < delay ? 0.0 : in[i - (size_t) delay];
        if (out[i] != expected)
            return ::testing::AssertionFailure() << "sample " << i << " is " << out[i] << " instead of " << expected;
    }
    return ::testing::AssertionSuccess();
}

} // namespace

//==============================================================================
// Sizes.

TEST (LinearSizes, RateBandsSwitchAt88200And176400)
{
    struct Row { double fs; int phaseLength, phaseBlock, hqLength, hqBlock; };
    const Row rows[] = {
        { 44100.0, 16384, 1024, 65536, 4096 },
        { 88199.99, 16384, 1024, 65536, 4096 },
        { 88200.0, 32768, 2048, 131072, 8192 },
        { 176399.99, 32768, 2048, 131072, 8192 },
        { 176400.0, 65536, 4096, 262144, 16384 },
        { 384000.0, 65536, 4096, 262144, 16384 },
    };

    for (const auto& row : rows)
    {
        SCOPED_TRACE (row.fs);
        const auto phase = lin::sizesFor (kPhase, row.fs);
        const auto hq = lin::sizesFor (kHq, row.fs);
        EXPECT_EQ (phase.length, row.phaseLength);
        EXPECT_EQ (phase.block, row.phaseBlock);
        EXPECT_EQ (phase.latency(), row.phaseLength / 2 + row.phaseBlock);
        EXPECT_EQ (hq.length, row.hqLength);
        EXPECT_EQ (hq.block, row.hqBlock);
        EXPECT_EQ (hq.latency(), row.hqLength / 2 + row.hqBlock);
    }
}

//==============================================================================
// Latency: the FIR is centred at length/2 and the convolver adds one block.

namespace
{
struct LatencyCase
{
    const char* name;
    int mode;
    double fs;
    int latency;
};

void PrintTo (const LatencyCase& c, std::ostream* os) { *os << c.name; }

class LinearLatency : public ::testing::TestWithParam<LatencyCase> {};
} // namespace

TEST_P (LinearLatency, ImpulseComesOutCentredOnTheLatencyAndShapedByTheTaps)
{
    const auto& c = GetParam();
    auto set = lin::buildSpectra (c.mode, c.fs, false, curveOf ({ makeBand (tl::Bell, 1000.0, 9.0, 2.0) }));
    const auto sizes = lin::sizesFor (c.mode, c.fs);

    ASSERT_FALSE (set->flat);
    EXPECT_FALSE (set->matrix);
    EXPECT_EQ (set->sampleRate, c.fs);
    EXPECT_EQ (set->length, sizes.length);
    EXPECT_EQ (set->block, sizes.block);
    EXPECT_EQ (set->partitions, 16);
    EXPECT_EQ (set->bins.size(), (size_t) (16 * (2 * sizes.block + 2)));

    Convolver conv;
    conv.prepare (c.mode, c.fs);
    ASSERT_EQ (conv.latency, c.latency);
    EXPECT_EQ (conv.fadeLength, (int) std::lround (0.02 * c.fs));

    // The impulse arrives once the set plays alone.
    const int b = conv.block;
    const int t0 = ((b + conv.fadeLength) / b + 1) * b;
    const int n = t0 + b + set->length;
    std::vector<double> l ((size_t) n), r ((size_t) n);
    l[(size_t) t0] = 1.0;
    r[(size_t) t0] = -0.5;
    conv.offer (set.get());
    run (conv, l, r, 0, n);

    double padding = 0.0;
    const auto taps = tapsOf (*set, 0, &padding);
    EXPECT_LT (padding, 1e-12);

    const auto peak = std::max_element (l.begin(), l.end(), [] (double a, double x) { return std::abs (a) < std::abs (x); });
    EXPECT_EQ (peak - l.begin(), t0 + c.latency);

    for (int i = 0; i < t0 + b; ++i)
        ASSERT_EQ (l[(size_t) i], 0.0) << "sample " << i << " is ahead of the filter";

    for (int m = 0; m < set->length; ++m)
    {
        const auto i = (size_t) (t0 + b + m);
        ASSERT_NEAR (l[i], taps[(size_t) m], 1e-12) << "tap " << m;
        ASSERT_NEAR (r[i], -0.5 * taps[(size_t) m], 1e-12) << "tap " << m;
    }

    for (int k = 1; k < set->length / 2; ++k)
        ASSERT_NEAR (l[(size_t) (t0 + c.latency + k)], l[(size_t) (t0 + c.latency - k)], 1e-12) << k << " samples off the centre";
}

TEST_P (LinearLatency, WithoutASetOrWithAFlatOneTheInputIsDelayedExactly)
{
    const auto& c = GetParam();
    auto flat = lin::buildSpectra (c.mode, c.fs, false, tl::Curve {});
    ASSERT_TRUE (flat->flat);
    EXPECT_TRUE (flat->bins.empty());

    Convolver conv;
    conv.prepare (c.mode, c.fs);
    const int n = c.latency + 4 * conv.block;
    const auto inL = noise (n, 1), inR = noise (n, 2);

    auto l = inL, r = inR;
    run (conv, l, r, 0, n);
    EXPECT_TRUE (delayedBy (l, inL, c.latency));
    EXPECT_TRUE (delayedBy (r, inR, c.latency));

    // Swapping the empty slot for a flat set, once the delayed signal is flowing, keeps the timing.
    conv.reset();
    l = inL;
    r = inR;
    const int offerAt = c.latency + conv.block;
    run (conv, l, r, 0, offerAt);
    conv.offer (flat.get());
    run (conv, l, r, offerAt, n);
    EXPECT_EQ (conv.playing, flat.get());

    for (int i = 0; i < n; ++i)
    {
        const double expectedL = i < c.latency ? 0.0 : inL[(size_t) (i - c.latency)];
        const double expectedR = i < c.latency ? 0.0 : inR[(size_t) (i - c.latency)];
        ASSERT_DOUBLE_EQ (l[(size_t) i], expectedL) << "sample " << i;
        ASSERT_DOUBLE_EQ (r[(size_t) i], expectedR) << "sample " << i;
    }
}

INSTANTIATE_TEST_SUITE_P (LinearModes, LinearLatency,
    ::testing::Values (LatencyCase { "Phase44k", kPhase, 44100.0, 9216 },
                       LatencyCase { "Hq48k", kHq, 48000.0, 36864 },
                       LatencyCase { "Phase96k", kPhase, 96000.0, 18432 },
                       LatencyCase { "Hq96k", kHq, 96000.0, 73728 },
                       LatencyCase { "Phase192k", kPhase, 192000.0, 36864 },
                       LatencyCase { "Hq192k", kHq, 192000.0, 147456 }),
    [] (const auto& row) { return std::string (row.param.name); });

//==============================================================================
// Which bands take part, and whether left and right need their own filters.

namespace
{
struct BuildCase
{
    const char* name;
    tl::Curve curve;
    bool mono;
    bool flat;
    bool matrix;
};

void PrintTo (const BuildCase& c, std::ostream* os) { *os << c.name; }

class LinearBuild : public ::testing::TestWithParam<BuildCase> {};
} // namespace

TEST_P (LinearBuild, FlatAndMatrixFollowWhatTheBandsDo)
{
    const auto& c = GetParam();
    const auto set = lin::buildSpectra (kPhase, 48000.0, c.mono, c.curve);

    EXPECT_EQ (set->flat, c.flat);
    EXPECT_EQ (set->matrix, c.matrix);
    EXPECT_EQ (set->length, 16384);
    EXPECT_EQ (set->block, 1024);
    EXPECT_EQ (set->partitions, 16);
    EXPECT_EQ (set->sampleRate, 48000.0);
    EXPECT_EQ (set->bins.size(), c.flat ? 0u : (size_t) ((c.matrix ? 4 : 1) * 16 * 2050));
}

INSTANTIATE_TEST_SUITE_P (LinearCurves, LinearBuild, ::testing::Values (
    BuildCase { "EveryBandOff", curveOf ({ switchedOff (makeBand (tl::Bell, 1000.0, 6.0)), switchedOff (makeBand (tl::LowCut, 100.0)),
                                           switchedOff (makeBand (tl::Notch, 3000.0)) }), false, true, false },
    BuildCase { "OnlyBellsAt0dB", curveOf ({ makeBand (tl::Bell, 1000.0, 0.0), makeBand (tl::Bell, 80.0, 0.0, 4.0, tl::Mid) }),
                false, true, false },
    BuildCase { "Scale0SilencesGainTypes", curveOf ({ makeBand (tl::Bell, 1000.0, 6.0), makeBand (tl::LowShelf, 100.0, -4.0),
                                                      makeBand (tl::HighShelf, 8000.0, 3.0, 0.7, tl::Left),
                                                      makeBand (tl::Tilt, 1000.0, 2.0) }, 0.0), false, true, false },
    BuildCase { "Scale0LeavesCuts", curveOf ({ makeBand (tl::Bell, 1000.0, 6.0), makeBand (tl::LowCut, 40.0) }, 0.0),
                false, false, false },
    BuildCase { "MonoDropsSideBands", curveOf ({ makeBand (tl::Bell, 1000.0, 6.0, 1.0, tl::Side),
                                                 makeBand (tl::LowCut, 100.0, 0.0, 1.0, tl::Side) }), true, true, false },
    BuildCase { "StereoBell", curveOf ({ makeBand (tl::Bell, 1000.0, 6.0) }), false, false, false },
    BuildCase { "StereoCutAndNotch", curveOf ({ makeBand (tl::LowCut, 80.0), makeBand (tl::Notch, 3000.0, 0.0, 4.0) }),
                false, false, false },
    BuildCase { "MidBell", curveOf ({ makeBand (tl::Bell, 1000.0, 6.0, 1.0, tl::Mid) }), false, false, true },
    BuildCase { "SideShelf", curveOf ({ makeBand (tl::HighShelf, 5000.0, -3.0, 0.7, tl::Side) }), false, false, true },
    BuildCase { "LeftNotch", curveOf ({ makeBand (tl::Notch, 2000.0, 0.0, 2.0, tl::Left) }), false, false, true },
    BuildCase { "RightLowCut", curveOf ({ makeBand (tl::LowCut, 120.0, 0.0, 1.0, tl::Right) }), false, false, true },
    BuildCase { "MidBellAt0dBDoesNothing", curveOf ({ makeBand (tl::Bell, 1000.0, 6.0), makeBand (tl::Bell, 300.0, 0.0, 1.0, tl::Mid) }),
                false, false, false },
    BuildCase { "LeftAndRightAlike", curveOf ({ makeBand (tl::Bell, 1000.0, 6.0, 1.0, tl::Left),
                                                makeBand (tl::Bell, 1000.0, 6.0, 1.0, tl::Right) }), false, false, false },
    BuildCase { "MidAndSideAlike", curveOf ({ makeBand (tl::Bell, 1000.0, 6.0, 1.0, tl::Mid),
                                              makeBand (tl::Bell, 1000.0, 6.0, 1.0, tl::Side) }), false, false, false },
    BuildCase { "MonoLeftBell", curveOf ({ makeBand (tl::Bell, 1000.0, 6.0, 1.0, tl::Left) }), true, false, false },
    BuildCase { "MonoMidAndSide", curveOf ({ makeBand (tl::Bell, 1000.0, 6.0, 1.0, tl::Mid),
                                             makeBand (tl::Bell, 200.0, -6.0, 1.0, tl::Side) }), true, false, false }),
    [] (const auto& row) { return std::string (row.param.name); });

//==============================================================================
// The taps themselves.

namespace
{
struct TapCase
{
    const char* name;
    int mode;
    double fs;
    tl::Curve curve;
    int subFilters;
};

void PrintTo (const TapCase& c, std::ostream* os) { *os << c.name; }

class LinearTaps : public ::testing::TestWithParam<TapCase> {};
} // namespace

TEST_P (LinearTaps, AreTheWindowedCentredInverseTransformOfTheTarget)
{
    const auto& c = GetParam();
    const auto set = lin::buildSpectra (c.mode, c.fs, false, c.curve);
    const int length = set->length;
    const int half = length / 2;
    ASSERT_EQ (set->matrix ? 4 : 1, c.subFilters);

    for (int sub = 0; sub < c.subFilters; ++sub)
    {
        SCOPED_TRACE ("sub-filter " + std::to_string (sub));
        std::vector<double> target ((size_t) half + 1);
        for (int k = 0; k <= half; ++k)
            target[(size_t) k] = entry (expectedAt (c.curve, false, std::max (0.1, k * c.fs / length)), sub);

        double padding = 0.0;
        const auto taps = tapsOf (*set, sub, &padding);
        ASSERT_EQ ((int) taps.size(), length);
        EXPECT_LT (padding, 1e-12);

        EXPECT_LT (std::abs (taps[0]), 1e-15);
        const auto peak = std::max_element (taps.begin(), taps.end(), [] (double a, double x) { return std::abs (a) < std::abs (x); });
        EXPECT_EQ (peak - taps.begin(), half);

        for (int k = 1; k < half; ++k)
            ASSERT_NEAR (taps[(size_t) (half + k)], taps[(size_t) (half - k)], 1e-13) << k << " taps off the centre";

        // Across the flat middle, the taper and its end.
        const double spots[] = { 0.0, 1.0, 2.0, 7.0, 100.0, 0.5, 0.6, 0.7, 0.72, 0.74, 0.75, 0.76, 0.8, 0.875, 0.95, 0.999 };
        for (double spot : spots)
        {
            const int l = spot < 1.0 ? (int) (spot * half) : (int) spot;
            for (int signedL : { l, -l })
                EXPECT_NEAR (taps[(size_t) (half + signedL)], expectedTap (target, length, signedL), 1e-12)
                    << "tap " << half + signedL;
        }
    }
}

INSTANTIATE_TEST_SUITE_P (LinearFirs, LinearTaps, ::testing::Values (
    // Linear HQ at 44.1 kHz: 65536 taps, centred on tap 32768.
    TapCase { "HqBellAt44k", kHq, 44100.0, curveOf ({ makeBand (tl::Bell, 1000.0, 6.0) }), 1 },
    // A notch sitting exactly on bin 341 of 16384 reaches no signal at all there: floored at -120 dB.
    TapCase { "NotchOnABin", kPhase, 48000.0, curveOf ({ makeBand (tl::Notch, 341.0 * 48000.0 / 16384.0, 0.0, 0.5) }), 1 },
    // Rings for longer than half the FIR, so the window's taper carries real signal.
    TapCase { "RingingLowNotch", kPhase, 48000.0, curveOf ({ makeBand (tl::Notch, 50.0, 0.0, 40.0) }), 1 },
    // The four sub-filters in the order LL, LR, RL, RR.
    TapCase { "MidBellAndLeftShelf", kPhase, 48000.0,
              curveOf ({ makeBand (tl::Bell, 1000.0, 6.0, 1.0, tl::Mid), makeBand (tl::LowShelf, 300.0, -6.0, 0.7, tl::Left) }), 4 }),
    [] (const auto& row) { return std::string (row.param.name); });

TEST (LinearFloor, ResponseNeverFallsBelowMinus120dB)
{
    // A 48 dB/oct low cut at 20 kHz is far below -120 dB through the mids.
    const auto curve = curveOf ({ makeBand (tl::LowCut, 20000.0, 0.0, 1.0, tl::Stereo, 48) });
    const auto set = lin::buildSpectra (kPhase, 48000.0, false, curve);
    const auto taps = tapsOf (*set, 0);

    for (double f : { 100.0, 500.0, 1000.0, 2000.0 })
    {
        ASSERT_LT (tl::analogMagDb (curve.bands[0], f), -125.0);
        EXPECT_NEAR (20.0 * std::log10 (std::abs (centredResponse (taps, f, 48000.0))), -120.0, 0.1) << f << " Hz";
    }

    EXPECT_NEAR (20.0 * std::log10 (std::abs (centredResponse (taps, 22000.0, 48000.0))),
                 tl::analogMagDb (curve.bands[0], 22000.0), 0.05);
}

//==============================================================================
// Steady-state response of a set played by the convolver.

namespace
{
struct ResponseCase
{
    const char* name;
    int mode;
    double fs;
    bool mono;
    tl::Curve curve;
};

void PrintTo (const ResponseCase& c, std::ostream* os) { *os << c.name; }

class LinearResponse : public ::testing::TestWithParam<ResponseCase> {};
} // namespace

TEST_P (LinearResponse, MatchesTheBandsAnalogueCurves)
{
    const auto& c = GetParam();
    auto set = lin::buildSpectra (c.mode, c.fs, c.mono, c.curve);
    ASSERT_FALSE (set->flat);

    const int channels = c.mono ? 1 : 2;
    const auto h = impulseResponses (*set, c.mode, c.fs, channels);

    double worstImag = 0.0;

    for (double f : logFrequencies (20.0, std::min (20000.0, 0.45 * c.fs), 48))
    {
        const auto expected = expectedAt (c.curve, c.mono, f);

        for (int out = 0; out < channels; ++out)
        {
            for (int in = 0; in < channels; ++in)
            {
                const int index = out * 2 + in;
                const auto measured = centredResponse (h[(size_t) index], f, c.fs);
                const double want = entry (expected, index);
                worstImag = std::max (worstImag, std::abs (measured.imag()));

                if (out == in)
                {
                    ASSERT_GT (measured.real(), 0.0) << f << " Hz, entry " << index;
                    const double errDb = std::abs (20.0 * std::log10 (measured.real() / want));
                    EXPECT_LT (errDb, 0.01) << f << " Hz, entry " << index << ": " << 20.0 * std::log10 (measured.real())
                                            << " dB instead of " << 20.0 * std::log10 (want);
                }
                else
                {
                    EXPECT_NEAR (measured.real(), want, 1e-4) << f << " Hz, entry " << index;
                }
            }
        }
    }

    // Symmetric taps: no phase beyond the delay.
    EXPECT_LT (worstImag, 1e-9);
}

INSTANTIATE_TEST_SUITE_P (LinearCurves, LinearResponse, ::testing::Values (
    ResponseCase { "PhaseMix", kPhase, 48000.0, false,
                   curveOf ({ makeBand (tl::Bell, 1000.0, 6.0), makeBand (tl::LowShelf, 200.0, -4.0, 0.7),
                              makeBand (tl::HighShelf, 6000.0, 3.0, 0.7), makeBand (tl::HighCut, 15000.0, 0.0, 1.0, tl::Stereo, 12) }) },
    ResponseCase { "HqLows", kHq, 48000.0, false,
                   curveOf ({ makeBand (tl::LowCut, 30.0, 0.0, 1.0, tl::Stereo, 48), makeBand (tl::Bell, 60.0, 8.0, 4.0),
                              makeBand (tl::Tilt, 1000.0, 3.0), makeBand (tl::Notch, 3000.0, 0.0, 8.0) }) },
    ResponseCase { "HqNarrowBassCutAt44k", kHq, 44100.0, false,
                   curveOf ({ makeBand (tl::Bell, 40.0, -10.0, 6.0), makeBand (tl::HighShelf, 10000.0, 2.0, 1.0) }) },
    ResponseCase { "Phase96k", kPhase, 96000.0, false,
                   curveOf ({ makeBand (tl::Bell, 12000.0, 5.0, 3.0), makeBand (tl::LowCut, 60.0, 0.0, 1.0, tl::Stereo, 12) }) },
    ResponseCase { "ScaleInvertsAndHalvesGains", kPhase, 48000.0, false,
                   curveOf ({ makeBand (tl::Bell, 1000.0, 12.0), makeBand (tl::LowShelf, 150.0, 8.0, 0.7),
                              makeBand (tl::LowCut, 40.0, 0.0, 1.0, tl::Stereo, 12) }, -0.5) },
    ResponseCase { "MidSideAndStereo", kPhase, 48000.0, false,
                   curveOf ({ makeBand (tl::Bell, 2000.0, 6.0), makeBand (tl::Bell, 500.0, -6.0, 2.0, tl::Mid),
                              makeBand (tl::HighShelf, 5000.0, 6.0, 0.7, tl::Side) }) },
    ResponseCase { "LeftRightAndStereo", kPhase, 48000.0, false,
                   curveOf ({ makeBand (tl::Bell, 1000.0, 6.0, 1.0, tl::Left), makeBand (tl::LowShelf, 150.0, 6.0, 0.7, tl::Right),
                              makeBand (tl::Tilt, 2000.0, -2.0) }) },
    // A Left band ahead of a Mid band: the Mid band sees the left channel already boosted.
    ResponseCase { "LeftThenMid", kPhase, 48000.0, false,
                   curveOf ({ makeBand (tl::Bell, 1000.0, 9.0, 1.0, tl::Left), makeBand (tl::LowShelf, 300.0, -6.0, 0.7, tl::Mid),
                              makeBand (tl::HighCut, 10000.0, 0.0, 1.0, tl::Side, 12) }) },
    ResponseCase { "HqMatrix", kHq, 48000.0, false,
                   curveOf ({ makeBand (tl::Bell, 80.0, 6.0, 2.0, tl::Side), makeBand (tl::Bell, 3000.0, -4.0, 1.0, tl::Right) }) },
    // Mono: every band acts on the one channel, whatever its routing, except Side bands.
    ResponseCase { "MonoRules", kPhase, 48000.0, true,
                   curveOf ({ makeBand (tl::Bell, 1000.0, 6.0), makeBand (tl::LowShelf, 200.0, 4.0, 0.7, tl::Left),
                              makeBand (tl::HighShelf, 8000.0, -3.0, 0.7, tl::Right), makeBand (tl::Bell, 3000.0, -5.0, 1.0, tl::Mid),
                              makeBand (tl::Bell, 500.0, 12.0, 1.0, tl::Side) }) },
    ResponseCase { "MonoHq", kHq, 48000.0, true,
                   curveOf ({ makeBand (tl::LowCut, 25.0, 0.0, 1.0, tl::Left, 24), makeBand (tl::Bell, 100.0, -6.0, 3.0, tl::Right) }) }),
    [] (const auto& row) { return std::string (row.param.name); });

//==============================================================================
// A set's life in the convolver.

namespace
{
class LinearConvolver : public ::testing::Test
{
protected:
    static constexpr double fs = 48000.0;

    void SetUp() override
    {
        a = lin::buildSpectra (kPhase, fs, false, curveOf ({ makeBand (tl::Bell, 1000.0, 6.0) }));
        b = lin::buildSpectra (kPhase, fs, false, curveOf ({ makeBand (tl::HighShelf, 4000.0, -6.0, 0.7) }));
        for (int i = 0; i < 4; ++i)
            extra.push_back (lin::buildSpectra (kPhase, fs, false, curveOf ({ makeBand (tl::Bell, 500.0 * (i + 1), 3.0) })));
    }

    // Stereo noise, processed in pieces whose ends are the given sample positions.
    struct Stream
    {
        std::vector<double> l, r;
        int pos = 0;

        explicit Stream (int n) : l (noise (n, 7)), r (noise (n, 8)) {}

        void to (Convolver& c, int end)
        {
            run (c, l, r, pos, end);
            pos = end;
        }
    };

    std::unique_ptr<Spectra> a, b;
    std::vector<std::unique_ptr<Spectra>> extra;
};
} // namespace

TEST_F (LinearConvolver, OfferedSetTakesOverAtTheBlockEndAndCrossFadesOver960Samples)
{
    Convolver refA, refB, conv;
    for (auto* c : { &refA, &refB, &conv })
        c->prepare (kPhase, fs);
    ASSERT_EQ (conv.block, 1024);
    ASSERT_EQ (conv.fadeLength, 960);

    // The swap falls well after the latency, while filtered signal is coming out.
    const int blk = conv.block;
    const int offerAt = 10 * blk, swapAt = 11 * blk;
    const int n = 14 * blk;
    Stream sa (n), sb (n), s (n);
    refA.offer (a.get());
    refB.offer (b.get());
    conv.offer (a.get());
    sa.to (refA, n);
    sb.to (refB, n);

    s.to (conv, offerAt);
    ASSERT_EQ (conv.playing, a.get());
    conv.offer (b.get());
    EXPECT_EQ (conv.pending, b.get());

    // Its tail is worked ahead during this block, so it takes over at its end and not before.
    s.to (conv, swapAt - 1);
    EXPECT_EQ (conv.playing, a.get());
    EXPECT_EQ (conv.pending, b.get());
    s.to (conv, swapAt);
    EXPECT_EQ (conv.playing, b.get());
    EXPECT_EQ (conv.fadingOut, a.get());
    EXPECT_EQ (conv.pending, nullptr);
    EXPECT_TRUE (conv.fading);

    s.to (conv, swapAt + 959);
    EXPECT_TRUE (conv.fading);
    EXPECT_EQ (conv.retired.pop(), nullptr);
    s.to (conv, swapAt + 960);
    EXPECT_FALSE (conv.fading);
    EXPECT_EQ (conv.fadingOut, nullptr);
    EXPECT_EQ (drain (conv.retired), std::vector<Spectra*> { a.get() });

    s.to (conv, n);

    ASSERT_GT (rms (sa.l, swapAt, swapAt + 960), 0.05);
    for (int i = 0; i < n; ++i)
    {
        const auto u = (size_t) i;
        const double x = std::clamp ((i - swapAt) / 960.0, 0.0, 1.0);
        ASSERT_NEAR (s.l[u], sa.l[u] * (1.0 - x) + sb.l[u] * x, 1e-12) << "sample " << i;
        ASSERT_NEAR (s.r[u], sa.r[u] * (1.0 - x) + sb.r[u] * x, 1e-12) << "sample " << i;
    }
}

TEST_F (LinearConvolver, OffersDuringAFadeKeepOnlyTheLastAndRetireTheOthers)
{
    Convolver conv;
    conv.prepare (kPhase, fs);
    const int blk = conv.block;
    Stream s (8 * blk);

    conv.offer (a.get());
    s.to (conv, 2 * blk);
    conv.offer (b.get());
    s.to (conv, 3 * blk);
    ASSERT_EQ (conv.playing, b.get());
    ASSERT_TRUE (conv.fading);

    conv.offer (extra[0].get());
    s.to (conv, 3 * blk + 10);
    conv.offer (extra[1].get());
    s.to (conv, 3 * blk + 20);
    conv.offer (extra[2].get());

    EXPECT_EQ (conv.pending, extra[2].get());
    EXPECT_EQ (conv.playing, b.get());
    EXPECT_EQ (conv.fadingOut, a.get());
    EXPECT_EQ (drain (conv.retired), (std::vector<Spectra*> { extra[0].get(), extra[1].get() }));

    s.to (conv, 4 * blk);
    EXPECT_EQ (drain (conv.retired), std::vector<Spectra*> { a.get() });
    EXPECT_EQ (conv.playing, extra[2].get());
    EXPECT_EQ (conv.fadingOut, b.get());
}

TEST_F (LinearConvolver, SetOfferedDuringAFadeWaitsUntilItHasEnded)
{
    // At 64 kHz the 20 ms fade (1280 samples) outlasts a block of 1024.
    auto first = lin::buildSpectra (kPhase, 64000.0, false, curveOf ({ makeBand (tl::Bell, 1000.0, 6.0) }));
    auto second = lin::buildSpectra (kPhase, 64000.0, false, curveOf ({ makeBand (tl::Bell, 2000.0, -6.0) }));
    Convolver conv;
    conv.prepare (kPhase, 64000.0);
    ASSERT_EQ (conv.block, 1024);
    ASSERT_EQ (conv.fadeLength, 1280);
    Stream s (6 * 1024);

    conv.offer (first.get());
    s.to (conv, 1024);
    ASSERT_EQ (conv.playing, first.get());
    conv.offer (second.get());

    s.to (conv, 2048);
    EXPECT_TRUE (conv.fading);
    EXPECT_EQ (conv.playing, first.get());
    EXPECT_EQ (conv.pending, second.get());

    s.to (conv, 3072);
    EXPECT_EQ (conv.playing, second.get());
    EXPECT_EQ (conv.fadingOut, first.get());
    EXPECT_EQ (conv.pending, nullptr);
}

TEST_F (LinearConvolver, RepeatedOffersNeverRetireASetStillInUse)
{
    Convolver conv;
    conv.prepare (kPhase, fs);
    const int blk = conv.block;
    Stream s (8 * blk);
    auto* c = extra[0].get();

    conv.offer (a.get());
    s.to (conv, 2 * blk);
    ASSERT_EQ (conv.playing, a.get());

    // The playing set, offered again with nothing pending: nothing to do.
    conv.offer (a.get());
    EXPECT_EQ (conv.pending, nullptr);

    // The pending set offered twice stays pending once.
    conv.offer (b.get());
    conv.offer (b.get());
    EXPECT_EQ (conv.pending, b.get());
    EXPECT_EQ (conv.retired.pop(), nullptr);

    // The playing set displacing the pending one: only the pending one leaves.
    conv.offer (a.get());
    EXPECT_EQ (conv.pending, a.get());
    EXPECT_EQ (drain (conv.retired), std::vector<Spectra*> { b.get() });

    // Displaced from pending while it still plays: it stays.
    conv.offer (c);
    EXPECT_EQ (conv.pending, c);
    EXPECT_EQ (conv.retired.pop(), nullptr);

    s.to (conv, 3 * blk);
    ASSERT_EQ (conv.playing, c);
    ASSERT_EQ (conv.fadingOut, a.get());

    // The set fading out is offered again: its fade ends, but it is pending, so it stays.
    conv.offer (a.get());
    s.to (conv, 3 * blk + 961);
    EXPECT_FALSE (conv.fading);
    EXPECT_EQ (conv.pending, a.get());
    EXPECT_EQ (conv.retired.pop(), nullptr);

    s.to (conv, 4 * blk);
    EXPECT_EQ (conv.playing, a.get());
    EXPECT_EQ (conv.fadingOut, c);
    s.to (conv, 8 * blk);
    EXPECT_EQ (drain (conv.retired), std::vector<Spectra*> { c });
    EXPECT_EQ (conv.playing, a.get());
}

TEST_F (LinearConvolver, ResetRetiresAllThreeSetsAndForgetsThePast)
{
    Convolver conv;
    conv.prepare (kPhase, fs);
    const int blk = conv.block;
    Stream s (4 * blk);

    conv.offer (a.get());
    s.to (conv, 2 * blk);
    conv.offer (b.get());
    s.to (conv, 3 * blk);
    conv.offer (extra[0].get());
    s.to (conv, 3 * blk + 1);
    ASSERT_EQ (conv.playing, b.get());
    ASSERT_EQ (conv.fadingOut, a.get());
    ASSERT_EQ (conv.pending, extra[0].get());

    conv.reset();
    EXPECT_EQ (conv.playing, nullptr);
    EXPECT_EQ (conv.fadingOut, nullptr);
    EXPECT_EQ (conv.pending, nullptr);
    EXPECT_FALSE (conv.fading);
    const auto spent = drain (conv.retired);
    EXPECT_EQ (std::set<Spectra*> (spent.begin(), spent.end()), (std::set<Spectra*> { a.get(), b.get(), extra[0].get() }));
    EXPECT_EQ (spent.size(), 3u);

    // Nothing of the noise before the reset comes out: only the new input, delayed.
    const int n = conv.latency + 3 * blk;
    std::vector<double> l ((size_t) n), r ((size_t) n);
    l[5] = 1.0;
    r[6] = -1.0;
    const auto inL = l, inR = r;
    run (conv, l, r, 0, n);
    EXPECT_TRUE (delayedBy (l, inL, conv.latency));
    EXPECT_TRUE (delayedBy (r, inR, conv.latency));
}

TEST (LinearRetireQueue, HoldsAtMost127AndGivesThemBackInOrder)
{
    std::vector<Spectra> sets (300);
    lin::RetireQueue ring;

    for (int i = 0; i < 127; ++i)
        ASSERT_TRUE (ring.push (&sets[(size_t) i])) << i;
    EXPECT_FALSE (ring.push (&sets[127]));

    EXPECT_EQ (ring.pop(), &sets[0]);
    EXPECT_TRUE (ring.push (&sets[127]));
    EXPECT_FALSE (ring.push (&sets[128]));

    for (int i = 1; i <= 127; ++i)
        ASSERT_EQ (ring.pop(), &sets[(size_t) i]);
    EXPECT_EQ (ring.pop(), nullptr);

    // Round and round the ring.
    for (int i = 0; i < 300; ++i)
    {
        ASSERT_TRUE (ring.push (&sets[(size_t) i]));
        ASSERT_EQ (ring.pop(), &sets[(size_t) i]);
    }
    EXPECT_EQ (ring.pop(), nullptr);
}

TEST_F (LinearConvolver, FullRingKeepsTheDisplacedSetAndCarriesOn)
{
    Convolver conv;
    conv.prepare (kPhase, fs);
    std::vector<Spectra> dummies (127);
    for (auto& d : dummies)
        ASSERT_TRUE (conv.retired.push (&d));

    conv.offer (a.get());
    conv.offer (b.get());
    EXPECT_EQ (conv.pending, b.get());

    const auto spent = drain (conv.retired);
    EXPECT_EQ (spent.size(), 127u);
    EXPECT_EQ (std::count (spent.begin(), spent.end(), a.get()), 0);

    Stream s (2 * conv.block);
    s.to (conv, 2 * conv.block);
    EXPECT_EQ (conv.playing, b.get());
}

//==============================================================================
// Host block sizes.

namespace
{
const std::vector<std::vector<int>> kPatterns { { 10000 }, { 1 }, { 17, 255, 1023, 3, 4097, 256, 511, 1 } };

std::string patternName (const std::vector<int>& p)
{
    std::string s;
    for (int n : p)
        s += (s.empty() ? "" : ",") + std::to_string (n);
    return s;
}

// The first pattern's output becomes the reference, which every later pattern must give bit for bit.
::testing::AssertionResult matchesFirstPattern (std::vector<double> (&reference)[2], const std::vector<double>& l,
                                                const std::vector<double>& r)
{
    if (reference[0].empty())
    {
        reference[0] = l;
        reference[1] = r;
        return ::testing::AssertionSuccess();
    }
    if (auto left = sameSamples (l, reference[0]); ! left)
        return left << " on the left";
    return sameSamples (r, reference[1]) << " on the right";
}
} // namespace

TEST (LinearBlockSizes, ConvolverOutputIsTheSameForAnyBlockSize)
{
    const double fs = 48000.0;
    auto mid = lin::buildSpectra (kPhase, fs, false, curveOf ({ makeBand (tl::Bell, 800.0, 8.0, 1.0, tl::Mid) }));
    auto shelf = lin::buildSpectra (kPhase, fs, false, curveOf ({ makeBand (tl::HighShelf, 3000.0, -6.0, 0.7) }));
    auto cut = lin::buildSpectra (kPhase, fs, false, curveOf ({ makeBand (tl::LowCut, 200.0, 0.0, 1.0, tl::Left) }));
    auto flat = lin::buildSpectra (kPhase, fs, false, tl::Curve {});

    // Offers at block starts: the first set, then, once the output flows, a swap, a set arriving
    // during that swap's fade, and a flat set.
    const int blk = 1024;
    const std::vector<std::pair<int, Spectra*>> offers { { 0, mid.get() }, { 10 * blk, shelf.get() },
                                                         { 11 * blk, cut.get() }, { 14 * blk, flat.get() } };
    const int n = 18 * blk;

    std::vector<double> reference[2];

    for (const auto& pattern : kPatterns)
    {
        SCOPED_TRACE (patternName (pattern));
        Convolver conv;
        conv.prepare (kPhase, fs);
        auto l = noise (n, 3), r = noise (n, 4);

        size_t next = 0, step = 0;
        for (int pos = 0; pos < n;)
        {
            while (next < offers.size() && offers[next].first == pos)
                conv.offer (offers[next++].second);

            int end = std::min (n, pos + pattern[step++ % pattern.size()]);
            if (next < offers.size())
                end = std::min (end, offers[next].first);
            run (conv, l, r, pos, end);
            pos = end;
        }
        EXPECT_EQ (conv.playing, flat.get());
        ASSERT_TRUE (matchesFirstPattern (reference, l, r));
    }
}

//==============================================================================
// The engine in a linear mode.

namespace
{
// Every set handed to the engine must come back through exactly one retire ring: none lost, none
// given back twice (the builder would free it twice). The sets themselves belong to the test.
class LinearEngine : public ::testing::Test
{
protected:
    Spectra* build (int mode, double fs, const tl::Curve& curve, bool mono = false)
    {
        handed.push_back (lin::buildSpectra (mode, fs, mono, curve));
        return handed.back().get();
    }

    void start (double fs, const tl::Settings& s)
    {
        engine.prepare (fs);
        engine.set (s);
    }

    void process (std::vector<double>& l, std::vector<double>* r, int begin, int end)
    {
        engine.process (l.data() + begin, r != nullptr ? r->data() + begin : nullptr, end - begin);
    }

    void TearDown() override
    {
        engine.retireAllSpectra();
        std::map<const Spectra*, int> seen;
        for (auto* ring : { &engine.convolvers[0].retired, &engine.convolvers[1].retired, &engine.retireQueue })
            for (auto* s : drain (*ring))
                ++seen[s];

        for (const auto& s : handed)
            EXPECT_EQ (seen[s.get()], 1) << "a set came back " << seen[s.get()] << " times";
        EXPECT_EQ (seen.size(), handed.size());
    }

    tl::Tirel engine;
    std::vector<std::unique_ptr<Spectra>> handed;
};

const tl::Curve kBoost = curveOf ({ makeBand (tl::Bell, 1000.0, 9.0, 2.0), makeBand (tl::LowShelf, 150.0, -6.0, 0.7) });

struct DelayCase
{
    const char* name;
    int mode;
    double fs;
    bool mono;
    bool bypass;
    bool withSet;
    int latency;
};

void PrintTo (const DelayCase& c, std::ostream* os) { *os << c.name; }

class LinearEngineDelay : public LinearEngine, public ::testing::WithParamInterface<DelayCase> {};
} // namespace

TEST_P (LinearEngineDelay, OutputIsTheInputDelayedByTheReportedLatency)
{
    const auto& c = GetParam();
    auto s = settingsFor (c.mode, kBoost);
    s.bypass = c.bypass;
    start (c.fs, s);
    EXPECT_EQ (engine.latency(), c.latency);

    if (c.withSet)
        engine.take (build (c.mode, c.fs, kBoost, c.mono));

    const int n = c.latency + 8192;
    const auto inL = noise (n, 11), inR = noise (n, 12);
    auto l = inL, r = inR;

    for (int i = 0; i < n; i += 512)
    {
        engine.set (s);
        process (l, c.mono ? nullptr : &r, i, std::min (n, i + 512));
    }

    if (c.withSet)
    {
        EXPECT_NE (engine.convolvers[(size_t) (c.mode - 1)].playing, nullptr);
    }
    EXPECT_TRUE (delayedBy (l, inL, c.latency));
    if (! c.mono)
    {
        EXPECT_TRUE (delayedBy (r, inR, c.latency));
    }
}

INSTANTIATE_TEST_SUITE_P (LinearModes, LinearEngineDelay, ::testing::Values (
    DelayCase { "PhaseWithoutASet", kPhase, 48000.0, false, false, false, 9216 },
    DelayCase { "PhaseBypassed", kPhase, 44100.0, false, true, true, 9216 },
    DelayCase { "HqBypassed", kHq, 48000.0, false, true, true, 36864 },
    DelayCase { "MonoPhaseBypassedAt96k", kPhase, 96000.0, true, true, true, 18432 },
    DelayCase { "MonoHqWithoutASetAt88k", kHq, 88200.0, true, false, false, 73728 }),
    [] (const auto& row) { return std::string (row.param.name); });

TEST_F (LinearEngine, PlaysTheTakenSetAfterTheLatency)
{
    start (48000.0, settingsFor (kPhase, kBoost));
    engine.take (build (kPhase, 48000.0, kBoost));
    EXPECT_EQ (engine.convolvers[0].pending, handed.back().get());

    const int n = 9216 + 16384;
    auto l = sine (n, 1000.0, 48000.0, 0.1, 0.4), r = sine (n, 150.0, 48000.0, 0.1, 0.4);
    process (l, &r, 0, n);

    const double wantL = std::pow (10.0, tl::analogMagDb (kBoost.bands[0], 1000.0) / 20.0 + tl::analogMagDb (kBoost.bands[1], 1000.0) / 20.0);
    const double wantR = std::pow (10.0, tl::analogMagDb (kBoost.bands[0], 150.0) / 20.0 + tl::analogMagDb (kBoost.bands[1], 150.0) / 20.0);
    EXPECT_NEAR (20.0 * std::log10 (rms (l, n - 9600, n) / (0.1 / std::sqrt (2.0))), 20.0 * std::log10 (wantL), 0.02);
    EXPECT_NEAR (20.0 * std::log10 (rms (r, n - 9600, n) / (0.1 / std::sqrt (2.0))), 20.0 * std::log10 (wantR), 0.02);
}

TEST_F (LinearEngine, OutputIsTheSameForAnyHostBlockSize)
{
    auto s = settingsFor (kPhase, curveOf ({ makeBand (tl::Bell, 800.0, 8.0, 1.0, tl::Mid), makeBand (tl::LowShelf, 200.0, 4.0, 0.7, tl::Left) }));
    s.match = true;
    const auto later = curveOf ({ makeBand (tl::HighShelf, 3000.0, -5.0, 0.7, tl::Side) });
    const int swapAt = 12 * 1024;       // a block start, in the flowing output
    const int n = 9216 + 12000;
    std::vector<double> reference[2];

    for (const auto& pattern : kPatterns)
    {
        SCOPED_TRACE (patternName (pattern));
        start (48000.0, s);             // preparing again gives back the previous run's sets
        engine.take (build (kPhase, 48000.0, tl::Curve { s.bands, s.scale }));

        auto l = noise (n, 5), r = noise (n, 6);
        size_t step = 0;
        for (int pos = 0; pos < n;)
        {
            if (pos == swapAt)
                engine.take (build (kPhase, 48000.0, later));

            int end = std::min (n, pos + pattern[step++ % pattern.size()]);
            if (pos < swapAt)
                end = std::min (end, swapAt);
            engine.set (s);
            process (l, &r, pos, end);
            pos = end;
        }
        EXPECT_EQ (engine.convolvers[0].playing, handed.back().get());
        ASSERT_TRUE (matchesFirstPattern (reference, l, r));
    }
}

//==============================================================================
// Which sets the engine plays.

namespace
{
enum class Fate { offered, parked, retired };

struct TakeCase
{
    const char* name;
    int active;         // the mode the engine started in
    int requested;      // the mode asked for since
    int setMode;
    double setRate;
    Fate fate;
};

void PrintTo (const TakeCase& c, std::ostream* os) { *os << c.name; }

class LinearTake : public LinearEngine, public ::testing::WithParamInterface<TakeCase> {};
} // namespace

TEST_P (LinearTake, OnlyASetThatFitsTheModeIsEverPlayed)
{
    const auto& c = GetParam();
    start (48000.0, settingsFor (c.active, kBoost));
    engine.set (settingsFor (c.requested, kBoost));
    auto* set = build (c.setMode, c.setRate, kBoost);
    engine.take (set);

    const bool offered = engine.convolvers[0].pending == set || engine.convolvers[1].pending == set;
    EXPECT_EQ (offered, c.fate == Fate::offered);
    EXPECT_EQ (engine.parkedSpectra == set, c.fate == Fate::parked);
    const auto queued = drain (engine.retireQueue);
    EXPECT_EQ (queued == std::vector<Spectra*> { set }, c.fate == Fate::retired);
    for (auto* s : queued)
        engine.retireQueue.push (s);

    // A refused set never reaches a convolver, whatever happens next.
    std::vector<double> l (4096), r (4096);
    process (l, &r, 0, 4096);
    if (c.fate == Fate::retired)
    {
        for (const auto& conv : engine.convolvers)
            for (auto* held : { conv.playing, conv.fadingOut, conv.pending })
                EXPECT_NE (held, set);
    }
}

INSTANTIATE_TEST_SUITE_P (LinearSets, LinearTake, ::testing::Values (
    TakeCase { "FitsThePlayingMode", kPhase, kPhase, kPhase, 48000.0, Fate::offered },
    TakeCase { "FitsThePlayingHq", kHq, kHq, kHq, 48000.0, Fate::offered },
    TakeCase { "BuiltForTheOldRate", kPhase, kPhase, kPhase, 44100.0, Fate::retired },
    TakeCase { "BuiltForTheOtherMode", kPhase, kPhase, kHq, 48000.0, Fate::retired },
    TakeCase { "HqSetInLinearPhase", kHq, kHq, kPhase, 48000.0, Fate::retired },
    TakeCase { "ZeroLatencyPlaying", 0, 0, kPhase, 48000.0, Fate::retired },
    TakeCase { "LeavingForZeroLatency", kPhase, 0, kPhase, 48000.0, Fate::retired },
    TakeCase { "ForTheComingMode", 0, kHq, kHq, 48000.0, Fate::parked },
    TakeCase { "ForTheComingModeFromTheOther", kPhase, kHq, kHq, 48000.0, Fate::parked },
    TakeCase { "ForTheLeavingMode", kPhase, kHq, kPhase, 48000.0, Fate::retired },
    TakeCase { "ForTheComingModeAtTheOldRate", 0, kPhase, kPhase, 96000.0, Fate::retired }),
    [] (const auto& row) { return std::string (row.param.name); });

TEST_F (LinearEngine, ParkedSetStartsWithItsMode)
{
    start (48000.0, settingsFor (0, kBoost));
    const auto s = settingsFor (kPhase, kBoost);
    engine.set (s);

    auto* stale = build (kPhase, 48000.0, kBoost);
    auto* fresh = build (kPhase, 48000.0, kBoost);
    engine.take (stale);
    engine.take (fresh);
    EXPECT_EQ (engine.parkedSpectra, fresh);
    EXPECT_EQ (drain (engine.retireQueue), std::vector<Spectra*> { stale });
    engine.retireQueue.push (stale);

    const int n = 1024 + 9216 + 16384;
    auto l = sine (n, 1000.0, 48000.0, 0.1, 0.4), r = sine (n, 1000.0, 48000.0, 0.1, 0.4);
    process (l, &r, 0, 512);
    ASSERT_EQ (engine.activeMode, 0);
    EXPECT_EQ (engine.convolvers[0].pending, nullptr);

    process (l, &r, 512, 513);
    ASSERT_EQ (engine.activeMode, kPhase);
    EXPECT_EQ (engine.parkedSpectra, nullptr);
    EXPECT_EQ (engine.convolvers[0].pending, fresh);

    process (l, &r, 513, n);
    EXPECT_EQ (engine.convolvers[0].playing, fresh);
    const double wantDb = tl::analogMagDb (kBoost.bands[0], 1000.0) + tl::analogMagDb (kBoost.bands[1], 1000.0);
    EXPECT_NEAR (20.0 * std::log10 (rms (l, n - 9600, n) / (0.1 / std::sqrt (2.0))), wantDb, 0.02);
}

TEST_F (LinearEngine, ParkedSetForAModeNoLongerComingIsNotPlayed)
{
    start (48000.0, settingsFor (0, kBoost));
    engine.set (settingsFor (kPhase, kBoost));
    auto* set = build (kPhase, 48000.0, kBoost);
    engine.take (set);
    ASSERT_EQ (engine.parkedSpectra, set);

    // The user moves on to Linear HQ before Linear Phase has started.
    engine.set (settingsFor (kHq, kBoost));
    std::vector<double> l (1024), r (1024);
    process (l, &r, 0, 1024);

    ASSERT_EQ (engine.activeMode, kHq);
    EXPECT_EQ (engine.parkedSpectra, nullptr);
    EXPECT_EQ (engine.convolvers[1].pending, nullptr);
    EXPECT_EQ (drain (engine.retireQueue), std::vector<Spectra*> { set });
    engine.retireQueue.push (set);
}

TEST_F (LinearEngine, PreparingForANewRateRetiresTheParkedSet)
{
    start (48000.0, settingsFor (0, kBoost));
    engine.set (settingsFor (kPhase, kBoost));
    auto* set = build (kPhase, 48000.0, kBoost);
    engine.take (set);
    ASSERT_EQ (engine.parkedSpectra, set);

    start (44100.0, settingsFor (kPhase, kBoost));
    EXPECT_EQ (engine.parkedSpectra, nullptr);
    EXPECT_EQ (engine.convolvers[0].pending, nullptr);
    EXPECT_EQ (drain (engine.retireQueue), std::vector<Spectra*> { set });
    engine.retireQueue.push (set);
}

//==============================================================================
// Switching modes.

namespace
{
struct SwitchCase
{
    const char* name;
    int from, to;
    int fromLatency, toLatency;
    bool bypass;        // the latency-aligned dry path must switch just like the filtered one
};

void PrintTo (const SwitchCase& c, std::ostream* os) { *os << c.name; }

class LinearModeSwitch : public LinearEngine, public ::testing::WithParamInterface<SwitchCase> {};
} // namespace

TEST_P (LinearModeSwitch, FadesOutSwitchesAtAChunkBoundaryAndFadesTheInputIn)
{
    const auto& c = GetParam();
    constexpr double kL = 0.5, kR = -0.25;       // steady levels, different per channel
    constexpr int kRamp = 480;

    auto before = settingsFor (c.from), after = settingsFor (c.to);
    before.bypass = after.bypass = c.bypass;
    start (48000.0, before);
    EXPECT_EQ (engine.latency(), c.fromLatency);

    const int settle = c.fromLatency + 1024;
    std::vector<double> l ((size_t) settle, kL), r ((size_t) settle, kR);
    process (l, &r, 0, settle);
    ASSERT_EQ (l.back(), kL);
    ASSERT_EQ (r.back(), kR);

    // The request: the old filters play on while the output fades.
    engine.set (after);
    const int n = 512 + c.toLatency + 2048;
    l.assign ((size_t) n, kL);
    r.assign ((size_t) n, kR);
    process (l, &r, 0, 512);
    EXPECT_EQ (engine.activeMode, c.from);
    EXPECT_EQ (engine.latency(), c.fromLatency);

    int silentFrom = -1;
    for (int i = 0; i < 512; ++i)
    {
        if (l[(size_t) i] == 0.0 && r[(size_t) i] == 0.0)
        {
            if (silentFrom < 0)
                silentFrom = i;
            continue;
        }
        ASSERT_LT (silentFrom, 0) << "sample " << i << " sounds after the fade had ended at " << silentFrom;
        const double fade = std::max (0.0, 1.0 - (i + 1.0) / kRamp);
        ASSERT_NEAR (l[(size_t) i], kL * fade, 1e-9) << "sample " << i;
        ASSERT_NEAR (r[(size_t) i], kR * fade, 1e-9) << "sample " << i;
    }
    EXPECT_GE (silentFrom, kRamp - 2);
    EXPECT_LE (silentFrom, kRamp);

    // The faded-out chunk has ended: the next one runs the new mode, its input faded in.
    process (l, &r, 512, 513);
    EXPECT_EQ (engine.activeMode, c.to);
    EXPECT_EQ (engine.latency(), c.toLatency);
    process (l, &r, 513, n);

    for (int i = 512; i < n; ++i)
    {
        const int k = i - 512 - c.toLatency;
        const double ramp = k < 0 ? 0.0 : std::min (1.0, (k + 1.0) / kRamp);
        ASSERT_NEAR (l[(size_t) i], kL * ramp, 1e-9) << "sample " << i << ", " << k << " into the fade-in";
        ASSERT_NEAR (r[(size_t) i], kR * ramp, 1e-9) << "sample " << i << ", " << k << " into the fade-in";
    }
    EXPECT_EQ (l.back(), kL);
    EXPECT_EQ (r.back(), kR);
}

INSTANTIATE_TEST_SUITE_P (LinearModes, LinearModeSwitch, ::testing::Values (
    SwitchCase { "ZeroLatencyToPhase", 0, kPhase, 0, 9216, false },
    SwitchCase { "PhaseToZeroLatency", kPhase, 0, 9216, 0, false },
    SwitchCase { "PhaseToHq", kPhase, kHq, 9216, 36864, false },
    SwitchCase { "HqToPhase", kHq, kPhase, 36864, 9216, false },
    SwitchCase { "ZeroLatencyToPhaseBypassed", 0, kPhase, 0, 9216, true },
    SwitchCase { "PhaseToHqBypassed", kPhase, kHq, 9216, 36864, true },
    SwitchCase { "HqToPhaseBypassed", kHq, kPhase, 36864, 9216, true }),
    [] (const auto& row) { return std::string (row.param.name); });

TEST_F (LinearEngine, SwitchWaitsUntilTheOutputHasFadedToSilence)
{
    // One-sample host blocks: every sample starts a chunk, so the switch comes as soon as allowed.
    start (48000.0, settingsFor (0));
    engine.set (settingsFor (kPhase));
    std::vector<double> l (600, 0.5), r (600, 0.5);

    int switchedAt = -1;
    for (int i = 0; i < 600 && switchedAt < 0; ++i)
    {
        process (l, &r, i, i + 1);
        if (engine.activeMode == kPhase)
            switchedAt = i;
    }
    EXPECT_GE (switchedAt, 479);
    EXPECT_LE (switchedAt, 481);
}

TEST_F (LinearEngine, RequestWithdrawnDuringTheFadeSwitchesNothing)
{
    start (48000.0, settingsFor (0));
    std::vector<double> l (2048, 0.5), r (2048, 0.5);

    engine.set (settingsFor (kPhase));
    process (l, &r, 0, 200);
    engine.set (settingsFor (0));
    process (l, &r, 200, 2048);

    EXPECT_EQ (engine.activeMode, 0);
    EXPECT_EQ (engine.latency(), 0);
    EXPECT_EQ (engine.inputRamp, 1.0);

    // Down for 200 samples, then back up at the same rate.
    for (int i = 0; i < 2048; ++i)
    {
        const double fade = i < 200 ? 1.0 - (i + 1.0) / 480.0 : std::min (1.0, 1.0 - 200.0 / 480.0 + (i - 199.0) / 480.0);
        ASSERT_NEAR (l[(size_t) i], 0.5 * fade, 1e-9) << "sample " << i;
    }
    EXPECT_EQ (l.back(), 0.5);
}

TEST_F (LinearEngine, ReturningToALinearModeStartsItAfresh)
{
    start (48000.0, settingsFor (kPhase, kBoost));
    auto* set = build (kPhase, 48000.0, kBoost);
    engine.take (set);

    const int n = 9216 + 4096;
    std::vector<double> l ((size_t) n, 0.5), r ((size_t) n, -0.25);
    process (l, &r, 0, n);
    ASSERT_EQ (engine.convolvers[0].playing, set);

    // Away to Zero Latency and back.
    engine.set (settingsFor (0, kBoost));
    process (l, &r, 0, 1024);
    ASSERT_EQ (engine.activeMode, 0);
    engine.set (settingsFor (kPhase, kBoost));
    process (l, &r, 0, 512);
    ASSERT_EQ (engine.activeMode, 0);

    l.assign ((size_t) n, 0.5);
    r.assign ((size_t) n, -0.25);
    process (l, &r, 0, 1);
    ASSERT_EQ (engine.activeMode, kPhase);
    EXPECT_EQ (engine.convolvers[0].playing, nullptr);
    EXPECT_EQ (engine.convolvers[0].pending, nullptr);
    EXPECT_EQ (drain (engine.convolvers[0].retired), std::vector<Spectra*> { set });
    engine.convolvers[0].retired.push (set);

    // Nothing of the first visit is left in its delay lines.
    process (l, &r, 1, n);
    for (int i = 0; i < 9216; ++i)
    {
        ASSERT_EQ (l[(size_t) i], 0.0) << "sample " << i;
        ASSERT_EQ (r[(size_t) i], 0.0) << "sample " << i;
    }
    EXPECT_NEAR (l[9216], 0.5 / 480.0, 1e-12);
}
