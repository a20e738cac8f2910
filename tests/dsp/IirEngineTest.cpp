#include "dsp/Design.h"
#include "dsp/IirEngine.h"
#include "dsp/Tirel.h"

#include "DspTestUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace
{
using tltest::filtersOnly;
using tltest::kFs;
using tltest::makeBand;
using tltest::pi;
using tltest::play;
using tltest::sameSamples;
using tltest::start;
using tltest::switchedOff;

struct Stream
{
    std::vector<double> left, right;

    int size() const { return (int) left.size(); }
    double* rightOrNull (bool mono) { return mono ? nullptr : right.data(); }
};

// Different tones and independent noise on the two sides, so that Mid, Side, Left and Right
// routings all produce different results.
Stream noiseAndTones (int n, unsigned seed = 7)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<double> noise (-0.2, 0.2);
    Stream s;
    s.left.resize ((size_t) n);
    s.right.resize ((size_t) n);

    for (int i = 0; i < n; ++i)
    {
        const double t = (double) i / kFs;
        s.left[(size_t) i] = 0.3 * std::sin (2.0 * pi * 220.0 * t) + noise (rng);
        s.right[(size_t) i] = 0.25 * std::sin (2.0 * pi * 3100.0 * t + 1.0) + noise (rng);
    }

    return s;
}

// ---------------------------------------------------------------------------------------------
// Reference: plain per-sample transposed direct form II, routing done by explicit conversion to
// and from Mid/Side around every filter that needs it.

struct RefFilter
{
    bool active = false;
    tl::Cascade cascade {};
    std::int32_t ch = tl::Stereo;
    double state[2][4][2] {};

    double filter (int channel, double x)
    {
        for (int k = 0; k < cascade.count; ++k)
        {
            const auto& s = cascade.sections[(size_t) k];
            auto& z = state[channel][k];
            const double y = s.b0 * x + z[0];
            z[0] = s.b1 * x - s.a1 * y + z[1];
            z[1] = s.b2 * x - s.a2 * y;
            x = y;
        }
        return x;
    }

    void sample (double& l, double* r)
    {
        if (! active)
            return;

        if (r == nullptr)
        {
            if (ch != tl::Side)
                l = filter (0, l);
            return;
        }

        switch (ch)
        {
            case tl::Mid:
            case tl::Side:
            {
                double m = (l + *r) * 0.5, s = (l - *r) * 0.5;
                if (ch == tl::Mid)
                    m = filter (0, m);
                else
                    s = filter (1, s);
                l = m + s;
                *r = m - s;
                break;
            }
            case tl::Left:  l = filter (0, l); break;
            case tl::Right: *r = filter (1, *r); break;
            default:
                l = filter (0, l);
                *r = filter (1, *r);
                break;
        }
    }
};

// The filter a band should become: gain bands scaled, off bands and 0 dB gain bands absent.
RefFilter filterFor (const tl::Band& band, double scale = 1.0, double fs = kFs)
{
    RefFilter f;
    tl::Band d = band;
    if (tl::hasGain (band.type))
        d.gain *= scale;
    f.cascade = tl::design (d, fs);
    f.ch = band.ch;
    f.active = band.on && (! tl::hasGain (band.type) || d.gain != 0.0);
    return f;
}

struct RefSlot
{
    RefFilter stage, previous;
    double fade = 0.0;
    double fadeStep = 1.0 / (0.01 * kFs);

    void crossFadeTo (const RefFilter& next)
    {
        previous = stage;
        stage = next;
        fade = 1.0;
    }

    void sample (double& l, double* r)
    {
        if (fade <= 0.0)
        {
            stage.sample (l, r);
            return;
        }

        double yL = l, yR = r != nullptr ? *r : 0.0;
        double zL = l, zR = yR;
        stage.sample (yL, r != nullptr ? &yR : nullptr);
        previous.sample (zL, r != nullptr ? &zR : nullptr);
        l = yL + fade * (zL - yL);
        if (r != nullptr)
            *r = yR + fade * (zR - yR);

        fade -= fadeStep;
        if (fade <= 0.0)
        {
            fade = 0.0;
            previous.active = false;
        }
    }
};

struct RefChain
{
    std::vector<RefSlot> slots = std::vector<RefSlot> (tl::kNumBands);

    static RefChain of (const tl::Settings& s, double fs = kFs)
    {
        RefChain c;
        for (int b = 0; b < tl::kNumBands; ++b)
        {
            c.slots[(size_t) b].stage = filterFor (s.bands[(size_t) b], s.scale, fs);
            c.slots[(size_t) b].fadeStep = 1.0 / (0.01 * fs);
        }
        return c;
    }

    void sample (double& l, double* r)
    {
        for (auto& slot : slots)
            slot.sample (l, r);
    }

    void run (double* left, double* right, int from, int to)
    {
        for (int i = from; i < to; ++i)
            sample (left[i], right != nullptr ? right + i : nullptr);
    }
};

// ---------------------------------------------------------------------------------------------

::testing::AssertionResult closeTo (const double* actual, const double* expected, int n, double tolerance)
{
    for (int i = 0; i < n; ++i)
        if (! (std::abs (actual[i] - expected[i]) <= tolerance))
            return ::testing::AssertionFailure() << "sample " << i << ": " << actual[i] << " against " << expected[i];
    return ::testing::AssertionSuccess();
}

constexpr double kTolerance = 1e-9;

bool sameCascade (const tl::Cascade& a, const tl::Cascade& b)
{
    if (a.count != b.count)
        return false;
    for (int i = 0; i < a.count; ++i)
    {
        const auto& x = a.sections[(size_t) i];
        const auto& y = b.sections[(size_t) i];
        if (x.b0 != y.b0 || x.b1 != y.b1 || x.b2 != y.b2 || x.a1 != y.a1 || x.a2 != y.a2)
            return false;
    }
    return true;
}

// =============================================================================================
// Routing: the designed cascades, applied in slot order, with Mid/Side where a band asks for it.

struct RoutingCase
{
    const char* name;
    std::vector<std::pair<int, tl::Band>> bands;
    double scale;
    bool mono;
};

