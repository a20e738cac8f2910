#include "dsp/Tirel.h"

#include "DspTestUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace
{
using tltest::filtersOnly;
using tltest::kFs;
using tltest::makeBand;
using tltest::Noise;
using tltest::rms;
using tltest::sameSamples;
using tltest::start;

constexpr int kBlock = 512;         // the host's block size in these tests
constexpr int kRamp = 480;          // a 10 ms switch at 48 kHz
constexpr int kUpdate = tl::LevelMatch::kUpdatePeriod;

// Two channels of doubles; `right` is empty for a mono stream.
struct Audio
{
    std::vector<double> left, right;

    bool mono() const { return right.empty(); }
};

Audio noise (int n, double amplitude = 0.25, bool mono = false)
{
    return { tltest::noise (n, 1, amplitude), mono ? std::vector<double> {} : tltest::noise (n, 2, amplitude) };
}

std::vector<double> tone (int n, double freq, double amplitude, double phase = 0.3)
{
    return tltest::sine (n, freq, kFs, amplitude, phase);
}

// Two unrelated tones, so that left and right never coincide.
Audio twoTones (int n)
{
    return { tone (n, 440.0, 0.5, 0.3), tone (n, 1250.0, 0.3, 1.1) };
}

double toDb (double ratio) { return 20.0 * std::log10 (ratio); }

// A setting in which the equaliser audibly changes the signal.
tl::Settings boosted (bool match = false)
{
    auto s = filtersOnly();
    s.match = match;
    s.bands[0] = makeBand (tl::Bell, 1000.0, 6.0);
    s.bands[1] = makeBand (tl::LowShelf, 200.0, -4.0);
    return s;
}

// Drives the engine the way the host does: `set` ahead of every block of 512 samples.
void play (tl::Tirel& t, const tl::Settings& s, Audio& a, int begin, int end)
{
    tltest::play (t, s, a.left.data() + begin, a.mono() ? nullptr : a.right.data() + begin, end - begin, kBlock);
}

struct Segment
{
    tl::Settings settings;
    int end;                        // the segment covers the samples up to here
};

// A freshly prepared engine (its preparation sees the first segment's settings) run through
// the segments in turn; the last one lasts to the end of the audio.
Audio render (std::vector<Segment> segments, Audio a, double rate = kFs)
{
    tl::Tirel t;
    start (t, segments.front().settings, rate);

    int begin = 0;
    for (size_t k = 0; k < segments.size(); ++k)
    {
        const int end = k + 1 == segments.size() ? (int) a.left.size() : segments[k].end;
        play (t, segments[k].settings, a, begin, end);
        begin = end;
    }
    return a;
}

Audio render (const tl::Settings& s, Audio a) { return render ({ { s, 0 } }, std::move (a)); }

// A 10 ms linear switch starting at sample `start`, checked over [begin, end): before it exactly
// `from`; at start + k the blend (k + 1)/480 of the way to `to`; once the ramp has landed exactly
// `to`. The ramp adds its step in double, so it may land one sample late.
::testing::AssertionResult linearSwitch (const std::vector<double>& out, const std::vector<double>& from,
                                         const std::vector<double>& to, int start, int begin, int end)
{
    for (int i = begin; i < end; ++i)
    {
        const auto u = (size_t) i;
        const int k = i - start;

        if (k < 0 || k > kRamp)
        {
            const double expected = k < 0 ? from[u] : to[u];
            if (out[u] != expected)
                return ::testing::AssertionFailure() << "sample " << i << " is " << out[u] << " instead of " << expected
                                                     << (k < 0 ? " before the switch" : " after the switch");
            continue;
        }

        const double w = std::min (1.0, (k + 1) / (double) kRamp);
        const double expected = from[u] + (to[u] - from[u]) * w;
        if (std::abs (out[u] - expected) > 1e-9)
            return ::testing::AssertionFailure() << "sample " << i << " (" << k << " into the switch) is " << out[u]
                                                 << " instead of " << expected;
    }
    return ::testing::AssertionSuccess();
}

// The monitor's solo of one component, as both outputs carry it.
double soloOf (int mode, double l, double r)
{
    switch (mode)
    {
        case tl::Mid:   return (l + r) * 0.5;
        case tl::Side:  return (l - r) * 0.5;
        case tl::Left:  return l;
        case tl::Right: return r;
        default:        return 0.0;
    }
}

Audio solo (int mode, const Audio& a)
{
    if (mode == 0)
        return a;
    Audio s = a;
    for (size_t i = 0; i < a.left.size(); ++i)
        s.left[i] = s.right[i] = soloOf (mode, a.left[i], a.right[i]);
    return s;
}

// Table rows print as their names.
template <typename Case>
auto operator<< (std::ostream& os, const Case& c) -> decltype ((void) c.name, os)
{
    return os << c.name;
}

} // namespace

//==============================================================================
// Level match, driven directly.

namespace
{
class LevelMatchTest : public ::testing::Test
{
protected:
    void SetUp() override { match.prepare (kFs); }

    // Feeds n samples of noise as the dry side and `wetRatio` times it as the wet side, keeping
    // the gain of every sample and the correction after it.
    void feed (bool on, int n, double wetRatio, double dryAmplitude = 0.25)
    {
        for (int i = 0; i < n; ++i)
        {
            const double dl = dryAmplitude * noiseL.next(), dr = dryAmplitude * noiseR.next();
            gains.push_back (match.process (on, true, dl, dr, dl * wetRatio, dr * wetRatio));
            corrections.push_back (match.correctionDb());
        }
    }

