#include "dsp/Fft.h"
#include "dsp/Spectrum.h"

#include "DspTestUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace
{
using tltest::pi;

constexpr double kFloorDb = -200.0;

using Complex = std::complex<double>;

std::vector<Complex> randomComplex (int n, unsigned seed)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<double> u (-1.0, 1.0);
    std::vector<Complex> x ((size_t) n);
    for (auto& v : x)
        v = { u (rng), u (rng) };
    return x;
}

// Reference transform, O(n²); the angle is reduced modulo n first so that large k·m stays exact.
std::vector<Complex> directDft (const std::vector<Complex>& x)
{
    const auto n = (long long) x.size();
    std::vector<Complex> out (x.size());
    for (long long k = 0; k < n; ++k)
    {
        Complex sum = 0.0;
        for (long long m = 0; m < n; ++m)
            sum += x[(size_t) m] * std::polar (1.0, -2.0 * pi * (double) ((k * m) % n) / (double) n);
        out[(size_t) k] = sum;
    }
    return out;
}

double maxAbsDifference (const std::vector<Complex>& a, const std::vector<Complex>& b)
{
    double worst = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
        worst = std::max (worst, std::abs (a[i] - b[i]));
    return worst;
}

std::vector<float> noise (int n, unsigned seed)
{
    std::mt19937 rng (seed);
    std::uniform_real_distribution<float> u (-1.0f, 1.0f);
    std::vector<float> x ((size_t) n);
    for (auto& v : x)
        v = u (rng);
    return x;
}

int frameSizeOf (int sizeIndex) { return tl::Spectrum::kSizes[(size_t) sizeIndex]; }

//==============================================================================
class FftSizes : public ::testing::TestWithParam<int>
{
};

TEST_P (FftSizes, ForwardMatchesDirectDft)
{
    const int n = GetParam();
    tl::Fft fft;
    fft.prepare (n);

    const auto input = randomComplex (n, 17u + (unsigned) n);
    auto x = input;
    fft.forward (x.data());

    EXPECT_LT (maxAbsDifference (x, directDft (input)), 1e-10 * n);
}

TEST_P (FftSizes, InverseOfForwardScaledByOneOverSizeRestoresInput)
{
    // Every user scales the inverse itself, so neither direction may scale.
    const int n = GetParam();
    tl::Fft fft;
    fft.prepare (n);

    const auto input = randomComplex (n, 91u + (unsigned) n);
    auto x = input;
    fft.forward (x.data());
    fft.inverse (x.data());
    for (auto& v : x)
        v /= (double) n;

    EXPECT_LT (maxAbsDifference (x, input), 1e-12);
}

INSTANTIATE_TEST_SUITE_P (FftPowersOfTwo, FftSizes, ::testing::Values (1, 2, 4, 8, 64, 1024),
                          [] (const auto& test) { return "N" + std::to_string (test.param); });

TEST (FftTables, SizesAndLengthsFollowThePreparedSize)
{
    struct Case { int n, log2; };
    for (const auto& c : { Case { 1, 0 }, Case { 2, 1 }, Case { 4, 2 }, Case { 8, 3 }, Case { 1024, 10 }, Case { 16384, 14 } })
    {
        SCOPED_TRACE ("n = " + std::to_string (c.n));
        tl::Fft fft;
        fft.prepare (c.n);
        EXPECT_EQ (fft.size, c.n);
        EXPECT_EQ (fft.log2Size, c.log2);
        EXPECT_EQ (fft.bitReverse.size(), (size_t) c.n);
        EXPECT_EQ (fft.twiddles.size(), (size_t) (c.n / 2));
    }
}

TEST (FftTables, BitReversalMirrorsTheIndexBits)
{
    tl::Fft fft;
    fft.prepare (8);
    EXPECT_EQ (fft.bitReverse, (std::vector<std::int32_t> { 0, 4, 2, 6, 1, 5, 3, 7 }));

    fft.prepare (1);
    EXPECT_EQ (fft.bitReverse, (std::vector<std::int32_t> { 0 }));

    // A permutation that is its own inverse, over exactly log2Size bits.
    fft.prepare (1024);
    EXPECT_EQ (fft.bitReverse[1], 512);
    EXPECT_EQ (fft.bitReverse[2], 256);
    EXPECT_EQ (fft.bitReverse[1023], 1023);
    for (int i = 0; i < 1024; ++i)
        ASSERT_EQ (fft.bitReverse[(size_t) fft.bitReverse[(size_t) i]], i) << "index " << i;
}

