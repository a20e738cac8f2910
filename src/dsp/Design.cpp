#include "dsp/Design.h"

#include <algorithm>
#include <cmath>

namespace tl
{

namespace
{
    constexpr double pi = 3.14159265358979323846;

    inline double square (double x) noexcept { return x * x; }

    // Linear amplitude of half the band's gain in dB, 10^(|gain|/40): squared it is the full gain.
    double halfGainAmplitude (const Band& band) noexcept
    {
        return std::pow (10.0, std::abs (band.gain) / 40.0);
    }

    // Butterworth order of a cut slope in dB/oct.
    int butterworthOrder (std::int32_t slope) noexcept
    {
        if (slope < 6)  return 1;
        if (slope < 54) return slope / 6;
        return 8;
    }

    // The low-shelf prototype's squared magnitude at analogue frequency squared x, without the
    // outer gain factor.
    double shelfRatio (double A, double q, double x) noexcept
    {
        const double damping = A * x / (q * q);
        return (square (A - x) + damping) / (square (1.0 - A * x) + damping);
    }

    Cascade single (const Biquad& section) noexcept
    {
        Cascade c;
        c.sections[0] = section;
        c.count = 1;
        return c;
    }

    Cascade designBell (const Band& band, double A, double h, double q, double w0) noexcept
    {
        double a1, a2;
        detail::poles (w0, A * q, a1, a2);

        const double hh = square (1.0 - h * h);
        const double nyquist = (square (A * h / q) + hh) / (square (h / (A * q)) + hh);
        const auto boost = detail::matched (a1, a2, 1.0, nyquist, square (A * A), w0);
        return single (band.gain < 0.0 ? boost.inverse() : boost);
    }

    Cascade designShelf (const Band& band, double fs, double f0, double A, double h, double q, double w0) noexcept
    {
        const double G = A * A;
        const double r = std::sqrt (A);

        double a1, a2;
        detail::poles (w0 / r, q, a1, a2);

        // The knee frequency f0·√A when it lies well below Nyquist, otherwise f0 itself.
        const bool matchAtKnee = f0 * r < fs / 4.0;
        const double w = matchAtKnee ? w0 * r : w0;
        const double t = matchAtKnee ? A : 1.0;

        const auto s = detail::matched (a1, a2, G * G, G * shelfRatio (A, q, h * h), G * shelfRatio (A, q, t), w);

        if (band.type == LowShelf)
            return single (band.gain > 0.0 ? s : s.inverse());

        if (band.gain > 0.0)
            return single ({ G / s.b0, G * s.a1 / s.b0, G * s.a2 / s.b0, s.b1 / s.b0, s.b2 / s.b0 });

        return single ({ s.b0 / G, s.b1 / G, s.b2 / G, s.a1, s.a2 });
    }

    Cascade designTilt (const Band& band, double A, double h, double w0) noexcept
    {
        const double G = A * A;
        const double at = (1.0 / G + 1.0) * G / (G + 1.0);
        const auto s = detail::firstOrder (G, (h * h + G) / (G * h * h + 1.0), at, w0);
        return single (band.gain > 0.0 ? s.inverse() : s);
    }

    Cascade designCut (const Band& band, double h, double w0) noexcept
    {
        const bool highCut = band.type == HighCut;
        const int slope = band.slope;

        int order = 1, secondOrderCount = 0;

        if (slope > 53)
        {
            order = 8;
            secondOrderCount = 4;
        }
        else if (slope >= 6)
        {
            order = slope / 6;
            secondOrderCount = slope / 12;
        }

        const bool firstOrderNeeded = (order % 2) != 0;
        const double h2 = h * h;

        Cascade c;

        for (int k = 0; k < secondOrderCount; ++k)
        {
            const double u = std::sin ((2.0 * k + 1.0) * pi / (2.0 * order));
            const double qk = 1.0 / (2.0 * u);

            double a1, a2;
            detail::poles (w0, qk, a1, a2);
            const double atNyquist = 1.0 / (square (1.0 - h2) + square (h / qk));

            if (highCut)
            {
                c.sections[(size_t) k] = detail::matched (a1, a2, 1.0, atNyquist, qk * qk, w0);
            }
            else
            {
                // A double zero at DC; only the Nyquist magnitude is matched.
                const double g = std::sqrt (square (1.0 - a1 + a2) * h2 * h2 * atNyquist);
                c.sections[(size_t) k] = { g / 4.0, -g / 2.0, g / 4.0, a1, a2 };
            }
        }

        c.count = secondOrderCount;

        if (firstOrderNeeded)
        {
            const double t = 1.0 / (h2 + 1.0);
            c.sections[(size_t) c.count++] = highCut ? detail::firstOrder (1.0, t, 0.5, w0)
                                                     : detail::firstOrder (0.0, h2 * t, 0.5, w0);
        }

        return c;
    }