    static double coefficient() { return std::exp (-kUpdate / (0.4 * kFs)); }

    tl::LevelMatch match;
    Noise noiseL { 11 }, noiseR { 12 };
    std::vector<double> gains, corrections;
};
} // namespace

TEST_F (LevelMatchTest, BroadbandBoostIsCorrectedWithTheSmoothingTimeConstant)
{
    // The wet side is the dry one doubled: both powers rise together from silence, so the
    // measured difference is −6.02 dB from the first update and only the 0.4 s smoothing shows.
    feed (true, 4 * 48000, 2.0);
    const double diff = 10.0 * std::log10 (0.25);
    const double c = coefficient();

    double previous = 0.0;
    for (size_t i = 0; i < corrections.size(); ++i)
    {
        if (i % kUpdate != 0)
        {
            ASSERT_EQ (corrections[i], corrections[i - 1]) << "the correction moved between updates at " << i;
            continue;
        }
        ASSERT_NEAR (corrections[i], diff + (previous - diff) * c, 1e-12) << "update at sample " << i;
        previous = corrections[i];
    }

    EXPECT_NEAR (corrections[19200 - 1], diff * (1.0 - std::exp (-1.0)), 0.01);     // 0.4 s
    EXPECT_NEAR (corrections.back(), diff, 1e-3);
    EXPECT_NEAR (gains.back(), 0.5, 1e-4);
}

TEST_F (LevelMatchTest, GainMovesLinearlyOverEach32SampleCycle)
{
    feed (true, 48000, 2.0);

    for (size_t start = 0; start + kUpdate <= gains.size(); start += kUpdate)
    {
        // The update at the cycle's first sample fixes where the cycle ends.
        const double target = std::pow (10.0, corrections[start] / 20.0);
        const double from = start == 0 ? 1.0 : gains[start - 1];

        for (int j = 0; j < kUpdate; ++j)
            ASSERT_NEAR (gains[start + (size_t) j], from + (target - from) * (j + 1) / kUpdate, 1e-15)
                << "sample " << j << " of the cycle at " << start;

        ASSERT_EQ (gains[start + kUpdate - 1], target) << "the cycle at " << start << " does not land on its gain";
    }
}

TEST_F (LevelMatchTest, CorrectionIsLimitedTo12dB)
{
    for (const double ratio : { 10.0, 0.1 })       // 20 dB louder, 20 dB quieter
    {
        SCOPED_TRACE (ratio);
        match.prepare (kFs);
        gains.clear();
        corrections.clear();

        feed (true, 8 * 48000, ratio);
        const double limit = ratio > 1.0 ? -12.0 : 12.0;

        for (const double c : corrections)
            ASSERT_LE (std::abs (c), 12.0);

        EXPECT_NEAR (corrections.back(), limit, 1e-6);
        EXPECT_NEAR (gains.back(), std::pow (10.0, limit / 20.0), 1e-6);
    }
}

TEST_F (LevelMatchTest, SwitchedOffTheCorrectionDecaysToExactlyUnity)
{
    feed (true, 8 * 48000, 2.0);             // a whole number of cycles: the first off sample updates
    const double c = coefficient();
    double previous = corrections.back();
    ASSERT_NEAR (previous, -6.0206, 1e-3);

    gains.clear();
    corrections.clear();
    feed (false, 6 * 48000, 2.0);

    size_t zeroAt = corrections.size();
    for (size_t i = 0; i < corrections.size(); i += kUpdate)
    {
        if (corrections[i] == 0.0)
        {
            zeroAt = i;
            EXPECT_LT (std::abs (previous * c), 1e-4) << "snapped to 0 too early";
            break;
        }
        ASSERT_NEAR (corrections[i], previous * c, 1e-12) << "decay update at sample " << i;
        ASSERT_GE (std::abs (corrections[i]), 1e-4);
        previous = corrections[i];
    }

    // −6.02 dB · e^(−t/0.4 s) falls below 0.0001 dB after about 4.4 s.
    ASSERT_LT (zeroAt, corrections.size()) << "the correction never reached 0 dB";
    EXPECT_NEAR ((double) zeroAt / kFs, 0.4 * std::log (6.0206 / 1e-4), 2.0 * kUpdate / kFs);

    // One last 32-sample ramp to unity, then unity exactly and nothing left to run.
    for (size_t i = zeroAt + kUpdate; i < gains.size(); ++i)
        ASSERT_EQ (gains[i], 1.0) << "sample " << i;
    EXPECT_TRUE (match.isSettled());
}

TEST_F (LevelMatchTest, SwitchingOnAgainMeasuresFromSilence)
{
    feed (true, 4 * 48000, 2.0);
    feed (false, 4800, 2.0);                 // partly decayed
    const double start = match.correctionDb();
    ASSERT_LT (start, -3.0);

    // Now dry and wet are equal. A fresh measurement sees exactly equal powers, so the old
    // correction only decays; powers left over from the boost would keep pulling it down.
    gains.clear();
    corrections.clear();
    feed (true, 48000, 1.0);

    // Skip the first 10 ms, while the fresh powers may still lie under the silence threshold.
    const size_t first = 16 * kUpdate;
    double previous = corrections[first - kUpdate];
    ASSERT_GT (previous, start);
    for (size_t i = first; i < corrections.size(); i += kUpdate)
    {
        if (corrections[i] == 0.0)
            break;
        ASSERT_NEAR (corrections[i], previous * coefficient(), 1e-12) << "update at sample " << i;
        previous = corrections[i];
    }
}

