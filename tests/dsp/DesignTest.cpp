#include "dsp/Design.h"

#include "DspTestUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

namespace
{
using tltest::makeBand;
using tltest::pi;

// |P(e^jw)|² of a quadratic p0 + p1 z^-1 + p2 z^-2, written in φ = sin²(w/2) and evaluated in
// extended precision, so that the measurement stays well below the design's own rounding even
// for poles close to the unit circle at low frequencies.
long double squaredMagnitude (long double p0, long double p1, long double p2, long double phi)
{
    const long double sum = p0 + p1 + p2;
    return sum * sum - 4.0L * (p0 * p1 + 4.0L * p0 * p2 + p1 * p2) * phi + 16.0L * p0 * p2 * phi * phi;
}

double sectionMagDb (const tl::Biquad& s, double frequency, double fs)
{
    const long double phi = std::pow (std::sin (3.141592653589793238462643L * frequency / fs), 2.0L);
    return (double) (10.0L * std::log10 (squaredMagnitude (s.b0, s.b1, s.b2, phi) / squaredMagnitude (1.0L, s.a1, s.a2, phi)));
}

double cascadeMagDb (const tl::Cascade& c, double frequency, double fs)
{
    double db = 0.0;
    for (int i = 0; i < c.count; ++i)
        db += sectionMagDb (c.sections[(size_t) i], frequency, fs);
    return db;
}

std::complex<double> response (const tl::Cascade& c, double frequency, double fs)
{
    const auto z1 = std::polar (1.0, -2.0 * pi * frequency / fs);
    std::complex<double> h = 1.0;
    for (int i = 0; i < c.count; ++i)
    {
        const auto& s = c.sections[(size_t) i];
        h *= (s.b0 + z1 * (s.b1 + z1 * s.b2)) / (1.0 + z1 * (s.a1 + z1 * s.a2));
    }
    return h;
}

void expectSameCascade (const tl::Cascade& a, const tl::Cascade& b)
{
    ASSERT_EQ (a.count, b.count);
    for (int i = 0; i < a.count; ++i)
    {
        const auto& x = a.sections[(size_t) i];
        const auto& y = b.sections[(size_t) i];
        EXPECT_DOUBLE_EQ (x.b0, y.b0);
        EXPECT_DOUBLE_EQ (x.b1, y.b1);
        EXPECT_DOUBLE_EQ (x.b2, y.b2);
        EXPECT_DOUBLE_EQ (x.a1, y.a1);
        EXPECT_DOUBLE_EQ (x.a2, y.a2);
    }
}

constexpr double kMatchToleranceDb = 1e-6;
const std::vector<double> kSampleRates { 44100.0, 48000.0, 96000.0, 192000.0 };

// Band frequencies across the range, the highest legal one and one above the 0.49·fs clamp.
std::vector<double> bandFrequencies (double fs)
{
    return { 10.0, 31.5, 100.0, 1000.0, 5000.0, 15000.0, 0.49 * fs, 0.7 * fs };
}

// The analogue reference a design must meet: the band as design() sees it after clamping.
tl::Band clampedForDesign (tl::Band band, double fs)
{
    band.freq = std::clamp (band.freq, 1.0, 0.49 * fs);
    return band;
}

std::string describe (const tl::Band& b, double fs)
{
    return "type " + std::to_string (b.type) + " f0 " + std::to_string (b.freq) + " gain " + std::to_string (b.gain)
         + " q " + std::to_string (b.q) + " slope " + std::to_string (b.slope) + " fs " + std::to_string (fs);
}

void expectMatchesAnalogue (const tl::Band& band, double fs, double frequency, double toleranceDb = kMatchToleranceDb)
{
    const auto c = tl::design (band, fs);
    const auto reference = clampedForDesign (band, fs);
    EXPECT_NEAR (cascadeMagDb (c, frequency, fs), tl::analogMagDb (reference, frequency), toleranceDb)
        << describe (band, fs) << " at " << frequency << " Hz";
}
} // namespace