TEST (FftTables, TwiddlesTurnClockwiseRoundTheUnitCircle)
{
    for (int n : { 2, 16, 8192 })
    {
        SCOPED_TRACE ("n = " + std::to_string (n));
        tl::Fft fft;
        fft.prepare (n);
        for (int k = 0; k < n / 2; ++k)
            ASSERT_LT (std::abs (fft.twiddles[(size_t) k] - std::polar (1.0, -2.0 * pi * k / n)), 1e-15) << "k " << k;
    }

    tl::Fft quarterTurn;
    quarterTurn.prepare (4);
    EXPECT_NEAR (quarterTurn.twiddles[1].real(), 0.0, 1e-15);
    EXPECT_NEAR (quarterTurn.twiddles[1].imag(), -1.0, 1e-15);
}

TEST (FftTables, PreparingForAnotherSizeReplacesEveryTable)
{
    // The analyser re-prepares the same object whenever its resolution changes.
    tl::Fft fft;
    fft.prepare (1024);
    fft.prepare (8);

    EXPECT_EQ (fft.size, 8);
    EXPECT_EQ (fft.log2Size, 3);
    EXPECT_EQ (fft.bitReverse.size(), 8u);
    EXPECT_EQ (fft.twiddles.size(), 4u);

    const auto input = randomComplex (8, 5u);
    auto x = input;
    fft.forward (x.data());
    EXPECT_LT (maxAbsDifference (x, directDft (input)), 1e-12);
}

//==============================================================================
class SpectrumTest : public ::testing::Test
{
protected:
    tl::Spectrum s;

    void configure (double rate, int sizeIndex, std::int32_t window = tl::Spectrum::blackmanHarris, int speedIndex = 2)
    {
        s.sizeIndex = sizeIndex;
        s.windowType = window;
        s.speedIndex = speedIndex;
        s.setUp (rate);
    }

    int frameSize() const { return frameSizeOf (s.sizeIndex); }
    int quarter() const { return frameSize() / 4; }

    void push (const std::vector<float>& x) { s.push (x.data(), (int) x.size()); }
    void pushSilence (int n) { push (std::vector<float> ((size_t) n, 0.0f)); }

    void setAllPoints (double db)
    {
        for (auto& p : s.points)
            p.db = db;
    }

    // Leaves the points holding the last analysis alone: earlier analyses of a partly filled frame
    // would otherwise still show through the fall limit. x ends on an analysis.
    void analyseOnce (const std::vector<float>& x)
    {
        const auto q = (size_t) quarter();
        s.push (x.data(), (int) (x.size() - q));
        setAllPoints (kFloorDb);
        s.push (x.data() + (x.size() - q), (int) q);
    }

    double peakDb() const
    {
        double peak = -1e300;
        for (const auto& p : s.points)
            peak = std::max (peak, p.db);
        return peak;
    }

    double lowestDb() const
    {
        double low = 1e300;
        for (const auto& p : s.points)
            low = std::min (low, p.db);
        return low;
    }
};

//==============================================================================
struct WindowCase
{
    const char* name;
    std::int32_t type;
    double scallopDb;     // loss for a sine half-way between two bins
    double endValue;      // window[0] and window[N - 1]
};

void PrintTo (const WindowCase& c, std::ostream* os) { *os << c.name; }

class SpectrumWindows : public SpectrumTest, public ::testing::WithParamInterface<WindowCase>
{
};

// N = 4096 at 48 kHz: bins 11.71875 Hz apart; 3000 Hz is the centre of bin 256, where every point is wide.
constexpr double kBinCentreHz = 3000.0;
constexpr double kBinWidth4096 = 48000.0 / 4096.0;