TEST_F (LevelMatchTest, MonoRunsOnlyTheLeftFilters)
{
    // Whatever arrives on the right of a mono stream must neither count nor disturb the right
    // filters, which take over unchanged once the stream is stereo.
    tl::LevelMatch other;
    other.prepare (kFs);
    Noise n (5);

    for (int i = 0; i < 96000; ++i)
    {
        const bool stereo = i >= 48000;
        const double dl = 0.2 * n.next(), dr = 0.2 * n.next();
        const double junkL = stereo ? dr : 0.9 * n.next(), junkR = stereo ? 3.0 * dr : 0.7 * n.next();

        const double g1 = match.process (true, stereo, dl, junkL, 2.0 * dl, junkR);
        const double g2 = other.process (true, stereo, dl, stereo ? dr : 0.0, 2.0 * dl, stereo ? 3.0 * dr : 0.0);
        ASSERT_EQ (g1, g2) << "sample " << i;
    }
    EXPECT_NE (match.correctionDb(), 0.0);
}

namespace
{
struct SilenceCase
{
    const char* name;
    double dryAmplitude;            // of a 1 kHz tone
    double wetRatio;
    bool measures;
};

class Silence : public ::testing::TestWithParam<SilenceCase> {};
} // namespace

TEST_P (Silence, NearSilenceFreezesTheCorrection)
{
    // A band set that cancels the signal, or an input that has gone quiet, must not drive the
    // correction to a limit. K-weighting lifts 1 kHz by about 0.7 dB: a tone of amplitude a
    // measures about 0.59·a².
    const auto& c = GetParam();
    tl::LevelMatch match;
    match.prepare (kFs);
    const auto x = tone (6 * 48000, 1000.0, c.dryAmplitude);

    double last = 1.0;
    for (const double d : x)
        last = match.process (true, false, d, 0.0, d * c.wetRatio, 0.0);

    if (c.measures)
    {
        EXPECT_GT (std::abs (match.correctionDb()), 5.0);
    }
    else
    {
        EXPECT_EQ (match.correctionDb(), 0.0);
        EXPECT_EQ (last, 1.0);
    }
}

INSTANTIATE_TEST_SUITE_P (
    LevelMatch, Silence,
    ::testing::Values (SilenceCase { "WetSilent", 0.5, 0.0, false },
                       SilenceCase { "DryPowerTenTimesBelowThreshold", 4.1e-5, 2.0, false },   // ≈ 1e-9
                       SilenceCase { "DryPowerTenTimesAboveThreshold", 4.1e-4, 2.0, true },    // ≈ 1e-7
                       SilenceCase { "WetPowerHundredTimesBelowThreshold", 1.3e-3, 1e-4, false }, // ≈ 1e-14
                       SilenceCase { "WetPowerHundredTimesAboveThreshold", 1.3e-3, 1e-2, true }),  // ≈ 1e-10
    [] (const auto& test) { return std::string (test.param.name); });

TEST (LevelMatchSilentDry, LoudWetOverSilentDryLeavesTheGainAlone)
{
    tl::LevelMatch match;
    match.prepare (kFs);
    const auto x = tone (2 * 48000, 1000.0, 0.5);

    for (const double w : x)
        ASSERT_EQ (match.process (true, true, 0.0, 0.0, w, -w), 1.0);
    EXPECT_EQ (match.correctionDb(), 0.0);
}

//==============================================================================
// Level match inside the engine.

TEST (TirelLevelMatch, FlatEqualiserPassesTheInputUntouched)
{
    auto s = filtersOnly();
    s.match = true;
    const auto in = noise (3 * 48000);

    tl::Tirel t;
    start (t, s);
    auto out = in;
    play (t, s, out, 0, (int) out.left.size());

    EXPECT_TRUE (sameSamples (out.left, in.left));
    EXPECT_TRUE (sameSamples (out.right, in.right));
    EXPECT_EQ (t.levelMatch.correctionDb(), 0.0);
}

TEST (TirelLevelMatch, ShelfBoostIsCompensatedAndReleasedWhenSwitchedOff)
{
    // A 100 Hz tone lies far below a 5 kHz low shelf: +6 dB for it, as if broadband.
    auto s = filtersOnly();
    s.bands[3] = makeBand (tl::LowShelf, 5000.0, 6.0);
    auto on = s;
    on.match = true;

    const int n = 6 * 48000;
    const Audio in { tone (n + 5 * 48000, 100.0, 0.3), tone (n + 5 * 48000, 100.0, 0.3) };

    tl::Tirel t;
    start (t, on);
    auto out = in;
    play (t, on, out, 0, n);

    EXPECT_NEAR (t.levelMatch.correctionDb(), -6.0, 0.1);
    EXPECT_NEAR (toDb (rms (out.left, n - 48000, n) / rms (in.left, n - 48000, n)), 0.0, 0.05);

    // Switched off, the correction decays to exactly 0 dB and the output is the plain equaliser's.
    play (t, s, out, n, (int) in.left.size());
    EXPECT_EQ (t.levelMatch.correctionDb(), 0.0);

    const auto reference = render (s, in);
    // −6 dB takes about 4.4 s to fall below 0.0001 dB.
    EXPECT_TRUE (sameSamples (out.left, reference.left, n + 45 * 4800, n + 5 * 48000));
    EXPECT_TRUE (sameSamples (out.right, reference.right, n + 45 * 4800, n + 5 * 48000));
}