//==============================================================================
TEST (Design, GainTypesMatchTheirPrototypeAtDcNyquistAndMatchPoint)
{
    for (double fs : kSampleRates)
        for (double f0 : bandFrequencies (fs))
            for (double gain : { -18.0, -3.0, 0.5, 6.0, 24.0 })
                for (double q : { 0.1, 0.71, 1.0, 4.0 })
                    for (int type : { tl::Bell, tl::LowShelf, tl::HighShelf, tl::Tilt })
                    {
                        const auto band = makeBand (type, f0, gain, q);
                        const double fc = clampedForDesign (band, fs).freq;
                        expectMatchesAnalogue (band, fs, 0.0);
                        expectMatchesAnalogue (band, fs, fs / 2.0);

                        if (type == tl::Bell || type == tl::Tilt)
                        {
                            expectMatchesAnalogue (band, fs, fc);
                        }
                        else
                        {
                            // Shelves match at the knee f0·10^(|gain|/80) while it lies below fs/4.
                            const double knee = fc * std::pow (10.0, std::abs (gain) / 80.0);
                            expectMatchesAnalogue (band, fs, knee < fs / 4.0 ? knee : fc);
                        }
                    }
}

TEST (Design, NarrowBellsAtLowFrequenciesStayWithinRounding)
{
    // A pole pair this close to the unit circle costs the matched formulas some digits in double
    // precision; the worst case in range (Q 40 at 10 Hz) stays near 5e-4 dB, far below audibility.
    for (double fs : kSampleRates)
        for (double f0 : { 10.0, 31.5, 100.0, 1000.0 })
            for (double gain : { -18.0, 6.0 })
                for (double q : { 12.0, 40.0 })
                {
                    const auto band = makeBand (tl::Bell, f0, gain, q);
                    for (double f : { 0.0, f0, fs / 2.0 })
                        expectMatchesAnalogue (band, fs, f, f0 <= 100.0 ? 1e-3 : kMatchToleranceDb);
                }
}

TEST (Design, CutsMatchButterworthWhereTheyMust)
{
    for (double fs : kSampleRates)
        for (double f0 : bandFrequencies (fs))
            for (int slope : tl::kSlopes)
            {
                const auto highCut = makeBand (tl::HighCut, f0, 0.0, 1.0, tl::Stereo, slope);
                const double fc = clampedForDesign (highCut, fs).freq;
                expectMatchesAnalogue (highCut, fs, 0.0);
                expectMatchesAnalogue (highCut, fs, fs / 2.0);
                expectMatchesAnalogue (highCut, fs, fc);

                // Low cuts put a zero at DC and match Nyquist only.
                const auto lowCut = makeBand (tl::LowCut, f0, 0.0, 1.0, tl::Stereo, slope);
                expectMatchesAnalogue (lowCut, fs, fs / 2.0);
                EXPECT_EQ (std::abs (response (tl::design (lowCut, fs), 0.0, fs)), 0.0) << describe (lowCut, fs);
            }
}

TEST (Design, LowCutSecondOrderSectionIsCloseToButterworthAtItsCorner)
{
    const auto band = makeBand (tl::LowCut, 5000.0, 0.0, 1.0, tl::Stereo, 12);
    EXPECT_NEAR (cascadeMagDb (tl::design (band, 48000.0), 5000.0, 48000.0), -3.003, 1e-3);
    EXPECT_NEAR (tl::analogMagDb (band, 5000.0), -3.010, 1e-3);
}

TEST (Design, NotchHasUnityDcAndZerosOnTheUnitCircleAtF0)
{
    // Only DC and the zeros are placed; at Nyquist the section departs from the analogue notch.
    // The depth at f0 is limited by rounding of the coefficients (below -120 dB).
    for (double fs : kSampleRates)
        for (double f0 : bandFrequencies (fs))
            for (double q : { 0.1, 1.0, 40.0 })
            {
                const auto band = makeBand (tl::Notch, f0, 0.0, q);
                const auto c = tl::design (band, fs);
                ASSERT_EQ (c.count, 1);
                EXPECT_NEAR (cascadeMagDb (c, 0.0, fs), 0.0, kMatchToleranceDb) << describe (band, fs);
                EXPECT_LT (std::abs (response (c, clampedForDesign (band, fs).freq, fs)), 1e-6) << describe (band, fs);
            }
}

