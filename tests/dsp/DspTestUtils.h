#pragma once

// Helpers shared by the DSP test files.

#include "dsp/Tirel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tltest
{
constexpr double pi = 3.14159265358979323846;
constexpr double kFs = 48000.0;     // the rate tests run at unless they say otherwise

inline tl::Band makeBand (int type, double freq, double gain = 0.0, double q = 1.0, int ch = tl::Stereo, int slope = 24)
{
    tl::Band b;
    b.on = true;
    b.type = type;
    b.freq = freq;
    b.gain = gain;
    b.q = q;
    b.slope = slope;
    b.ch = ch;
    return b;
}

inline tl::Band switchedOff (tl::Band b)
{
    b.on = false;
    return b;
}

// All bands off and level match off: level match would rescale the wet signal, so whatever a
// test switches on is all that acts.
inline tl::Settings filtersOnly()
{
    tl::Settings s;
    s.match = false;
    return s;
}

// As the processor prepares: the engine, then the settings once; every block then takes the
// settings again before its audio.
inline void start (tl::Tirel& engine, const tl::Settings& s, double fs = kFs)
{
    engine.prepare (fs);
    engine.set (s);
}

// What the processor does for each host block: the settings snapshot first, then the audio.
// `right` is null for a mono stream.
inline void play (tl::Tirel& engine, const tl::Settings& s, double* left, double* right, int n, int block = 512)
{
    for (int done = 0; done < n; done += block)
    {
        engine.set (s);
        const int k = std::min (block, n - done);
        engine.process (left + done, right != nullptr ? right + done : nullptr, k);
    }
}

// Repeatable white noise in [-1, 1), the same on every platform (unlike <random>'s distributions).
class Noise
{
public:
    explicit Noise (std::uint32_t seed) : state (seed) {}

    double next()
    {
        state = state * 1664525u + 1013904223u;
        return (double) (state >> 8) / 8388608.0 - 1.0;
    }

private:
    std::uint32_t state;
};

inline std::vector<double> noise (int n, std::uint32_t seed, double amplitude = 0.25)
{
    Noise g (seed);
    std::vector<double> x ((size_t) n);
    for (auto& v : x)
        v = amplitude * g.next();
    return x;
}

template <typename Sample = double>
std::vector<Sample> sine (int n, double freq, double fs, double amplitude = 1.0, double phase = 0.0)
{
    std::vector<Sample> x ((size_t) n);
    for (int i = 0; i < n; ++i)
        x[(size_t) i] = (Sample) (amplitude * std::sin (2.0 * pi * freq * i / fs + phase));
    return x;
}

inline double rms (const std::vector<double>& x, int begin, int end)
{
    double sum = 0.0;
    for (int i = begin; i < end; ++i)
        sum += x[(size_t) i] * x[(size_t) i];
    return std::sqrt (sum / (end - begin));
}

// Bit for bit over [begin, end); a failure names the first differing sample by its index.
inline ::testing::AssertionResult sameSamples (const double* actual, const double* expected, int begin, int end)
{
    for (int i = begin; i < end; ++i)
        if (! (actual[i] == expected[i]))
            return ::testing::AssertionFailure() << "sample " << i << " is " << actual[i] << " instead of " << expected[i];
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult sameSamples (const double* actual, const double* expected, int n)
{
    return sameSamples (actual, expected, 0, n);
}

inline ::testing::AssertionResult sameSamples (const std::vector<double>& actual, const std::vector<double>& expected,
                                               int begin, int end)
{
    return sameSamples (actual.data(), expected.data(), begin, end);
}

inline ::testing::AssertionResult sameSamples (const std::vector<double>& actual, const std::vector<double>& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "lengths differ";
    return sameSamples (actual.data(), expected.data(), 0, (int) actual.size());
}
} // namespace tltest