TEST_P (SpectrumWindows, FullScaleSineAtBinCentreReadsZeroDb)
{
    configure (48000.0, 2, GetParam().type);
    // More than three rings' worth, so the frame is read across the ring's wrap.
    analyseOnce (tltest::sine<float> (25 * 1024, kBinCentreHz, 48000.0));

    EXPECT_NEAR (peakDb(), 0.0, 0.01);
    EXPECT_NEAR (s.levelsDb[256], 0.0, 0.01);
}

TEST_P (SpectrumWindows, SineHalfWayBetweenBinsLosesOnlyTheWindowsScallop)
{
    configure (48000.0, 2, GetParam().type);
    analyseOnce (tltest::sine<float> (25 * 1024, kBinCentreHz + 0.5 * kBinWidth4096, 48000.0));

    EXPECT_NEAR (peakDb(), -GetParam().scallopDb, 0.01);
}

TEST_P (SpectrumWindows, WindowIsSymmetricWithItsEndValuesAndUnitCentre)
{
    for (int sizeIndex : { 0, 3 })
    {
        configure (48000.0, sizeIndex, GetParam().type);
        const int n = frameSize();
        SCOPED_TRACE ("N = " + std::to_string (n));
        ASSERT_EQ (s.window.size(), (size_t) n);

        EXPECT_NEAR (s.window.front(), GetParam().endValue, 1e-9);
        EXPECT_NEAR (s.window.back(), GetParam().endValue, 1e-9);
        // Sample N/2 sits half a sample past the true peak, which Flat Top's curvature shows at N = 1024.
        EXPECT_NEAR (s.window[(size_t) (n / 2)], 1.0, 5e-5);
        for (int i = 0; i < n / 2; ++i)
            ASSERT_NEAR (s.window[(size_t) i], s.window[(size_t) (n - 1 - i)], 1e-12) << "i " << i;
    }
}

// Scallop losses and end values worked out separately for these windows at N = 4096;
// the Kaiser ends are 1/I0(β): I0(4) = 11.3019, I0(8) = 427.564, I0(12) = 18948.93.
INSTANTIATE_TEST_SUITE_P (SpectrumEveryWindow, SpectrumWindows,
                          ::testing::Values (WindowCase { "BlackmanHarris", tl::Spectrum::blackmanHarris, 0.8252, 6.0e-5 },
                                             WindowCase { "FlatTop", tl::Spectrum::flatTop, 0.0098, -4.21051e-4 },
                                             WindowCase { "Hann", tl::Spectrum::hann, 1.4229, 0.0 },
                                             WindowCase { "Kaiser4", tl::Spectrum::kaiser4, 2.0656, 0.08848052607644988 },
                                             WindowCase { "Kaiser8", tl::Spectrum::kaiser8, 1.1813, 0.002338830512733327 },
                                             WindowCase { "Kaiser12", tl::Spectrum::kaiser12, 0.8214, 5.277344132009767e-05 }),
                          [] (const auto& test) { return std::string (test.param.name); });

//==============================================================================
struct FallCase
{
    int sizeIndex, speedIndex;
    double rate;
    double fallPerAnalysisDb;     // (N/4)·speed/rate
};

void PrintTo (const FallCase& c, std::ostream* os)
{
    *os << "N " << frameSizeOf (c.sizeIndex) << ", " << tl::Spectrum::kFallDbPerSec[(size_t) c.speedIndex] << " dB/s, "
        << c.rate << " Hz";
}

class SpectrumFall : public SpectrumTest, public ::testing::WithParamInterface<FallCase>
{
};

TEST_P (SpectrumFall, SilenceLowersTheDisplayOncePerQuarterFrame)
{
    const auto& c = GetParam();
    configure (c.rate, c.sizeIndex, tl::Spectrum::blackmanHarris, c.speedIndex);
    setAllPoints (0.0);

    pushSilence (quarter() - 1);
    EXPECT_EQ (lowestDb(), 0.0) << "analysed before a quarter frame had arrived";
    EXPECT_EQ (peakDb(), 0.0);

    pushSilence (1);
    EXPECT_NEAR (lowestDb(), -c.fallPerAnalysisDb, 1e-12);
    EXPECT_NEAR (peakDb(), -c.fallPerAnalysisDb, 1e-12);

    // The hop count carries across pushes of any length.
    pushSilence (quarter() / 3);
    pushSilence (quarter() - quarter() / 3);
    EXPECT_NEAR (lowestDb(), -2.0 * c.fallPerAnalysisDb, 1e-12);
    EXPECT_NEAR (peakDb(), -2.0 * c.fallPerAnalysisDb, 1e-12);
}