void PrintTo (const RoutingCase& c, std::ostream* os) { *os << c.name; }

class IirRouting : public ::testing::TestWithParam<RoutingCase> {};

TEST_P (IirRouting, OutputEqualsTheDesignedCascadesInSlotOrder)
{
    const auto& c = GetParam();
    auto s = filtersOnly();
    s.scale = c.scale;
    for (const auto& [index, band] : c.bands)
        s.bands[(size_t) index] = band;

    auto expected = noiseAndTones (6000);
    auto actual = expected;
    const int n = expected.size();

    tl::Tirel engine;
    start (engine, s);
    play (engine, s, actual.left.data(), actual.rightOrNull (c.mono), n);

    auto ref = RefChain::of (s);
    ref.run (expected.left.data(), expected.rightOrNull (c.mono), 0, n);

    EXPECT_TRUE (closeTo (actual.left.data(), expected.left.data(), n, kTolerance));
    if (! c.mono)
    {
        EXPECT_TRUE (closeTo (actual.right.data(), expected.right.data(), n, kTolerance));
    }
}

const tl::Band kMidBell = makeBand (tl::Bell, 800.0, 7.0, 1.4, tl::Mid);
const tl::Band kLeftHighCut = makeBand (tl::HighCut, 2500.0, 0.0, 1.0, tl::Left, 18);
const tl::Band kSideTilt = makeBand (tl::Tilt, 1500.0, -6.0, 1.0, tl::Side);
const tl::Band kRightShelf = makeBand (tl::HighShelf, 4000.0, 5.0, 0.8, tl::Right);
const tl::Band kSideLowCut = makeBand (tl::LowCut, 300.0, 0.0, 1.0, tl::Side, 48);

const std::vector<std::pair<int, tl::Band>> kMixed {
    { 2, makeBand (tl::Bell, 2000.0, -8.0, 3.0, tl::Side) },
    { 5, makeBand (tl::LowCut, 70.0, 0.0, 1.0, tl::Stereo, 24) },
    { 7, switchedOff (makeBand (tl::Bell, 500.0, 12.0, 1.0)) },        // off: no effect
    { 8, switchedOff (makeBand (tl::LowCut, 5000.0, 0.0, 1.0)) },      // off: no effect
    { 9, makeBand (tl::Notch, 1200.0, 9.0, 6.0, tl::Mid) },            // gain ignored
    { 11, kRightShelf },
    { 20, makeBand (tl::LowShelf, 150.0, 4.0, 0.7, tl::Mid) },
    { 23, makeBand (tl::HighCut, 9000.0, 0.0, 1.0, tl::Stereo, 6) },
};

INSTANTIATE_TEST_SUITE_P (IirCases, IirRouting, ::testing::Values (
    RoutingCase { "StereoBell", { { 0, makeBand (tl::Bell, 1000.0, 6.0, 1.0) } }, 1.0, false },
    RoutingCase { "MidHighShelf", { { 3, makeBand (tl::HighShelf, 4000.0, 4.0, 0.7, tl::Mid) } }, 1.0, false },
    RoutingCase { "SideLowShelf", { { 0, makeBand (tl::LowShelf, 200.0, -5.0, 1.0, tl::Side) } }, 1.0, false },
    RoutingCase { "LeftLowCut48", { { 6, makeBand (tl::LowCut, 120.0, 0.0, 1.0, tl::Left, 48) } }, 1.0, false },
    RoutingCase { "RightHighCut18", { { 1, makeBand (tl::HighCut, 3000.0, 0.0, 1.0, tl::Right, 18) } }, 1.0, false },
    RoutingCase { "StereoNotch", { { 4, makeBand (tl::Notch, 2000.0, 10.0, 8.0) } }, 1.0, false },
    RoutingCase { "MidThenLeftThenSide", { { 0, kMidBell }, { 1, kLeftHighCut }, { 2, kSideTilt } }, 1.0, false },
    RoutingCase { "SideThenMidThenRight", { { 0, kSideLowCut }, { 1, kMidBell }, { 2, kRightShelf } }, 1.0, false },
    RoutingCase { "MixedWithOffBands", kMixed, 1.0, false },
    RoutingCase { "ScaleMinusOne", kMixed, -1.0, false },
    RoutingCase { "ScaleHalf", kMixed, 0.5, false },
    RoutingCase { "ScaleZeroLeavesCutsAndNotch", kMixed, 0.0, false },
    RoutingCase { "MonoStereoBell", { { 0, makeBand (tl::Bell, 1000.0, 6.0, 1.0) } }, 1.0, true },
    RoutingCase { "MonoMidLeftRightAsStereo", { { 0, kMidBell }, { 1, kLeftHighCut }, { 2, kRightShelf } }, 1.0, true },
    RoutingCase { "MonoSideOnly", { { 0, kSideTilt }, { 1, kSideLowCut } }, 1.0, true },
    RoutingCase { "MonoMixed", kMixed, 1.0, true }),
    [] (const ::testing::TestParamInfo<RoutingCase>& p) { return std::string (p.param.name); });

TEST (IirMono, SideBandsLeaveAMonoStreamUntouchedEvenWhileTheyChange)
{
    auto s = filtersOnly();
    s.bands[1] = makeBand (tl::Bell, 1000.0, 6.0, 1.0, tl::Side);
    s.bands[2] = switchedOff (makeBand (tl::LowCut, 400.0, 0.0, 1.0, tl::Side));

    const auto input = noiseAndTones (4000);
    auto out = input;

    tl::Tirel engine;
    start (engine, s);
    play (engine, s, out.left.data(), nullptr, 1000, 100);

    // A cross-fade and a glide of Side bands: still nothing may reach the mono signal.
    s.bands[2].on = true;
    s.bands[1].freq = 3000.0;
    s.bands[1].gain = -9.0;
    play (engine, s, out.left.data() + 1000, nullptr, 3000, 100);

    EXPECT_GT (engine.iir.activeCount, 0);
    EXPECT_TRUE (sameSamples (out.left.data(), input.left.data(), input.size()));
}

// =============================================================================================
// Glides.

class IirGlide : public ::testing::TestWithParam<double> {};

