#pragma once

#include "dsp/Fft.h"

#include <array>
#include <complex>
#include <cstdint>
#include <vector>

namespace tl
{

/** A sliding spectrum for display: windowed FFT every quarter frame (75 % overlap), levels in
    dB where a full-scale sine reads 0 dB, picked onto logarithmic display points whose values
    rise at once and fall at a chosen speed.
*/
class Spectrum
{
public:
    static constexpr std::array<std::int32_t, 4> kSizes { 1024, 2048, 4096, 8192 };
    static constexpr std::array<double, 5> kFallDbPerSec { 6.0, 12.0, 24.0, 48.0, 96.0 };
    static constexpr int kRingSize = 8192;

    enum Window : std::int32_t { blackmanHarris, flatTop, hann, kaiser4, kaiser8, kaiser12 };

    struct DisplayPoint
    {
        double freq, lo, hi;     // centre and band edges, Hz
        double db;               // displayed level
    };

    /** Starts afresh at a sample rate (0 or less counts as 48 kHz): an empty history and the
        240 display points, 24 per octave from 20 Hz, at -200 dB. */
    void setUp (double newSampleRate);

    /** Rebuilds the window and FFT tables after a change of `windowType` or `sizeIndex`; the
        display points keep their values. */
    void buildWindow();

    /** Feeds samples; analyses every quarter frame. Allocates nothing. */
    void push (const float* samples, int n) noexcept;

    double sampleRate = 48000.0;
    std::int32_t windowType = blackmanHarris;
    std::int32_t sizeIndex = 2;
    std::int32_t speedIndex = 2;
    std::vector<float> ring = std::vector<float> (kRingSize, 0.0f);
    std::int32_t writePos = 0;
    std::int32_t hop = 0;
    std::vector<double> window;
    std::vector<double> levelsDb;
    double norm = 0.0;
    std::vector<std::complex<double>> frame;
    Fft fft;
    std::vector<DisplayPoint> points;

private:
    void analyse() noexcept;
    int frameSize() const noexcept { return kSizes[(size_t) sizeIndex]; }
};

} // namespace tl
