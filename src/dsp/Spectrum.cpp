#include "dsp/Spectrum.h"

#include <algorithm>
#include <cmath>

namespace tl
{

namespace
{
    constexpr double pi = 3.14159265358979323846;

    // Zeroth-order modified Bessel function of the first kind, by its power series.
    double besselI0 (double z)
    {
        double term = 1.0, sum = 1.0;
        for (int k = 1; k <= 49; ++k)
        {
            const double ratio = z / (2.0 * k);
            term *= ratio * ratio;
            sum += term;
        }
        return sum;
    }

    double windowValue (std::int32_t type, int i, int n)
    {
        const double x = 2.0 * pi * i / (n - 1);

        switch (type)
        {
            case Spectrum::blackmanHarris:
                return 0.35875 - 0.48829 * std::cos (x) + 0.14128 * std::cos (2.0 * x) - 0.01168 * std::cos (3.0 * x);
            case Spectrum::flatTop:
                return 0.21557895 - 0.41663158 * std::cos (x) + 0.277263158 * std::cos (2.0 * x)
                     - 0.083578947 * std::cos (3.0 * x) + 0.006947368 * std::cos (4.0 * x);
            case Spectrum::hann:
                return 0.5 - 0.5 * std::cos (x);
            case Spectrum::kaiser4:
            case Spectrum::kaiser8:
            case Spectrum::kaiser12:
            {
                const double beta = type == Spectrum::kaiser4 ? 4.0 : type == Spectrum::kaiser8 ? 8.0 : 12.0;
                const double t = 2.0 * i / (n - 1) - 1.0;
                const double r = 1.0 - t * t > 0.0 ? std::sqrt (1.0 - t * t) : 0.0;
                return besselI0 (beta * r) / besselI0 (beta);
            }
            default:
                return 0.0;
        }
    }
} // namespace

void Spectrum::setUp (double newSampleRate)
{
    sampleRate = newSampleRate > 0.0 ? newSampleRate : 48000.0;
    std::fill (ring.begin(), ring.end(), 0.0f);
    writePos = hop = 0;

    points.clear();
    double freq = 20.0;
    for (int j = 0; j < 240; ++j)
    {
        points.push_back ({ freq, freq * 0.9856631986401876, freq * 1.0145453349375237, -200.0 });
        freq *= 1.029302236643492;
    }

    buildWindow();
}

void Spectrum::buildWindow()
{
    const int n = frameSize();
    window.resize ((size_t) n);

    double sum = 0.0;
    for (int i = 0; i < n; ++i)
        sum += window[(size_t) i] = windowValue (windowType, i, n);

    norm = 2.0 / sum;
    frame.assign ((size_t) n, {});
    fft.prepare (n);
    levelsDb.assign ((size_t) (n / 2), -200.0);
}

void Spectrum::push (const float* samples, int n) noexcept
{
    const int quarter = frameSize() / 4;

    for (int i = 0; i < n; ++i)
    {
        ring[(size_t) writePos] = samples[i];
        writePos = (writePos + 1) % kRingSize;

        if (++hop >= quarter)
        {
            hop = 0;
            analyse();
        }
    }
}

void Spectrum::analyse() noexcept
{
    const int n = frameSize();
    const int half = n / 2;

    for (int m = 0; m < n; ++m)
        frame[(size_t) m] = { ring[(size_t) ((writePos - n + m + kRingSize) % kRingSize)] * window[(size_t) m], 0.0 };

    fft.forward (frame.data());

    for (int k = 1; k < half; ++k)
    {
        const auto& bin = frame[(size_t) k];
        const double p = (bin.real() * bin.real() + bin.imag() * bin.imag()) * norm * norm;
        levelsDb[(size_t) k] = 10.0 * std::log10 (std::max (p, 1e-20));
    }

    const double binWidth = sampleRate / n;
    const double fall = (n / 4) * kFallDbPerSec[(size_t) speedIndex] / sampleRate;

    for (auto& point : points)
    {
        const double a = point.lo / binWidth;
        const double b = point.hi / binWidth;
        double level = -200.0;

        if (b - a >= 1.0)
        {
            // Wide point: the loudest bin within its band.
            const int first = std::clamp ((int) std::ceil (a), 1, half - 1);
            int last = (int) std::floor (b);
            last = last < first ? first : std::min (last, half - 1);

            for (int k = first; k <= last; ++k)
                level = std::max (level, levelsDb[(size_t) k]);
        }
        else
        {
            // Narrow point: interpolated between the two nearest bins.
            const double x = point.freq / binWidth;

            if (x < 1.0)
                level = levelsDb[1];
            else if (x > half - 2)
                level = levelsDb[(size_t) (half - 2)];
            else
            {
                const int i = (int) x;
                const double f = x - i;
                level = levelsDb[(size_t) i] + (levelsDb[(size_t) (i + 1)] - levelsDb[(size_t) i]) * f;
            }
        }

        point.db = std::max (point.db - fall, level);
    }
}

} // namespace tl