//==============================================================================
// Band listening.

namespace
{
enum class Shape { LowPass, HighPass, BandPass };

struct ListenCase
{
    const char* name;
    int type;
    double freq, q;
    Shape shape;
    std::vector<double> probes;
};

// Second-order analogue prototypes (Butterworth for the low and high pass), in dB.
double shapeDb (Shape shape, double f0, double q, double f)
{
    const double x = f / f0;
    switch (shape)
    {
        case Shape::LowPass:  return -10.0 * std::log10 (1.0 + std::pow (x, 4.0));
        case Shape::HighPass: return 10.0 * std::log10 (std::pow (x, 4.0) / (1.0 + std::pow (x, 4.0)));
        case Shape::BandPass:
        default:
        {
            const double d = (x / q) * (x / q);
            return 10.0 * std::log10 (d / ((1.0 - x * x) * (1.0 - x * x) + d));
        }
    }
}

class ListenShape : public ::testing::TestWithParam<ListenCase> {};
} // namespace

TEST_P (ListenShape, PlaysTheAreaTheBandWorksOn)
{
    const auto& c = GetParam();
    auto s = filtersOnly();
    s.bands[7] = makeBand (c.type, c.freq, 6.0, c.q);
    s.listen = 7;

    for (const double f : c.probes)
    {
        SCOPED_TRACE (f);
        const int n = 36000, window = 12000;           // the window holds whole periods of every probe
        const auto x = tone (n, f, 0.5);
        const auto out = render (s, { x, x });

        EXPECT_TRUE (sameSamples (out.left, out.right, kRamp + 1, n));
        EXPECT_NEAR (toDb (rms (out.left, n - window, n) / rms (x, n - window, n)), shapeDb (c.shape, c.freq, c.q, f), 0.3);
    }
}

INSTANTIATE_TEST_SUITE_P (
    Tirel, ListenShape,
    ::testing::Values (ListenCase { "LowCut", tl::LowCut, 80.0, 1.0, Shape::LowPass, { 40.0, 80.0, 160.0, 320.0 } },
                       ListenCase { "LowShelf", tl::LowShelf, 80.0, 1.0, Shape::LowPass, { 40.0, 80.0, 160.0, 320.0 } },
                       ListenCase { "HighShelf", tl::HighShelf, 8000.0, 1.0, Shape::HighPass, { 2000.0, 4000.0, 8000.0, 16000.0 } },
                       ListenCase { "HighCut", tl::HighCut, 8000.0, 1.0, Shape::HighPass, { 2000.0, 4000.0, 8000.0, 16000.0 } },
                       ListenCase { "Bell", tl::Bell, 1000.0, 4.0, Shape::BandPass, { 500.0, 1000.0, 1500.0, 2000.0 } },
                       ListenCase { "Notch", tl::Notch, 1000.0, 4.0, Shape::BandPass, { 250.0, 1000.0, 4000.0 } }),
    [] (const auto& test) { return std::string (test.param.name); });

namespace
{
struct RoutingCase
{
    const char* name;
    int ch;
    bool mono;
    double amplitude;               // of the listened 1 kHz tone: left 0.5, right 0.2 in phase
};

class ListenRouting : public ::testing::TestWithParam<RoutingCase> {};
} // namespace

TEST_P (ListenRouting, ListensToTheBandsOwnChannel)
{
    const auto& c = GetParam();
    auto s = filtersOnly();
    s.bands[2] = makeBand (tl::Bell, 1000.0, 6.0, 4.0);
    s.bands[2].ch = c.ch;
    s.listen = 2;

    const int n = 24000;
    Audio in { tone (n, 1000.0, 0.5), c.mono ? std::vector<double> {} : tone (n, 1000.0, 0.2) };
    const auto out = render (s, in);

    if (! c.mono)

    {

        EXPECT_TRUE (sameSamples (out.left, out.right, kRamp + 1, n));

    }
    EXPECT_NEAR (rms (out.left, n - 12000, n) * std::sqrt (2.0), c.amplitude, 1e-3);
}

INSTANTIATE_TEST_SUITE_P (
    Tirel, ListenRouting,
    ::testing::Values (RoutingCase { "Stereo", tl::Stereo, false, 0.35 },
                       RoutingCase { "Mid", tl::Mid, false, 0.35 },
                       RoutingCase { "Side", tl::Side, false, 0.15 },
                       RoutingCase { "Left", tl::Left, false, 0.5 },
                       RoutingCase { "Right", tl::Right, false, 0.2 },
                       RoutingCase { "MonoStereo", tl::Stereo, true, 0.5 },
                       RoutingCase { "MonoSide", tl::Side, true, 0.0 },
                       RoutingCase { "MonoRight", tl::Right, true, 0.5 }),
    [] (const auto& test) { return std::string (test.param.name); });