TEST_P (IirGlide, FrequencyAndQGlideAsLogarithmsAndGainInDecibels)
{
    const double fs = GetParam();
    auto s = filtersOnly();
    s.bands[4] = makeBand (tl::Bell, 1000.0, 6.0, 1.0);

    auto x = noiseAndTones (64000);
    tl::Tirel engine;
    start (engine, s, fs);
    engine.set (s);
    engine.process (x.left.data(), x.right.data(), 64);     // a whole number of control periods

    s.bands[4] = makeBand (tl::Bell, 4000.0, -3.0, 4.0);
    engine.set (s);

    const auto& slot = engine.iir.slots[4];
    const double c = std::exp (-16.0 / (0.02 * fs));           // 20 ms one-pole, one step per 16 samples
    const double f0 = std::log (1000.0), f1 = std::log (4000.0);
    const double q0 = std::log (1.0), q1 = std::log (4.0);
    const double g0 = 6.0, g1 = -3.0;

    const int twentyMs = (int) std::lround (0.02 * fs);
    int done = 0;
    for (int at : { 1, 16, 17, 160, 960, 961, 1920, 2000 })
    {
        engine.process (x.left.data() + 64 + done, x.right.data() + 64 + done, at - done);
        done = at;

        // The first step is taken on the first sample after the change.
        const int steps = (at + 15) / 16;
        const double k = std::pow (c, steps);
        SCOPED_TRACE (::testing::Message() << "after " << at << " samples");

        const double logFreq = f1 + k * (f0 - f1);
        const double logQ = q1 + k * (q0 - q1);
        const double gain = g1 + k * (g0 - g1);
        EXPECT_NEAR (slot.logFreq, logFreq, 1e-12);
        EXPECT_NEAR (slot.logQ, logQ, 1e-12);
        EXPECT_NEAR (slot.gainDb, gain, 1e-11);

        // After 20 ms of steps a one-pole has covered all but 1/e of the way.
        if (steps * 16 == twentyMs)
        {
            EXPECT_NEAR ((slot.gainDb - g1) / (g0 - g1), std::exp (-1.0), 1e-9);
        }

        // The running filter is the design of the glided values.
        const auto expected = tl::design (makeBand (tl::Bell, std::exp (logFreq), gain, std::exp (logQ)), fs);
        ASSERT_EQ (slot.stage.cascade.count, expected.count);
        const auto& a = slot.stage.cascade.sections[0];
        const auto& e = expected.sections[0];
        EXPECT_NEAR (a.b0, e.b0, 1e-9);
        EXPECT_NEAR (a.b1, e.b1, 1e-9);
        EXPECT_NEAR (a.b2, e.b2, 1e-9);
        EXPECT_NEAR (a.a1, e.a1, 1e-9);
        EXPECT_NEAR (a.a2, e.a2, 1e-9);
    }

    // At rest the glided values land on the targets exactly, so the filter stops being redesigned.
    engine.process (x.left.data() + 64 + done, x.right.data() + 64 + done, 60000);
    EXPECT_EQ (slot.logFreq, f1);
    EXPECT_EQ (slot.logQ, q1);
    EXPECT_EQ (slot.gainDb, g1);
    EXPECT_EQ (slot.designedLogFreq, f1);
    EXPECT_EQ (slot.designedLogQ, q1);
    EXPECT_EQ (slot.designedGain, g1);
}

INSTANTIATE_TEST_SUITE_P (IirRates, IirGlide, ::testing::Values (44100.0, 48000.0, 96000.0));

// One-pole step of the control rate that lands exactly on the target once close enough.
struct RefGlide
{
    double value, target, snap;

    void step (double c)
    {
        value = target + c * (value - target);
        if (std::abs (value - target) <= snap)
            value = target;
    }
};

TEST (IirGlideStream, CoefficientsFollowTheGlideEvery16SamplesUnderARunningFilter)
{
    // Host blocks of 100 samples: the targets move at sample 300 and again, mid-glide, at 1200,
    // neither on a control boundary.
    auto s = filtersOnly();
    s.bands[0] = makeBand (tl::LowCut, 60.0, 0.0, 1.0, tl::Stereo, 24);
    s.bands[2] = makeBand (tl::Bell, 700.0, 6.0, 1.0, tl::Mid);
    auto s1 = s;
    s1.bands[2] = makeBand (tl::Bell, 3000.0, -4.0, 2.5, tl::Mid);
    auto s2 = s;
    s2.bands[2] = makeBand (tl::Bell, 400.0, 9.0, 0.5, tl::Mid);

    auto expected = noiseAndTones (4000);
    auto actual = expected;
    const int n = expected.size();

    tl::Tirel engine;
    start (engine, s);
    for (int done = 0; done < n; done += 100)
    {
        engine.set (done < 300 ? s : done < 1200 ? s1 : s2);
        engine.process (actual.left.data() + done, actual.right.data() + done, 100);
    }

    auto ref = RefChain::of (s);
    const double c = std::exp (-16.0 / (0.02 * kFs));
    RefGlide logFreq { std::log (700.0), std::log (700.0), 1e-6 };
    RefGlide logQ { 0.0, 0.0, 1e-6 };
    RefGlide gain { 6.0, 6.0, 0.001 };

    for (int i = 0; i < n; ++i)
    {
        const auto* target = i < 300 ? &s : i < 1200 ? &s1 : &s2;
        logFreq.target = std::log (target->bands[2].freq);
        logQ.target = std::log (target->bands[2].q);
        gain.target = target->bands[2].gain;

        if (i % 16 == 0)
        {
            logFreq.step (c);
            logQ.step (c);
            gain.step (c);
            // New coefficients only; the state of the running filter is kept.
            ref.slots[2].stage.cascade = tl::design (
                makeBand (tl::Bell, std::exp (logFreq.value), gain.value, std::exp (logQ.value), tl::Mid), kFs);
        }

        ref.sample (expected.left[(size_t) i], &expected.right[(size_t) i]);
    }

    EXPECT_TRUE (closeTo (actual.left.data(), expected.left.data(), n, kTolerance));
    EXPECT_TRUE (closeTo (actual.right.data(), expected.right.data(), n, kTolerance));
}