TEST (Design, CutAndBoostOfTheSameBellCancel)
{
    for (double fs : kSampleRates)
        for (double gain : { 0.1, 6.0, 30.0 })
            for (double q : { 0.3, 1.0, 12.0 })
            {
                const auto boost = tl::design (makeBand (tl::Bell, 2000.0, gain, q), fs);
                const auto cut = tl::design (makeBand (tl::Bell, 2000.0, -gain, q), fs);

                for (double f : { 0.0, 50.0, 2000.0, 9000.0, fs / 2.0 })
                    EXPECT_NEAR (std::abs (response (boost, f, fs) * response (cut, f, fs)), 1.0, 1e-9);
            }
}

TEST (Design, CutSectionCountsFollowTheSlope)
{
    const int expected[] = { 1, 1, 2, 2, 3, 4 };

    for (size_t i = 0; i < tl::kSlopes.size(); ++i)
        for (int type : { tl::LowCut, tl::HighCut })
        {
            const int slope = tl::kSlopes[i];
            const auto c = tl::design (makeBand (type, 1000.0, 0.0, 1.0, tl::Stereo, slope), 48000.0);
            ASSERT_EQ (c.count, expected[i]) << "slope " << slope;

            // Odd Butterworth orders end in one first-order section, and only there.
            const bool oddOrder = (slope / 6) % 2 != 0;
            for (int s = 0; s < c.count; ++s)
            {
                const bool firstOrder = c.sections[(size_t) s].a2 == 0.0 && c.sections[(size_t) s].b2 == 0.0;
                EXPECT_EQ (firstOrder, oddOrder && s == c.count - 1) << "slope " << slope << " section " << s;
            }
        }
}

TEST (Design, GainlessAndUnknownBandsAreIdentity)
{
    for (int type : { tl::Bell, tl::LowShelf, tl::HighShelf, tl::Tilt })
        EXPECT_EQ (tl::design (makeBand (type, 1000.0, 0.0), 48000.0).count, 0) << "type " << type;

    EXPECT_EQ (tl::design (makeBand (7, 1000.0, 6.0), 48000.0).count, 0);
    EXPECT_EQ (tl::design (makeBand (-1, 1000.0, 6.0), 48000.0).count, 0);
    EXPECT_EQ (tl::analogMagDb (makeBand (7, 1000.0, 6.0), 500.0), 0.0);

    // The notch ignores gain.
    expectSameCascade (tl::design (makeBand (tl::Notch, 1000.0, 12.0, 3.0), 48000.0),
                       tl::design (makeBand (tl::Notch, 1000.0, 0.0, 3.0), 48000.0));
}