TEST (TirelListen, NothingToListenToLeavesListeningOff)
{
    auto s = boosted();
    s.bands[4] = makeBand (tl::Tilt, 1000.0, 3.0);
    s.bands[5] = makeBand (tl::Bell, 3000.0, 6.0);
    s.bands[5].on = false;
    const auto in = noise (4096);
    const auto plain = render (s, in);

    for (const int listen : { 4, 5, 24, -1, -7 })
    {
        SCOPED_TRACE (listen);
        s.listen = listen;

        tl::Tirel t;
        start (t, s);
        EXPECT_FALSE (t.listenActive);

        auto out = in;
        play (t, s, out, 0, (int) in.left.size());
        EXPECT_TRUE (sameSamples (out.left, plain.left));
        EXPECT_TRUE (sameSamples (out.right, plain.right));
    }
}

TEST (TirelListen, ChangingTheListenedBandClearsTheFilterMemory)
{
    auto s = filtersOnly();
    s.bands[3] = makeBand (tl::Bell, 1000.0, 6.0, 2.0);
    s.bands[5] = makeBand (tl::Bell, 2000.0, 6.0, 2.0);
    s.listen = 3;

    struct Change
    {
        const char* name;
        int listen;
        double freq;
        int ch;
        bool clears;
    };

    for (const auto& change : { Change { "other band", 5, 1000.0, tl::Stereo, true },
                                Change { "frequency moved", 3, 2000.0, tl::Stereo, false },
                                Change { "channel changed", 3, 1000.0, tl::Left, true } })
    {
        SCOPED_TRACE (change.name);
        tl::Tirel t;
        start (t, s);
        auto in = noise (2000);
        play (t, s, in, 0, 2000);

        tl::SectionState before[4];
        std::copy (&t.listenState[0][0], &t.listenState[0][0] + 8, &before[0][0]);
        ASSERT_NE (before[0][0], 0.0);

        auto next = s;
        next.listen = change.listen;
        next.bands[3].freq = change.freq;
        next.bands[3].ch = change.ch;
        t.set (next);

        EXPECT_TRUE (t.listenActive);
        for (int k = 0; k < 2; ++k)
            for (int j = 0; j < 2; ++j)
                EXPECT_EQ (t.listenState[k][j], change.clears ? 0.0 : before[k][j]);
    }
}

TEST (TirelListen, ListenFilterFollowsTheBandsFrequency)
{
    auto s = filtersOnly();
    s.bands[3] = makeBand (tl::Bell, 1000.0, 6.0, 4.0);
    s.listen = 3;
    auto moved = s;
    moved.bands[3].freq = 2000.0;

    const int n = 36000;
    const auto x = tone (n, 2000.0, 0.5);
    const auto out = render ({ { s, 12000 }, { moved, 0 } }, { x, x });

    EXPECT_NEAR (toDb (rms (out.left, 6000, 12000) / rms (x, 6000, 12000)), shapeDb (Shape::BandPass, 1000.0, 4.0, 2000.0), 0.5);
    EXPECT_NEAR (toDb (rms (out.left, n - 12000, n) / rms (x, n - 12000, n)), 0.0, 0.05);
}

//==============================================================================
// Delta.

TEST (TirelDelta, FlatEqualiserGivesSilenceWhateverTheOutputGain)
{
    for (const double output : { -12.0, 0.0, 6.0 })
    {
        SCOPED_TRACE (output);
        tl::Settings s;                        // level match on: it must not leave a residue either
        s.delta = true;
        s.output = output;
        const auto out = render (s, noise (2 * 48000));

        for (size_t i = 0; i < out.left.size(); ++i)
            ASSERT_TRUE (out.left[i] == 0.0 && out.right[i] == 0.0) << "sample " << i;
    }
}

TEST (TirelDelta, DifferenceIsNotRaisedByTheOutputGain)
{
    auto s = boosted (true);
    s.delta = true;
    const auto in = noise (48000);
    const auto unity = render (s, in);
    s.output = 6.0;
    const auto raised = render (s, in);

    EXPECT_GT (rms (unity.left, 0, 48000), 0.01);
    EXPECT_TRUE (sameSamples (raised.left, unity.left));
    EXPECT_TRUE (sameSamples (raised.right, unity.right));
}

TEST (TirelDelta, SwitchingOffBlendsIntoTheGainedSignal)
{
    auto gained = boosted();
    gained.output = 6.0;
    auto delta = gained;
    delta.delta = true;
    const auto in = noise (4096);

    const auto out = render ({ { delta, 1024 }, { gained, 0 } }, in);
    const auto from = render (delta, in), to = render (gained, in);

    EXPECT_TRUE (linearSwitch (out.left, from.left, to.left, 1024, 0, 4096));
    EXPECT_TRUE (linearSwitch (out.right, from.right, to.right, 1024, 0, 4096));
}

TEST (TirelDelta, ListeningMutesDeltaUntilItEnds)
{
    auto delta = boosted();
    delta.delta = true;
    auto listening = delta;
    listening.listen = 0;
    auto listeningOnly = listening;
    listeningOnly.delta = false;
    const auto in = noise (6144);

    const auto out = render ({ { listening, 2048 }, { delta, 0 } }, in);
    const auto listened = render (listeningOnly, in);
    const auto difference = render (delta, in);

    // Once both ramps have moved the listened band replaces delta, and delta comes back after.
    EXPECT_TRUE (sameSamples (out.left, listened.left, kRamp + 2, 2048));
    EXPECT_TRUE (sameSamples (out.right, listened.right, kRamp + 2, 2048));
    EXPECT_TRUE (sameSamples (out.left, difference.left, 2048 + kRamp + 2, 6144));
    EXPECT_TRUE (sameSamples (out.right, difference.right, 2048 + kRamp + 2, 6144));
}

//==============================================================================
// Bypass.

