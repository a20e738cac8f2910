#pragma once

#include <complex>
#include <cstdint>
#include <vector>

namespace tl
{

/** Radix-2 complex FFT, in place, unscaled in both directions (callers of the inverse
    multiply by 1/size). Tables are built by `prepare`; the transforms allocate nothing.
*/
class Fft
{
public:
    /** Builds the tables for a power-of-two size. */
    void prepare (int n);

    void forward (std::complex<double>* x) const noexcept { transform (x, false); }
    void inverse (std::complex<double>* x) const noexcept { transform (x, true); }

    std::int32_t size = 0;
    std::int32_t log2Size = 0;
    std::vector<std::int32_t> bitReverse;
    std::vector<std::complex<double>> twiddles;     // e^(-2πik/size), k < size/2

private:
    void transform (std::complex<double>* x, bool inverseDirection) const noexcept;
};

} // namespace tl