INSTANTIATE_TEST_SUITE_P (SpectrumSizesSpeedsRates, SpectrumFall,
                          ::testing::Values (FallCase { 2, 2, 48000.0, 0.512 },     // High, Medium
                                             FallCase { 0, 0, 44100.0, 256.0 * 6.0 / 44100.0 },
                                             FallCase { 1, 3, 48000.0, 0.512 },
                                             FallCase { 3, 4, 96000.0, 2.048 },
                                             FallCase { 2, 1, 192000.0, 0.064 }));

TEST_F (SpectrumTest, SpeedChangeAppliesFromTheNextAnalysisWithoutRebuild)
{
    configure (48000.0, 2);
    setAllPoints (0.0);
    pushSilence (1024);
    ASSERT_NEAR (peakDb(), -0.512, 1e-12);

    s.speedIndex = 4;     // 96 dB/s: 2.048 dB per analysis
    pushSilence (1024);
    EXPECT_NEAR (peakDb(), -0.512 - 2.048, 1e-12);
    EXPECT_NEAR (lowestDb(), -0.512 - 2.048, 1e-12);
}

TEST_F (SpectrumTest, NonPositiveRateCountsAs48k)
{
    for (double rate : { 0.0, -1.0, -44100.0 })
    {
        SCOPED_TRACE ("rate " + std::to_string (rate));
        configure (rate, 2);
        EXPECT_EQ (s.sampleRate, 48000.0);

        setAllPoints (0.0);
        pushSilence (1024);
        EXPECT_NEAR (peakDb(), -0.512, 1e-12);
        EXPECT_NEAR (lowestDb(), -0.512, 1e-12);
    }
}

TEST_F (SpectrumTest, ChunkingOfTheInputDoesNotChangeTheResult)
{
    tl::Spectrum whole;
    whole.sizeIndex = 1;
    whole.setUp (44100.0);
    configure (44100.0, 1);

    const auto x = noise (3 * 8192 + 1000, 3u);
    whole.push (x.data(), (int) x.size());

    // Includes empty and negative counts, which must consume nothing.
    const int chunks[] { 1, 0, 511, 1, 700, -3, 5000, 2, 1023 };
    size_t done = 0;
    for (size_t i = 0; done < x.size(); ++i)
    {
        const int want = chunks[i % std::size (chunks)];
        const int n = std::min (want, (int) (x.size() - done));
        s.push (x.data() + done, n);
        done += (size_t) std::max (n, 0);
    }

    EXPECT_EQ (s.writePos, whole.writePos);
    EXPECT_EQ (s.hop, whole.hop);
    EXPECT_EQ (s.levelsDb, whole.levelsDb);
    for (size_t j = 0; j < s.points.size(); ++j)
        ASSERT_EQ (s.points[j].db, whole.points[j].db) << "point " << j;
}

//==============================================================================
TEST_F (SpectrumTest, LevelsAreTheWindowedPowerOfTheLastFrameOldestFirst)
{
    configure (48000.0, 0);     // N = 1024
    const int n = frameSize();

    // Ends on an analysis after the ring has wrapped, so the frame straddles the wrap point.
    const auto x = noise (8192 + 3 * 256, 11u);
    push (x);
    ASSERT_EQ (s.hop, 0);

    double windowSum = 0.0;
    std::vector<Complex> frame ((size_t) n);
    for (int m = 0; m < n; ++m)
    {
        frame[(size_t) m] = x[x.size() - (size_t) n + (size_t) m] * s.window[(size_t) m];
        windowSum += s.window[(size_t) m];
    }
    const auto bins = directDft (frame);
    const double norm = 2.0 / windowSum;

    ASSERT_EQ (s.levelsDb.size(), (size_t) (n / 2));
    EXPECT_EQ (s.levelsDb[0], kFloorDb) << "bin 0 is never measured";
    for (int k = 1; k < n / 2; ++k)
    {
        const double expected = 10.0 * std::log10 (std::norm (bins[(size_t) k]) * norm * norm);
        ASSERT_NEAR (s.levelsDb[(size_t) k], expected, 1e-8) << "bin " << k;
    }
}