TEST (TirelBypass, RampsToTheDrySignalAndBack)
{
    auto s = boosted (true);
    s.output = 6.0;
    auto bypassed = s;
    bypassed.bypass = true;
    const auto in = noise (6144);

    const auto out = render ({ { s, 1024 }, { bypassed, 3072 }, { s, 0 } }, in);
    const auto plain = render (s, in);

    // Level match keeps running while bypassed, so the equalised signal it returns to is the
    // uninterrupted one.
    EXPECT_TRUE (linearSwitch (out.left, plain.left, in.left, 1024, 0, 3072));
    EXPECT_TRUE (linearSwitch (out.right, plain.right, in.right, 1024, 0, 3072));
    EXPECT_TRUE (linearSwitch (out.left, in.left, plain.left, 3072, 3072, 6144));
    EXPECT_TRUE (linearSwitch (out.right, in.right, plain.right, 3072, 3072, 6144));
}

//==============================================================================
// Monitor.

namespace
{
struct MonitorCase
{
    const char* name;
    int mode;
    bool sameChannels;
};

class MonitorSolo : public ::testing::TestWithParam<MonitorCase> {};
} // namespace

TEST_P (MonitorSolo, BothOutputsCarryTheComponent)
{
    const auto& c = GetParam();
    auto s = boosted();
    auto in = twoTones (4096);
    if (c.sameChannels)
        in.right = in.left;

    const auto plain = render (s, in);
    s.monitor = c.mode;
    const auto out = render (s, in);
    const auto expected = solo (c.mode, plain);

    EXPECT_TRUE (sameSamples (out.left, expected.left));
    EXPECT_TRUE (sameSamples (out.right, expected.right));
}

INSTANTIATE_TEST_SUITE_P (
    Tirel, MonitorSolo,
    ::testing::Values (MonitorCase { "Mid", tl::Mid, false },
                       MonitorCase { "Side", tl::Side, false },
                       MonitorCase { "SideOfIdenticalChannelsIsSilent", tl::Side, true },
                       MonitorCase { "Left", tl::Left, false },
                       MonitorCase { "Right", tl::Right, false }),
    [] (const auto& test) { return std::string (test.param.name); });

namespace
{
struct MonitorChange
{
    const char* name;
    int from, to;
};

class MonitorSwitch : public ::testing::TestWithParam<MonitorChange> {};
} // namespace