// =============================================================================================
// Structural changes cross-fade.

struct FadeCase
{
    const char* name;
    tl::Band before, after;
    std::int32_t lead;      // routing of a static band in an earlier slot
    bool mono;
};

void PrintTo (const FadeCase& c, std::ostream* os) { *os << c.name; }

class IirCrossFade : public ::testing::TestWithParam<FadeCase> {};

TEST_P (IirCrossFade, BlendsLinearlyFromTheRunningFilterToTheNewOne)
{
    const auto& c = GetParam();
    constexpr int kSlot = 2, kChange = 1000, kTotal = 2500, kBlock = 125;

    // Static bands before and after the changing one: with Mid or Side among them the buffers
    // change domain around the fading slot.
    auto s0 = filtersOnly();
    s0.bands[0] = makeBand (tl::Bell, 300.0, 3.0, 0.7, c.lead);
    s0.bands[kSlot] = c.before;
    s0.bands[5] = makeBand (tl::HighShelf, 6000.0, -4.0, 1.0, tl::Side);
    auto s1 = s0;
    s1.bands[kSlot] = c.after;

    auto expected = noiseAndTones (kTotal);
    auto actual = expected;

    tl::Tirel engine;
    start (engine, s0);
    play (engine, s0, actual.left.data(), actual.rightOrNull (c.mono), kChange, kBlock);
    play (engine, s1, actual.left.data() + kChange, c.mono ? nullptr : actual.right.data() + kChange,
          kTotal - kChange, kBlock);

    auto ref = RefChain::of (s0);
    ref.run (expected.left.data(), expected.rightOrNull (c.mono), 0, kChange);
    ref.slots[kSlot].crossFadeTo (filterFor (c.after));
    ref.run (expected.left.data(), expected.rightOrNull (c.mono), kChange, kTotal);

    EXPECT_TRUE (closeTo (actual.left.data(), expected.left.data(), kTotal, kTolerance));
    if (! c.mono)
    {
        EXPECT_TRUE (closeTo (actual.right.data(), expected.right.data(), kTotal, kTolerance));
    }
}

INSTANTIATE_TEST_SUITE_P (IirCases, IirCrossFade, ::testing::Values (
    FadeCase { "Slope24To48", makeBand (tl::LowCut, 200.0, 0.0, 1.0, tl::Stereo, 24),
               makeBand (tl::LowCut, 200.0, 0.0, 1.0, tl::Stereo, 48), tl::Left, false },
    FadeCase { "BellToHighShelf", makeBand (tl::Bell, 1000.0, 6.0, 1.0), makeBand (tl::HighShelf, 1000.0, 6.0, 1.0),
               tl::Left, false },
    FadeCase { "BellStereoToMid", makeBand (tl::Bell, 1000.0, 6.0, 1.0), makeBand (tl::Bell, 1000.0, 6.0, 1.0, tl::Mid),
               tl::Left, false },
    FadeCase { "HighCutLeftToSide", makeBand (tl::HighCut, 2000.0, 0.0, 1.0, tl::Left, 12),
               makeBand (tl::HighCut, 2000.0, 0.0, 1.0, tl::Side, 12), tl::Mid, false },
    FadeCase { "LowCutSwitchedOn", switchedOff (makeBand (tl::LowCut, 500.0, 0.0, 1.0)), makeBand (tl::LowCut, 500.0, 0.0, 1.0),
               tl::Right, false },
    FadeCase { "HighCutSwitchedOff", makeBand (tl::HighCut, 1500.0, 0.0, 1.0, tl::Right, 36),
               switchedOff (makeBand (tl::HighCut, 1500.0, 0.0, 1.0, tl::Right, 36)), tl::Mid, false },
    FadeCase { "NotchSwitchedOn", switchedOff (makeBand (tl::Notch, 3000.0, 0.0, 5.0, tl::Mid)),
               makeBand (tl::Notch, 3000.0, 0.0, 5.0, tl::Mid), tl::Side, false },
    FadeCase { "MonoMidLowCutSwitchedOn", switchedOff (makeBand (tl::LowCut, 500.0, 0.0, 1.0, tl::Mid)),
               makeBand (tl::LowCut, 500.0, 0.0, 1.0, tl::Mid), tl::Mid, true },
    FadeCase { "MonoSlope12To36", makeBand (tl::HighCut, 800.0, 0.0, 1.0, tl::Left, 12),
               makeBand (tl::HighCut, 800.0, 0.0, 1.0, tl::Left, 36), tl::Side, true }),
    [] (const ::testing::TestParamInfo<FadeCase>& p) { return std::string (p.param.name); });

// A Stereo band is the same filter on both channels, so it must sound exactly like that band
// routed Left in one slot and Right in the next, whatever the bands before it do. Its filter
// memory belongs to the left and right signals; if it were kept in whichever domain the buffers
// happen to be in, any change of that domain (an earlier Mid or Side band arriving or leaving,
// a fade, which runs in left/right) would play that memory into the wrong signals: a click.

struct StereoBandCase
{
    const char* name;
    std::vector<std::pair<int, tl::Band>> before, after;
};

void PrintTo (const StereoBandCase& c, std::ostream* os) { *os << c.name; }

class IirStereoBand : public ::testing::TestWithParam<StereoBandCase> {};

TEST_P (IirStereoBand, SoundsLikeTheSameBandOnLeftAndOnRight)
{
    constexpr int kStereoSlot = 1, kChange = 1000, kTotal = 12000, kBlock = 100;
    const auto& c = GetParam();

    auto settingsOf = [&] (const std::vector<std::pair<int, tl::Band>>& bands, bool split)
    {
        auto s = filtersOnly();
        for (const auto& [index, band] : bands)
            s.bands[(size_t) index] = band;
        if (split)
        {
            s.bands[kStereoSlot].ch = tl::Left;
            s.bands[kStereoSlot + 1] = s.bands[kStereoSlot];
            s.bands[kStereoSlot + 1].ch = tl::Right;
        }
        return s;
    };

    const auto input = noiseAndTones (kTotal);
    auto render = [&] (bool split)
    {
        auto x = input;
        const auto s0 = settingsOf (c.before, split);
        const auto s1 = settingsOf (c.after, split);
        tl::Tirel engine;
        start (engine, s0);
        play (engine, s0, x.left.data(), x.right.data(), kChange, kBlock);
        play (engine, s1, x.left.data() + kChange, x.right.data() + kChange, kTotal - kChange, kBlock);
        return x;
    };

    const auto stereo = render (false);
    const auto split = render (true);
    EXPECT_TRUE (closeTo (stereo.left.data(), split.left.data(), kTotal, kTolerance));
    EXPECT_TRUE (closeTo (stereo.right.data(), split.right.data(), kTotal, kTolerance));
}