TEST_F (SpectrumTest, SilenceReadsTheFloorEverywhere)
{
    for (int sizeIndex = 0; sizeIndex < 4; ++sizeIndex)
    {
        configure (48000.0, sizeIndex);
        SCOPED_TRACE ("N = " + std::to_string (frameSize()));
        pushSilence (frameSize() + quarter());

        EXPECT_EQ (peakDb(), kFloorDb);
        EXPECT_EQ (lowestDb(), kFloorDb);
        EXPECT_EQ (*std::max_element (s.levelsDb.begin(), s.levelsDb.end()), kFloorDb);
    }
}

TEST_F (SpectrumTest, SetUpForgetsHistoryAndDisplay)
{
    configure (48000.0, 2);
    push (noise (10000, 7u));
    ASSERT_GT (peakDb(), -60.0);

    s.setUp (44100.0);
    EXPECT_EQ (s.sampleRate, 44100.0);
    EXPECT_EQ (s.writePos, 0);
    EXPECT_EQ (s.hop, 0);
    EXPECT_EQ (peakDb(), kFloorDb);

    // A frame taken now must hold nothing of the noise.
    pushSilence (quarter());
    EXPECT_EQ (peakDb(), kFloorDb);
    EXPECT_EQ (*std::max_element (s.levelsDb.begin(), s.levelsDb.end()), kFloorDb);
}

//==============================================================================
TEST (SpectrumPoints, TwoHundredFortyPointsTwentyFourPerOctaveFrom20Hz)
{
    tl::Spectrum s;
    s.setUp (48000.0);
    ASSERT_EQ (s.points.size(), 240u);

    for (size_t j = 0; j < s.points.size(); ++j)
    {
        const auto& p = s.points[j];
        const double centre = 20.0 * std::pow (2.0, (double) j / 24.0);
        ASSERT_NEAR (p.freq / centre, 1.0, 1e-12) << "point " << j;
        ASSERT_NEAR (p.lo / (centre * std::pow (2.0, -1.0 / 48.0)), 1.0, 1e-12) << "point " << j;
        ASSERT_NEAR (p.hi / (centre * std::pow (2.0, 1.0 / 48.0)), 1.0, 1e-12) << "point " << j;
        ASSERT_EQ (p.db, kFloorDb) << "point " << j;
        if (j > 0)
        {
            // The bands tile the range with neither gaps nor overlaps.
            ASSERT_NEAR (p.lo / s.points[j - 1].hi, 1.0, 1e-12) << "point " << j;
        }
    }
    EXPECT_NEAR (s.points.back().freq, 19896.97, 0.01);
}

//==============================================================================
// N = 1024 at 48 kHz: bins 46.875 Hz apart. A point is narrow (interpolated at its centre) while
// its band is under one bin wide, which holds up to point 152 (1612.7 Hz); from point 153
// (1660.0 Hz) it takes the loudest bin inside its band.
struct PointCase
{
    const char* what;
    int point;          // 240 and up: the extra points added below
    bool wide;
    int first, last;    // narrow: the two bins interpolated; wide: the band's bins
    double fraction;    // narrow: weight of `last`
};