TEST (Design, FrequencyAndQAreClamped)
{
    // Far below 10 Hz the matched design loses precision, so the 1 Hz floor is checked on the
    // coefficients rather than on the response.
    for (int type = tl::Bell; type <= tl::Notch; ++type)
    {
        expectSameCascade (tl::design (makeBand (type, 0.5, 6.0, 1.0, tl::Stereo, 36), 96000.0),
                           tl::design (makeBand (type, 1.0, 6.0, 1.0, tl::Stereo, 36), 96000.0));
        expectSameCascade (tl::design (makeBand (type, 30000.0, 6.0, 1.0, tl::Stereo, 36), 44100.0),
                           tl::design (makeBand (type, 21609.0, 6.0, 1.0, tl::Stereo, 36), 44100.0));
        expectSameCascade (tl::design (makeBand (type, 1000.0, 6.0, 0.01), 48000.0),
                           tl::design (makeBand (type, 1000.0, 6.0, 0.1), 48000.0));
    }

    for (int type : { tl::LowShelf, tl::HighShelf })
        expectSameCascade (tl::design (makeBand (type, 1000.0, 6.0, 5.0), 48000.0),
                           tl::design (makeBand (type, 1000.0, 6.0, 2.0), 48000.0));

    for (int type : { tl::Bell, tl::Notch })
        expectSameCascade (tl::design (makeBand (type, 1000.0, 6.0, 100.0), 48000.0),
                           tl::design (makeBand (type, 1000.0, 6.0, 40.0), 48000.0));

    // The analogue curve clamps Q the same way and counts a band below 1 Hz as 1 Hz.
    EXPECT_DOUBLE_EQ (tl::analogMagDb (makeBand (tl::LowShelf, 1000.0, 6.0, 5.0), 800.0),
                      tl::analogMagDb (makeBand (tl::LowShelf, 1000.0, 6.0, 2.0), 800.0));
    EXPECT_DOUBLE_EQ (tl::analogMagDb (makeBand (tl::Bell, 0.5, 6.0), 3.0),
                      tl::analogMagDb (makeBand (tl::Bell, 1.0, 6.0), 3.0));
}

TEST (Design, LowShelfMatchPointMovesToF0NearNyquist)
{
    const double fs = 48000.0;
    const double r = std::pow (10.0, 12.0 / 80.0);

    // Knee below fs/4: matched at f0·r (and therefore not exactly at f0).
    const auto low = makeBand (tl::LowShelf, fs / 4.0 / r - 100.0, 12.0, 0.7);
    EXPECT_NEAR (cascadeMagDb (tl::design (low, fs), low.freq * r, fs), tl::analogMagDb (low, low.freq * r), kMatchToleranceDb);

    // Knee above fs/4: matched at f0.
    const auto high = makeBand (tl::LowShelf, fs / 4.0 / r + 100.0, 12.0, 0.7);
    EXPECT_NEAR (cascadeMagDb (tl::design (high, fs), high.freq, fs), tl::analogMagDb (high, high.freq), kMatchToleranceDb);
}

//==============================================================================
TEST (AnalogMagDb, StatedValues)
{
    struct Case { tl::Band band; double frequency; double expectedDb; double tolerance; };

    const Case cases[] = {
        { makeBand (tl::Tilt, 1000.0, 6.0), 0.01, -3.0, 1e-6 },
        { makeBand (tl::Tilt, 1000.0, 6.0), 1000.0, 0.0, 1e-12 },
        { makeBand (tl::Tilt, 1000.0, 6.0), 1e8, 3.0, 1e-6 },
        { makeBand (tl::Tilt, 1000.0, -6.0), 0.01, 3.0, 1e-6 },
        { makeBand (tl::HighShelf, 1000.0, 6.0), 0.01, 0.0, 1e-6 },
        { makeBand (tl::HighShelf, 1000.0, 6.0), 1e8, 6.0, 1e-6 },
        { makeBand (tl::LowShelf, 1000.0, -9.0), 0.01, -9.0, 1e-6 },
        { makeBand (tl::Bell, 1000.0, 7.5, 3.0), 1000.0, 7.5, 1e-12 },
        { makeBand (tl::Bell, 1000.0, -7.5, 3.0), 1000.0, -7.5, 1e-12 },
        { makeBand (tl::Notch, 1000.0, 0.0, 2.0), 1000.0, -300.0, 1e-9 },
        { makeBand (tl::HighCut, 1000.0, 0.0, 1.0, tl::Stereo, 48), 1000.0, -3.0103, 1e-4 },
        { makeBand (tl::HighCut, 1000.0, 0.0, 1.0, tl::Stereo, 48), 2000.0, -48.165, 1e-3 },
        { makeBand (tl::LowCut, 1000.0, 0.0, 1.0, tl::Stereo, 12), 500.0, -12.304, 1e-3 },
    };

    for (const auto& c : cases)
        EXPECT_NEAR (tl::analogMagDb (c.band, c.frequency), c.expectedDb, c.tolerance) << describe (c.band, 0.0) << " at " << c.frequency;
}