const tl::Band kLowCut24 = makeBand (tl::LowCut, 200.0, 0.0, 1.0, tl::Stereo, 24);
const tl::Band kLowCut48 = makeBand (tl::LowCut, 200.0, 0.0, 1.0, tl::Stereo, 48);
const tl::Band kStereoBell = makeBand (tl::Bell, 2000.0, 8.0, 2.0);
const tl::Band kMidBellBefore = makeBand (tl::Bell, 500.0, 6.0, 1.0, tl::Mid);

INSTANTIATE_TEST_SUITE_P (IirCases, IirStereoBand, ::testing::Values (
    StereoBandCase { "GlidesAfterAMidBand", { { 0, kMidBellBefore }, { 1, kStereoBell } },
                     { { 0, kMidBellBefore }, { 1, makeBand (tl::Bell, 3000.0, -5.0, 1.0) } } },
    StereoBandCase { "ChangesSlopeAfterAMidBand", { { 0, kMidBellBefore }, { 1, kLowCut24 } },
                     { { 0, kMidBellBefore }, { 1, kLowCut48 } } },
    StereoBandCase { "SwitchedOnAfterAMidBand", { { 0, kMidBellBefore }, { 1, switchedOff (kLowCut24) } },
                     { { 0, kMidBellBefore }, { 1, kLowCut24 } } },
    StereoBandCase { "MidBandBeforeItSwitchedOff", { { 0, kMidBellBefore }, { 1, kStereoBell } },
                     { { 0, switchedOff (kMidBellBefore) }, { 1, kStereoBell } } },
    StereoBandCase { "SideBandBeforeItSwitchedOn", { { 0, switchedOff (makeBand (tl::Bell, 500.0, 6.0, 1.0, tl::Side)) }, { 1, kStereoBell } },
                     { { 0, makeBand (tl::Bell, 500.0, 6.0, 1.0, tl::Side) }, { 1, kStereoBell } } },
    StereoBandCase { "MidBandBeforeItMovedToLeft", { { 0, kMidBellBefore }, { 1, kStereoBell } },
                     { { 0, makeBand (tl::Bell, 500.0, 6.0, 1.0, tl::Left) }, { 1, kStereoBell } } }),
    [] (const ::testing::TestParamInfo<StereoBandCase>& p) { return std::string (p.param.name); });

class IirCrossFadeLength : public ::testing::TestWithParam<double> {};

TEST_P (IirCrossFadeLength, LastsTenMilliseconds)
{
    const double fs = GetParam();
    const int length = (int) std::lround (0.01 * fs);
    auto s = filtersOnly();
    s.bands[3] = makeBand (tl::LowCut, 100.0, 0.0, 1.0, tl::Stereo, 24);

    auto x = noiseAndTones (4000);
    tl::Tirel engine;
    start (engine, s, fs);
    engine.set (s);
    engine.process (x.left.data(), x.right.data(), 1001);

    s.bands[3].slope = 48;
    engine.set (s);
    const auto& slot = engine.iir.slots[3];
    EXPECT_EQ (slot.fade, 1.0);

    // The weight falls by the same step every sample: halfway through it is one half.
    engine.process (x.left.data() + 1001, x.right.data() + 1001, length / 2);
    EXPECT_NEAR (slot.fade, 1.0 - (length / 2) / (0.01 * fs), 1e-9);

    // The step accumulates in floating point: the last sample may fall either side of the mark.
    engine.process (x.left.data() + 1001 + length / 2, x.right.data() + 1001 + length / 2, length - 1 - length / 2);
    EXPECT_GT (slot.fade, 0.0);
    EXPECT_TRUE (slot.previous.active);

    engine.process (x.left.data() + 1000 + length, x.right.data() + 1000 + length, 2);
    EXPECT_EQ (slot.fade, 0.0);
    EXPECT_FALSE (slot.previous.active);
}

INSTANTIATE_TEST_SUITE_P (IirRates, IirCrossFadeLength, ::testing::Values (44100.0, 48000.0, 96000.0));

TEST (IirCrossFadeQueue, ASecondStructuralChangeWaitsForTheRunningFade)
{
    constexpr int kSlot = 2, kTotal = 3000, kBlock = 100;
    auto s0 = filtersOnly();
    s0.bands[kSlot] = makeBand (tl::LowCut, 200.0, 0.0, 1.0, tl::Stereo, 24);
    auto s1 = s0;
    s1.bands[kSlot].slope = 48;
    auto s2 = s0;
    s2.bands[kSlot] = makeBand (tl::HighCut, 5000.0, 0.0, 1.0, tl::Stereo, 24);

    auto expected = noiseAndTones (kTotal);
    auto actual = expected;

    // The first change at 1000 fades until 1480; the second is asked for from 1200 on, every block.
    tl::Tirel engine;
    start (engine, s0);
    const auto& slot = engine.iir.slots[kSlot];
    int secondFadeStart = -1;

    for (int done = 0; done < kTotal; done += kBlock)
    {
        const bool fadeWasRunning = slot.fade > 0.0;
        engine.set (done < 1000 ? s0 : done < 1200 ? s1 : s2);

        if (done >= 1200 && secondFadeStart < 0)
        {
            if (fadeWasRunning)
            {
                SCOPED_TRACE (::testing::Message() << "block at " << done);
                EXPECT_EQ (slot.type, tl::LowCut);
                EXPECT_EQ (slot.slope, 48);
                EXPECT_EQ (slot.targetLogFreq, std::log (200.0));
            }
            else if (slot.type == tl::HighCut)
            {
                secondFadeStart = done;
                EXPECT_EQ (slot.fade, 1.0);
            }
        }

        engine.process (actual.left.data() + done, actual.right.data() + done, kBlock);
    }

    // Taken up by the first block after the first fade ended.
    EXPECT_EQ (secondFadeStart, 1500);

    auto ref = RefChain::of (s0);
    ref.run (expected.left.data(), expected.right.data(), 0, 1000);
    ref.slots[kSlot].crossFadeTo (filterFor (s1.bands[kSlot]));
    ref.run (expected.left.data(), expected.right.data(), 1000, 1500);
    ref.slots[kSlot].crossFadeTo (filterFor (s2.bands[kSlot]));
    ref.run (expected.left.data(), expected.right.data(), 1500, kTotal);

    EXPECT_TRUE (closeTo (actual.left.data(), expected.left.data(), kTotal, kTolerance));
    EXPECT_TRUE (closeTo (actual.right.data(), expected.right.data(), kTotal, kTolerance));
}