TEST_F (SpectrumTest, PointsInterpolateWhenNarrowAndTakeTheBandMaximumWhenWide)
{
    configure (48000.0, 0);
    // Beyond the 240: a narrow point centred above the last usable bin (x = 510.93) and a wide one
    // lying wholly above Nyquist.
    s.points.push_back ({ 23950.0, 23949.0, 23951.0, kFloorDb });
    s.points.push_back ({ 25000.0, 24500.0, 25500.0, kFloorDb });

    // Noise gives every bin its own level, so each rule leaves a distinct value.
    analyseOnce (noise (8192 + 256, 23u));
    const auto& L = s.levelsDb;

    const PointCase cases[] {
        { "20 Hz, below the first bin", 0, false, 1, 1, 0.0 },
        { "63.5 Hz, x = 1.3546", 40, false, 1, 2, 0.3545822310128637 },
        { "359.2 Hz, x = 7.6627", 100, false, 7, 8, 0.662674249791988 },
        { "1395.8 Hz, x = 29.778", 147, false, 29, 30, 0.77813115331264 },
        { "1612.7 Hz, last narrow point", 152, false, 34, 35, 0.404244135796 },
        { "1660.0 Hz, first wide point", 153, true, 35, 35, 0.0 },
        { "6450.8 Hz", 200, true, 136, 139, 0.0 },
        { "19897 Hz, last point", 239, true, 419, 430, 0.0 },
        { "narrow, above the last usable bin", 240, false, 510, 510, 0.0 },
        { "wide, above Nyquist", 241, true, 511, 511, 0.0 },
    };

    for (const auto& c : cases)
    {
        double expected = kFloorDb;
        if (c.wide)
            expected = *std::max_element (L.begin() + c.first, L.begin() + c.last + 1);
        else
            expected = L[(size_t) c.first] + (L[(size_t) c.last] - L[(size_t) c.first]) * c.fraction;

        EXPECT_NEAR (s.points[(size_t) c.point].db, expected, 1e-6) << c.what << " (point " << c.point << ")";
    }
}

TEST_F (SpectrumTest, WidePointBandIncludesBothEdgeBinsAndNothingBeyond)
{
    // Point 200 at N = 1024 covers bins 136 to 139 (135.64 to 139.62). A sine on a bin centre
    // peaks there and is 6 dB down one bin away (Hann), so a bin wrongly dropped or added at
    // either edge moves the reading by that much.
    struct Case { int sineBin, readsBin; };
    for (const auto& c : { Case { 139, 139 }, Case { 140, 139 }, Case { 136, 136 }, Case { 135, 136 } })
    {
        SCOPED_TRACE ("sine on bin " + std::to_string (c.sineBin));
        configure (48000.0, 0, tl::Spectrum::hann);
        analyseOnce (tltest::sine<float> (8192 + 256, c.sineBin * 46.875, 48000.0));

        EXPECT_NEAR (s.points[200].db, s.levelsDb[(size_t) c.readsBin], 1e-9);
        EXPECT_NEAR (s.points[200].db, c.sineBin == c.readsBin ? 0.0 : -6.01, 0.05);
    }
}

//==============================================================================
TEST_F (SpectrumTest, ChangingSizeOrWindowKeepsTheDisplayAndRebuildsTheTables)
{
    configure (48000.0, 2);
    push (noise (10000, 29u));
    std::vector<double> before;
    for (const auto& p : s.points)
        before.push_back (p.db);

    s.sizeIndex = 0;
    s.windowType = tl::Spectrum::hann;
    s.buildWindow();

    ASSERT_EQ (s.points.size(), before.size());
    for (size_t j = 0; j < before.size(); ++j)
        ASSERT_EQ (s.points[j].db, before[j]) << "point " << j;

    EXPECT_EQ (s.window.size(), 1024u);
    EXPECT_EQ (s.window.front(), 0.0);     // Hann, not the former Blackman-Harris
    EXPECT_EQ (s.frame.size(), 1024u);
    EXPECT_EQ (s.fft.size, 1024);
    EXPECT_EQ (s.levelsDb, std::vector<double> (512, kFloorDb));
}

TEST_F (SpectrumTest, LargerFrameAfterResizeUsesHistoryAlreadyInTheRing)
{
    // The ring always keeps the largest frame, so raising the resolution needs no new history:
    // a quarter frame after switching to N = 8192 the whole frame is the sine.
    configure (48000.0, 0);
    const auto x = tltest::sine<float> (8192 + 2048, kBinCentreHz, 48000.0);     // bin 512 at N = 8192
    s.push (x.data(), 8192);

    s.sizeIndex = 3;
    s.buildWindow();
    s.push (x.data() + 8192, 2048);

    EXPECT_NEAR (s.levelsDb[512], 0.0, 0.01);
    EXPECT_LT (s.levelsDb[400], -90.0);
}

} // namespace
