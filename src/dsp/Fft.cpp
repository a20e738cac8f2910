#include "dsp/Fft.h"

#include <cmath>
#include <utility>

namespace tl
{

void Fft::prepare (int n)
{
    size = n;
    log2Size = 0;
    if (n > 1)
        while ((1 << log2Size) < n)
            ++log2Size;

    bitReverse.assign ((size_t) n, 0);
    for (int i = 0; i < n; ++i)
    {
        int reversed = 0;
        for (int bit = 0; bit < log2Size; ++bit)
            reversed |= ((i >> bit) & 1) << (log2Size - 1 - bit);
        bitReverse[(size_t) i] = reversed;
    }

    twiddles.resize ((size_t) (n / 2));
    const double pi = 3.14159265358979323846;
    for (int k = 0; k < n / 2; ++k)
        twiddles[(size_t) k] = { std::cos (-2.0 * pi * k / n), std::sin (-2.0 * pi * k / n) };
}

void Fft::transform (std::complex<double>* x, bool inverseDirection) const noexcept
{
    const int n = size;

    for (int i = 0; i < n; ++i)
        if (i < bitReverse[(size_t) i])
            std::swap (x[i], x[bitReverse[(size_t) i]]);

    for (int len = 2; len <= n; len <<= 1)
    {
        const int half = len / 2;
        const int stride = n / len;

        for (int g = 0; g < n; g += len)
        {
            for (int k = 0; k < half; ++k)
            {
                const auto& tw = twiddles[(size_t) (k * stride)];
                const std::complex<double> w = inverseDirection ? std::conj (tw) : tw;
                auto& a = x[g + k];
                auto& b = x[g + k + half];
                // Written out: std::complex multiplication checks for NaN and infinities.
                const std::complex<double> t { w.real() * b.real() - w.imag() * b.imag(),
                                               w.real() * b.imag() + w.imag() * b.real() };
                b = a - t;
                a = a + t;
            }
        }
    }
}

} // namespace tl