    Cascade designNotch (double q, double w0) noexcept
    {
        double a1, a2;
        detail::poles (w0, q, a1, a2);
        const double c = std::cos (w0);
        const double t = (1.0 + a1 + a2) / (2.0 - 2.0 * c);
        return single ({ t, -2.0 * c * t, t, a1, a2 });
    }
} // namespace

double clampedQ (const Band& band) noexcept
{
    return std::clamp (band.q, 0.1, (band.type == LowShelf || band.type == HighShelf) ? 2.0 : 40.0);
}

namespace detail
{
    void poles (double w, double q, double& a1, double& a2) noexcept
    {
        const double zeta = 1.0 / (2.0 * q);
        const double r = std::exp (-zeta * w);
        a2 = r * r;
        a1 = zeta <= 1.0 ? -2.0 * r * std::cos (w * std::sqrt (1.0 - zeta * zeta))
                         : -2.0 * r * std::cosh (w * std::sqrt (zeta * zeta - 1.0));
    }

    Biquad matched (double a1, double a2, double dc, double nyquist, double at, double w) noexcept
    {
        const double phi1 = square (std::sin (w / 2.0));
        const double phi0 = 1.0 - phi1;
        const double phi2 = 4.0 * phi0 * phi1;

        const double A0 = square (1.0 + a1 + a2);
        const double A1 = square (1.0 - a1 + a2);
        const double A2 = -4.0 * a2;

        const double B0 = dc * A0;
        const double B1 = nyquist * A1;
        const double B2 = ((A0 * phi0 + A1 * phi1 + A2 * phi2) * at - B0 * phi0 - B1 * phi1) / phi2;

        const double rootB0 = std::sqrt (B0);
        const double rootB1 = std::sqrt (B1);
        const double W = (rootB0 + rootB1) / 2.0;
        const double R = W * W + B2;
        const double b0 = (W + (R > 0.0 ? std::sqrt (R) : 0.0)) / 2.0;

        return { b0, (rootB0 - rootB1) / 2.0, -B2 / (4.0 * b0), a1, a2 };
    }

    Biquad firstOrder (double dc, double nyquist, double at, double w) noexcept
    {
        const double phi = square (std::sin (w / 2.0));
        double x = (nyquist - at) * phi / ((at - dc) * (1.0 - phi));

        if (! (x > 1e-30))    // also catches NaN
            x = 1e-30;

        const double g = std::sqrt (x);
        const double a1 = (g - 1.0) / (g + 1.0);
        const double p = (1.0 + a1) * std::sqrt (dc);
        const double m = (1.0 - a1) * std::sqrt (nyquist);
        return { (p + m) / 2.0, (p - m) / 2.0, 0.0, a1, 0.0 };
    }
} // namespace detail

Cascade design (const Band& band, double sampleRate) noexcept
{
    if (band.type < Bell || band.type > Notch)
        return {};

    const double f0 = std::clamp (band.freq, 1.0, 0.49 * sampleRate);
    const double A = halfGainAmplitude (band);
    const double h = (sampleRate / 2.0) / f0;
    const double w0 = 2.0 * pi * f0 / sampleRate;
    const double q = clampedQ (band);

    switch (band.type)
    {
        case Bell:      return band.gain == 0.0 ? Cascade {} : designBell (band, A, h, q, w0);
        case LowShelf:
        case HighShelf: return band.gain == 0.0 ? Cascade {} : designShelf (band, sampleRate, f0, A, h, q, w0);
        case Tilt:      return band.gain == 0.0 ? Cascade {} : designTilt (band, A, h, w0);
        case LowCut:
        case HighCut:   return designCut (band, h, w0);
        case Notch:     return designNotch (q, w0);
        default:        return {};
    }
}

double analogPower (const Band& band, double frequency) noexcept
{
    const double omega = band.freq >= 1.0 ? frequency / band.freq : frequency;
    const double x = omega * omega;
    const double A = halfGainAmplitude (band);
    const double q = clampedQ (band);
    const bool cut = band.gain < 0.0;

    // Formulas give the boost; a cut is its inverse.
    const auto forGain = [cut] (double boost) { return cut ? 1.0 / boost : boost; };

    switch (band.type)
    {
        case Bell:
        {
            const double xx = square (1.0 - x);
            return forGain ((square (A * omega / q) + xx) / (square (omega / (A * q)) + xx));
        }
        case LowShelf:  return forGain (A * A * shelfRatio (A, q, x));
        case HighShelf: return forGain (square (A * A) / (A * A * shelfRatio (A, q, x)));
        case Tilt:      return forGain ((A * A * x + 1.0) / (x + A * A));
        case LowCut:
        case HighCut:
        {
            double p = 1.0;     // Ω^(2N)
            for (int i = butterworthOrder (band.slope); i > 0; --i)
                p *= x;
            return band.type == LowCut ? p / (p + 1.0) : 1.0 / (p + 1.0);
        }
        case Notch:
        {
            const double xx = square (1.0 - x);
            return std::max (1e-30, xx / (xx + x / (q * q)));
        }
        default:        return 1.0;
    }
}

double analogMagDb (const Band& band, double frequency) noexcept
{
    return 10.0 * std::log10 (analogPower (band, frequency));
}

} // namespace tl