TEST_P (MonitorSwitch, OldModeFadesOutBeforeTheNewOneFadesIn)
{
    const auto& c = GetParam();
    auto from = boosted(), to = boosted();
    from.monitor = c.from;
    to.monitor = c.to;
    const int start = 2048, n = 6144;
    const auto in = twoTones (n);

    const auto out = render ({ { from, start }, { to, 0 } }, in);
    const auto plain = render (boosted(), in);
    const auto a = solo (c.from, plain), b = solo (c.to, plain);

    EXPECT_TRUE (sameSamples (out.left, a.left, 0, start));
    EXPECT_TRUE (sameSamples (out.right, a.right, 0, start));

    // The sample on which the old mode ends carries no monitor at all.
    int gap = start;
    while (gap < n && (out.left[(size_t) gap] != plain.left[(size_t) gap] || out.right[(size_t) gap] != plain.right[(size_t) gap]))
        ++gap;

    if (c.from == 0)
    {
        EXPECT_EQ (gap, start);
    }
    else
    {
        EXPECT_NEAR (gap, start + kRamp, 1);
    }

    for (int i = start; i < n; ++i)
    {
        const auto u = (size_t) i;
        const double w = i < gap ? 1.0 - (i - start + 1) / (double) kRamp : std::min (1.0, (i - gap) / (double) kRamp);
        const auto& target = i < gap ? a : b;

        for (const bool left : { true, false })
        {
            const double p = left ? plain.left[u] : plain.right[u];
            const double t = left ? target.left[u] : target.right[u];
            const double o = left ? out.left[u] : out.right[u];

            if (i > gap + kRamp)
                ASSERT_EQ (o, t) << "sample " << i;
            else
                ASSERT_NEAR (o, p + (t - p) * w, 1e-9) << "sample " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P (
    Tirel, MonitorSwitch,
    ::testing::Values (MonitorChange { "MidToSide", tl::Mid, tl::Side },
                       MonitorChange { "SideToOff", tl::Side, 0 },
                       MonitorChange { "OffToLeft", 0, tl::Left }),
    [] (const auto& test) { return std::string (test.param.name); });

TEST (TirelMonitorMono, RequestIsIgnored)
{
    auto s = boosted();
    auto monitored = s;
    monitored.monitor = tl::Side;
    const auto in = noise (4096, 0.25, true);

    const auto out = render ({ { s, 1024 }, { monitored, 0 } }, in);
    EXPECT_TRUE (sameSamples (out.left, render (s, in).left));
}

//==============================================================================
// Output gain and clip flag.

TEST (TirelOutputGain, GlidesWithTheOnePoleAndLandsOnItsTarget)
{
    auto s = boosted();
    auto raised = s;
    raised.output = 6.0;
    const int start = 1024, n = 30000;
    const auto in = noise (n);

    tl::Tirel t;
    tltest::start (t, s);
    auto out = in;
    play (t, s, out, 0, start);
    play (t, raised, out, start, n);

    const auto plain = render (s, in);
    const auto target = render (raised, in);
    const double g = std::pow (10.0, 6.0 / 20.0);
    const double c = std::exp (-1.0 / (0.02 * kFs));

    // The glide lands when it comes within 1e-9 of its target.
    const int landing = start + (int) std::ceil (std::log (1e-9 / (g - 1.0)) / std::log (c)) - 1;

    for (int i = start; i < landing - 2; ++i)
    {
        const auto u = (size_t) i;
        const double gain = g + (1.0 - g) * std::pow (c, i - start + 1);
        ASSERT_NEAR (out.left[u], gain * plain.left[u], 1e-10) << "sample " << i;
        ASSERT_NEAR (out.right[u], gain * plain.right[u], 1e-10) << "sample " << i;
    }

    EXPECT_TRUE (sameSamples (out.left, target.left, landing + 2, n));
    EXPECT_TRUE (sameSamples (out.right, target.right, landing + 2, n));
    EXPECT_EQ (t.outputGain, t.outputGainTarget);
}

namespace
{
struct ClipCase
{
    const char* name;
    double peak;
    bool right;
    bool bypass;                    // the full chain instead of the resting one
    bool clips;
};

class Clip : public ::testing::TestWithParam<ClipCase> {};
} // namespace

TEST_P (Clip, FlagsOnlySamplesBeyondFullScale)
{
    const auto& c = GetParam();
    auto s = filtersOnly();
    s.bypass = c.bypass;

    Audio a { std::vector<double> (1000, 0.5), std::vector<double> (1000, -0.5) };
    (c.right ? a.right : a.left)[700] = c.peak;

    tl::Tirel t;
    start (t, s);
    play (t, s, a, 0, 1000);

    EXPECT_EQ ((c.right ? a.right : a.left)[700], c.peak);
    EXPECT_EQ (t.clipFlag, c.clips);
}

INSTANTIATE_TEST_SUITE_P (
    Tirel, Clip,
    ::testing::Values (ClipCase { "ExactlyFullScale", 1.0, false, false, false },
                       ClipCase { "ExactlyNegativeFullScaleRight", -1.0, true, false, false },
                       ClipCase { "JustOver", 1.0000001, false, false, true },
                       ClipCase { "JustUnderNegativeRight", -1.0000001, true, false, true },
                       ClipCase { "ExactlyFullScaleBypassed", 1.0, true, true, false },
                       ClipCase { "JustOverBypassed", 1.0000001, true, true, true },
                       ClipCase { "JustUnderNegativeBypassed", -1.0000001, false, true, true }),
    [] (const auto& test) { return std::string (test.param.name); });

//==============================================================================
// Start-up.

TEST (TirelStartUp, FirstBlockIsAlreadyBypassedMonitoredAndGained)
{
    auto s = boosted (true);
    s.bypass = true;
    s.monitor = tl::Side;
    s.output = 6.0;
    const auto in = twoTones (kBlock);

    for (const bool again : { false, true })
    {
        SCOPED_TRACE (again ? "prepared again" : "first preparation");
        tl::Tirel t;
        t.prepare (kFs);

        if (again)
        {
            // Whatever ran before, a new preparation starts from the targets again.
            const auto plain = boosted();
            t.set (plain);
            auto warm = noise (4096);
            play (t, plain, warm, 0, 4096);
            t.prepare (kFs);
        }

        t.set (s);
        EXPECT_EQ (t.outputGain, std::pow (10.0, 6.0 / 20.0));
        EXPECT_EQ (t.outputGain, t.outputGainTarget);

        auto out = in;
        play (t, s, out, 0, kBlock);
        const auto expected = solo (tl::Side, in);
        EXPECT_TRUE (sameSamples (out.left, expected.left));
        EXPECT_TRUE (sameSamples (out.right, expected.right));
    }
}

TEST (TirelStartUp, OnlyTheFirstSetAfterPreparationJumps)
{
    auto s = boosted();
    auto bypassed = s;
    bypassed.bypass = true;
    const auto in = noise (2048);

    tl::Tirel t;
    start (t, s);
    auto out = in;
    play (t, bypassed, out, 0, 2048);

    const auto plain = render (s, in);
    EXPECT_TRUE (linearSwitch (out.left, plain.left, in.left, 0, 0, 2048));
    EXPECT_TRUE (linearSwitch (out.right, plain.right, in.right, 0, 0, 2048));
}

TEST (TirelStartUp, ListeningRampsInFromTheStart)
{
    auto s = boosted();
    s.listen = 0;
    const auto in = noise (2048);

    tl::Tirel t;
    start (t, s);

    // What the listen filter alone makes of the dry mid signal, from a cleared state.
    const auto filter = t.listenFilter;
    tl::SectionState state[4] {};
    std::vector<double> listened (in.left.size());
    for (size_t i = 0; i < listened.size(); ++i)
        listened[i] = tl::runCascade (filter, state, (in.left[i] + in.right[i]) * 0.5);

    auto out = in;
    play (t, s, out, 0, 2048);
    auto noListen = s;
    noListen.listen = -1;
    const auto plain = render (noListen, in);

    EXPECT_TRUE (linearSwitch (out.left, plain.left, listened, 0, 0, 2048));
    EXPECT_TRUE (linearSwitch (out.right, plain.right, listened, 0, 0, 2048));
}

TEST (TirelStartUp, BandsChangedBeforeTheFirstBlockStartAtTheirTargets)
{
    // The host may change parameters between preparation and its first block (a project being
    // loaded): the first block must still start from the settings it brings, not glide to them.
    auto boost = filtersOnly();
    boost.bands[0] = makeBand (tl::Bell, 1000.0, 12.0);
    const int n = 4800;
    const auto x = tone (n, 1000.0, 0.05);

    tl::Tirel t;
    start (t, filtersOnly());
    Audio out { x, x };
    play (t, boost, out, 0, n);

    const auto reference = render (boost, { x, x });
    EXPECT_NEAR (toDb (rms (out.left, 480, 960) / rms (x, 480, 960)), 12.0, 0.5);
    EXPECT_TRUE (sameSamples (out.left, reference.left));
}

//==============================================================================
// The resting fast path against the full chain.

namespace
{
struct Disturbance
{
    const char* name;
    void (*apply) (tl::Settings&);
    bool match;
    bool mono;
};

class Rest : public ::testing::TestWithParam<Disturbance> {};
} // namespace

TEST_P (Rest, ResumedRestGivesTheSameSamplesAsUnbrokenRest)
{
    // After a switch has ramped back, the remainder of that chunk runs the full chain with every
    // stage at rest, and the chunks after it the shortcut: both must equal a run that never left
    // the rest state.
    const auto& c = GetParam();
    auto rest = boosted (c.match);
    rest.output = 3.0;
    auto disturbed = rest;
    c.apply (disturbed);

    const auto in = noise (8192, 0.25, c.mono);
    const auto out = render ({ { rest, 512 }, { disturbed, 1536 }, { rest, 0 } }, in);
    const auto reference = render (rest, in);

    // Back at rest by 1536 + 481; the chunk [1792, 2048) still runs the full chain.
    EXPECT_TRUE (sameSamples (out.left, reference.left, 0, 512));
    EXPECT_TRUE (sameSamples (out.left, reference.left, 1536 + kRamp + 2, 8192));
    if (! c.mono)
    {
        EXPECT_TRUE (sameSamples (out.right, reference.right, 1536 + kRamp + 2, 8192));
    }

    // The disturbance did change the output.
    EXPECT_FALSE (sameSamples (out.left, reference.left, 512, 1536) && (c.mono || sameSamples (out.right, reference.right, 512, 1536)));
}

INSTANTIATE_TEST_SUITE_P (
    Tirel, Rest,
    ::testing::Values (Disturbance { "Bypass", [] (tl::Settings& s) { s.bypass = true; }, true, false },
                       Disturbance { "Delta", [] (tl::Settings& s) { s.delta = true; }, true, false },
                       Disturbance { "Listen", [] (tl::Settings& s) { s.listen = 0; }, true, false },
                       Disturbance { "MonitorLeft", [] (tl::Settings& s) { s.monitor = tl::Left; }, true, false },
                       Disturbance { "BypassWithoutLevelMatch", [] (tl::Settings& s) { s.bypass = true; }, false, false },
                       Disturbance { "MonoBypass", [] (tl::Settings& s) { s.bypass = true; }, false, true },
                       Disturbance { "MonoDelta", [] (tl::Settings& s) { s.delta = true; }, true, true }),
    [] (const auto& test) { return std::string (test.param.name); });

//==============================================================================
// Input conditioning.

namespace
{
struct BadSampleCase
{
    const char* name;
    double value;
    bool right;
    int setting;                    // 0 flat, 1 equalised with level match, 2 bypassed, 3 listening
    bool mono;
};

class BadInput : public ::testing::TestWithParam<BadSampleCase> {};
} // namespace

TEST_P (BadInput, NonFiniteSampleBecomesSilence)
{
    const auto& c = GetParam();
    auto s = c.setting == 0 ? filtersOnly() : boosted (c.setting == 1);
    s.bypass = c.setting == 2;
    s.listen = c.setting == 3 ? 0 : -1;

    const int at = 1000;
    auto clean = noise (4096, 0.25, c.mono);
    auto& channel = c.right ? clean.right : clean.left;
    channel[(size_t) at] = 0.0;
    auto bad = clean;
    (c.right ? bad.right : bad.left)[(size_t) at] = c.value;

    const auto out = render (s, bad);
    const auto reference = render (s, clean);

    EXPECT_TRUE (sameSamples (out.left, reference.left));
    if (! c.mono)
    {
        EXPECT_TRUE (sameSamples (out.right, reference.right));
    }
    if (c.setting == 0)
    {
        EXPECT_EQ ((c.right ? out.right : out.left)[(size_t) at], 0.0);
    }
}

INSTANTIATE_TEST_SUITE_P (
    Tirel, BadInput,
    ::testing::Values (BadSampleCase { "NanFlat", std::numeric_limits<double>::quiet_NaN(), false, 0, false },
                       BadSampleCase { "InfinityRightFlat", std::numeric_limits<double>::infinity(), true, 0, false },
                       BadSampleCase { "NanEqualised", std::numeric_limits<double>::quiet_NaN(), true, 1, false },
                       BadSampleCase { "NegativeInfinityEqualised", -std::numeric_limits<double>::infinity(), false, 1, false },
                       BadSampleCase { "InfinityBypassed", std::numeric_limits<double>::infinity(), false, 2, false },
                       BadSampleCase { "NanListening", std::numeric_limits<double>::quiet_NaN(), true, 3, false },
                       BadSampleCase { "NanMono", std::numeric_limits<double>::quiet_NaN(), false, 1, true }),
    [] (const auto& test) { return std::string (test.param.name); });