// =============================================================================================
// Switching gain bands off and on, and the curve scale.

class IirOnOff : public ::testing::Test
{
protected:
    static constexpr int kSlot = 1;

    void SetUp() override
    {
        settings.bands[kSlot] = makeBand (tl::Bell, 1000.0, 6.0, 1.0);
        start (engine, settings);
        engine.set (settings);
        advance (64);
    }

    void advance (int n)
    {
        auto x = noiseAndTones (n, (unsigned) position + 1);
        input = x;
        engine.process (x.left.data(), x.right.data(), n);
        output = x;
        position += n;
    }

    const tl::IirSlot& slot() const { return engine.iir.slots[kSlot]; }

    tl::Settings settings = filtersOnly();
    tl::Tirel engine;
    Stream input, output;
    int position = 0;
    const double c = std::exp (-16.0 / (0.02 * kFs));
};

TEST_F (IirOnOff, BellSwitchedOffGlidesToZeroThenLeavesTheActiveList)
{
    settings.bands[kSlot].on = false;
    engine.set (settings);
    EXPECT_EQ (slot().targetGain, 0.0);

    int steps = 0;
    while (slot().gainDb != 0.0 && steps < 2000)
    {
        advance (16);
        ++steps;

        if (slot().gainDb != 0.0)
        {
            ASSERT_NEAR (slot().gainDb, 6.0 * std::pow (c, steps), 1e-9) << "step " << steps;
            ASSERT_TRUE (slot().stage.active);
            ASSERT_EQ (engine.iir.activeCount, 1);
        }
    }

    // It snaps to 0 dB on the first step that comes within 0.001 dB.
    EXPECT_GT (6.0 * std::pow (c, steps - 1), 0.001);
    EXPECT_LE (6.0 * std::pow (c, steps), 0.001);
    EXPECT_FALSE (slot().stage.active);
    EXPECT_EQ (engine.iir.activeCount, 0);

    advance (300);
    EXPECT_TRUE (sameSamples (output.left.data(), input.left.data(), 300));
    EXPECT_TRUE (sameSamples (output.right.data(), input.right.data(), 300));
}

TEST_F (IirOnOff, BellSwitchedBackOnGlidesUpFromZero)
{
    settings.bands[kSlot].on = false;
    engine.set (settings);
    advance (16000);
    ASSERT_EQ (engine.iir.activeCount, 0);

    settings.bands[kSlot].on = true;
    engine.set (settings);
    EXPECT_EQ (slot().fade, 0.0);

    advance (16);
    const double gain = 6.0 * (1.0 - c);
    EXPECT_NEAR (slot().gainDb, gain, 1e-12);
    ASSERT_TRUE (slot().stage.active);
    const auto expected = tl::design (makeBand (tl::Bell, 1000.0, gain, 1.0), kFs);
    EXPECT_NEAR (slot().stage.cascade.sections[0].b0, expected.sections[0].b0, 1e-12);
    EXPECT_NEAR (slot().stage.cascade.sections[0].a1, expected.sections[0].a1, 1e-12);

    advance (32);
    EXPECT_NEAR (slot().gainDb, 6.0 * (1.0 - std::pow (c, 3)), 1e-12);
}

TEST_F (IirOnOff, SilentGainBandChangesTypeWithoutAFadeAndGlidesIn)
{
    settings.bands[kSlot].on = false;
    engine.set (settings);
    advance (16000);
    ASSERT_FALSE (slot().stage.active);

    settings.bands[kSlot] = makeBand (tl::LowShelf, 250.0, 6.0, 1.0);
    engine.set (settings);
    EXPECT_EQ (slot().type, tl::LowShelf);
    EXPECT_EQ (slot().fade, 0.0);
    EXPECT_EQ (slot().gainDb, 0.0);
    EXPECT_FALSE (slot().stage.active);

    advance (16);
    EXPECT_NEAR (slot().gainDb, 6.0 * (1.0 - c), 1e-12);
    EXPECT_TRUE (slot().stage.active);
    EXPECT_EQ (slot().logFreq, std::log (250.0));
}

class IirScale : public ::testing::TestWithParam<double> {};

TEST_P (IirScale, MovesOnlyTheGainTargetsAndSettlesOnTheScaledCurve)
{
    const double scale = GetParam();

    // Notch and cut first: their input never depends on the gain bands that follow. The gains
    // the user left on them must play no part.
    auto s = filtersOnly();
    s.bands[0] = makeBand (tl::Notch, 2500.0, 5.0, 3.0);
    s.bands[1] = makeBand (tl::LowCut, 80.0, -7.0, 1.0, tl::Stereo, 24);
    s.bands[2] = makeBand (tl::Bell, 1000.0, 6.0, 1.0);
    s.bands[3] = makeBand (tl::LowShelf, 200.0, -4.0, 0.7);
    s.bands[4] = makeBand (tl::Tilt, 3000.0, 3.0, 1.0);
    s.bands[5] = makeBand (tl::HighShelf, 8000.0, 2.0, 1.0, tl::Side);

    constexpr int kChange = 1024, kTotal = 24000, kTail = 2048;
    auto expected = noiseAndTones (kTotal);
    auto actual = expected;

    tl::Tirel engine;
    start (engine, s);
    play (engine, s, actual.left.data(), actual.right.data(), kChange);
    const auto notch = engine.iir.slots[0].stage.cascade;
    const auto cut = engine.iir.slots[1].stage.cascade;

    s.scale = scale;
    engine.set (s);

    for (int b : { 2, 3, 4, 5 })
        EXPECT_EQ (engine.iir.slots[(size_t) b].targetGain, s.bands[(size_t) b].gain * scale) << "band " << b;

    for (int b : { 0, 1 })
    {
        const auto& slot = engine.iir.slots[(size_t) b];
        EXPECT_EQ (slot.targetGain, 0.0) << "band " << b;
        EXPECT_EQ (slot.fade, 0.0) << "band " << b;
    }

    play (engine, s, actual.left.data() + kChange, actual.right.data() + kChange, kTotal - kChange);

    for (int b = 0; b < 6; ++b)
        EXPECT_EQ (engine.iir.slots[(size_t) b].gainDb, engine.iir.slots[(size_t) b].targetGain) << "band " << b;

    EXPECT_TRUE (sameCascade (engine.iir.slots[0].stage.cascade, notch));
    EXPECT_TRUE (sameCascade (engine.iir.slots[1].stage.cascade, cut));

    if (scale == 0.0)
    {
        ASSERT_EQ (engine.iir.activeCount, 2);
        EXPECT_EQ (engine.iir.activeList[0], 0);
        EXPECT_EQ (engine.iir.activeList[1], 1);
    }

    // Long after the glide the output is the scaled curve (the old filters' memory has died away).
    auto ref = RefChain::of (s);
    ref.run (expected.left.data(), expected.right.data(), 0, kTotal);
    EXPECT_TRUE (closeTo (actual.left.data() + kTotal - kTail, expected.left.data() + kTotal - kTail, kTail, kTolerance));
    EXPECT_TRUE (closeTo (actual.right.data() + kTotal - kTail, expected.right.data() + kTotal - kTail, kTail, kTolerance));
}

INSTANTIATE_TEST_SUITE_P (IirScales, IirScale, ::testing::Values (-1.0, 0.0, 0.5));

// =============================================================================================
// Block boundaries and restarts.

TEST (IirBlocks, OutputDoesNotDependOnBlockBoundariesAfterPrepare)
{
    auto s0 = filtersOnly();
    s0.bands[1] = makeBand (tl::LowCut, 60.0, 0.0, 1.0, tl::Stereo, 24);
    s0.bands[3] = makeBand (tl::HighCut, 9000.0, 0.0, 1.0, tl::Left, 12);
    s0.bands[6] = makeBand (tl::Bell, 800.0, 5.0, 1.0, tl::Mid);
    s0.bands[7] = makeBand (tl::HighShelf, 5000.0, -3.0, 1.0, tl::Side);

    // At 1000 a slope fade, a channel fade, a notch fading in, a glide and a switch-off.
    auto s1 = s0;
    s1.bands[1].slope = 48;
    s1.bands[3].ch = tl::Right;
    s1.bands[5] = makeBand (tl::Notch, 2000.0, 0.0, 4.0);
    s1.bands[6].freq = 1600.0;
    s1.bands[6].gain = -2.0;
    s1.bands[7].on = false;

    const auto input = noiseAndTones (4000);

    auto render = [&] (const std::vector<int>& before, const std::vector<int>& after)
    {
        auto x = input;
        tl::Tirel engine;
        start (engine, s0);
        int done = 0;
        for (const auto* blocks : { &before, &after })
            for (int size : *blocks)
            {
                engine.set (blocks == &before ? s0 : s1);
                engine.process (x.left.data() + done, x.right.data() + done, size);
                done += size;
            }
        EXPECT_EQ (done, input.size());
        return x;
    };

    const auto whole = render ({ 1000 }, { 3000 });

    const std::vector<std::pair<std::vector<int>, std::vector<int>>> splits {
        { { 1, 15, 16, 17, 255, 256, 257, 183 }, { 7, 480, 1, 1000, 1512 } },
        { { 64, 64, 64, 808 }, { 3000 } },
        { { 1000 }, { 13, 13, 13, 2961 } },
    };

    for (const auto& [before, after] : splits)
    {
        const auto split = render (before, after);
        SCOPED_TRACE (::testing::Message() << "first block " << before.front() << ", first after change " << after.front());
        EXPECT_TRUE (sameSamples (split.left.data(), whole.left.data(), input.size()));
        EXPECT_TRUE (sameSamples (split.right.data(), whole.right.data(), input.size()));
    }
}

TEST (IirBlocks, SettingsChangedBeforeTheFirstBlockApplyWithoutGlideOrFade)
{
    // Between preparation and the first block the user may already have moved things: the first
    // block must start from its own settings, not glide or fade there from the prepared ones.
    auto s0 = filtersOnly();
    s0.bands[0] = makeBand (tl::Bell, 500.0, 6.0, 1.0, tl::Mid);
    s0.bands[1] = makeBand (tl::LowCut, 100.0, 0.0, 1.0, tl::Stereo, 24);
    auto s1 = s0;
    s1.bands[0].freq = 2000.0;
    s1.bands[0].gain = -3.0;
    s1.bands[1].slope = 48;
    s1.bands[2] = makeBand (tl::HighCut, 6000.0, 0.0, 1.0, tl::Side, 12);

    auto expected = noiseAndTones (2000);
    auto actual = expected;

    tl::Tirel engine;
    start (engine, s0);
    play (engine, s1, actual.left.data(), actual.right.data(), expected.size(), 256);

    EXPECT_EQ (engine.iir.slots[1].fade, 0.0);
    auto ref = RefChain::of (s1);
    ref.run (expected.left.data(), expected.right.data(), 0, expected.size());
    EXPECT_TRUE (closeTo (actual.left.data(), expected.left.data(), expected.size(), kTolerance));
    EXPECT_TRUE (closeTo (actual.right.data(), expected.right.data(), expected.size(), kTolerance));
}

TEST (IirBlocks, PrepareAgainStartsFromTheNewTargetsWithClearedFilters)
{
    auto s0 = filtersOnly();
    s0.bands[0] = makeBand (tl::LowCut, 120.0, 0.0, 1.0, tl::Stereo, 24);
    s0.bands[4] = makeBand (tl::Bell, 500.0, 9.0, 2.0, tl::Mid);
    // Band 0 keeps its settings across the restart: it must still be designed for the new rate.
    auto s1 = filtersOnly();
    s1.bands[0] = s0.bands[0];
    s1.bands[4] = makeBand (tl::Bell, 2000.0, -6.0, 1.0, tl::Side);
    s1.bands[7] = makeBand (tl::Tilt, 1000.0, 4.0, 1.0);

    auto used = noiseAndTones (3000, 3);
    const auto input = noiseAndTones (3000, 4);
    auto restarted = input, fresh = input;

    // Left mid-glide and mid-fade before the restart.
    tl::Tirel engine;
    start (engine, s0);
    play (engine, s0, used.left.data(), used.right.data(), 1000);
    auto changed = s0;
    changed.bands[0].slope = 48;
    changed.bands[4].freq = 5000.0;
    play (engine, changed, used.left.data() + 1000, used.right.data() + 1000, 100);
    ASSERT_GT (engine.iir.slots[0].fade, 0.0);

    start (engine, s1, 96000.0);
    play (engine, s1, restarted.left.data(), restarted.right.data(), input.size());

    tl::Tirel other;
    start (other, s1, 96000.0);
    play (other, s1, fresh.left.data(), fresh.right.data(), input.size());

    EXPECT_TRUE (sameSamples (restarted.left.data(), fresh.left.data(), input.size()));
    EXPECT_TRUE (sameSamples (restarted.right.data(), fresh.right.data(), input.size()));
}

// =============================================================================================
// Non-finite samples.

TEST (IirNonFinite, WithNoActiveSlotFiniteSamplesPassAndOthersBecomeZero)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> l0 { 0.5, nan, -0.25, inf, -inf, 1e300, 4.9e-324, -0.0 };
    const std::vector<double> r0 { -inf, 0.75, nan, 1e-310, 0.0, inf, -1e300, nan };
    const std::vector<double> l1 { 0.5, 0.0, -0.25, 0.0, 0.0, 1e300, 4.9e-324, -0.0 };
    const std::vector<double> r1 { 0.0, 0.75, 0.0, 1e-310, 0.0, 0.0, -1e300, 0.0 };
    const int n = (int) l0.size();

    tl::IirEngine engine;
    engine.prepare (kFs);
    ASSERT_EQ (engine.activeCount, 0);

    auto l = l0, r = r0;
    engine.run (l.data(), r.data(), n);
    EXPECT_TRUE (sameSamples (l.data(), l1.data(), n));
    EXPECT_TRUE (sameSamples (r.data(), r1.data(), n));

    auto mono = l0;
    engine.run (mono.data(), nullptr, n);
    EXPECT_TRUE (sameSamples (mono.data(), l1.data(), n));
}

TEST (IirNonFinite, ANaNInsideAFilterClearsEverySlotForTheNextStretch)
{
    // The NaN reaches the Right and Mid bands only; the Left band and the fading cut must be
    // cleared as well, or the next stretch would differ from an engine that never saw it.
    auto s0 = filtersOnly();
    s0.bands[0] = makeBand (tl::Bell, 1000.0, 6.0, 1.0, tl::Left);
    s0.bands[1] = makeBand (tl::LowCut, 100.0, 0.0, 1.0, tl::Right, 24);
    s0.bands[2] = makeBand (tl::Bell, 3000.0, 3.0, 2.0, tl::Mid);
    s0.bands[3] = makeBand (tl::HighCut, 5000.0, 0.0, 1.0, tl::Stereo, 24);
    auto s1 = s0;
    s1.bands[3].slope = 48;

    // Both engines see the same blocks and settings; one hears the signal, the other silence,
    // so their glides, fades and control phase agree and only the filters' memories differ.
    auto history = noiseAndTones (1024);
    std::vector<double> silenceL (1024, 0.0), silenceR (1024, 0.0);

    tl::Tirel damaged, clean;
    start (damaged, s0);
    start (clean, s0);
    play (damaged, s0, history.left.data(), history.right.data(), 1024);
    play (clean, s0, silenceL.data(), silenceR.data(), 1024);
    damaged.set (s1);
    clean.set (s1);
    damaged.process (history.left.data(), history.right.data(), 64);
    clean.process (silenceL.data(), silenceR.data(), 64);
    ASSERT_GT (damaged.iir.slots[3].fade, 0.0);
    ASSERT_EQ (damaged.iir.phase, 0);

    // One control period in which a NaN enters the right channel at its sixth sample.
    auto stretch = noiseAndTones (16, 11);
    auto undamaged = stretch;
    stretch.right[5] = std::numeric_limits<double>::quiet_NaN();
    tl::IirEngine twin = damaged.iir;
    damaged.iir.process (stretch.left.data(), stretch.right.data(), 16);
    twin.process (undamaged.left.data(), undamaged.right.data(), 16);
    clean.iir.process (silenceL.data(), silenceR.data(), 16);

    for (int i = 0; i < 16; ++i)
    {
        EXPECT_TRUE (std::isfinite (stretch.left[(size_t) i])) << i;
        EXPECT_TRUE (std::isfinite (stretch.right[(size_t) i])) << i;
    }

    // What came out before the NaN is kept as it was.
    EXPECT_TRUE (sameSamples (stretch.left.data(), undamaged.left.data(), 5));
    EXPECT_TRUE (sameSamples (stretch.right.data(), undamaged.right.data(), 5));

    auto next = noiseAndTones (512, 12);
    auto expected = next;
    damaged.iir.process (next.left.data(), next.right.data(), 512);
    clean.iir.process (expected.left.data(), expected.right.data(), 512);
    EXPECT_TRUE (sameSamples (next.left.data(), expected.left.data(), 512));
    EXPECT_TRUE (sameSamples (next.right.data(), expected.right.data(), 512));
}

} // namespace
