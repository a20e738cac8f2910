#include "dsp/LevelMatch.h"

#include <algorithm>

namespace tl
{

void LevelMatch::prepare (double sampleRate) noexcept
{
    // K-weighting of loudness measurement: a +4 dB high shelf near 1.7 kHz, then a high pass
    // at 38 Hz, as tabled for loudness metering.
    {
        const double K = std::tan (5284.078578647628 / sampleRate);
        const double Q = 0.7071752369554196;
        const double Vh = 1.5848647011308556;
        const double Vb = 1.2587209302325617;
        const double a0 = 1.0 + K / Q + K * K;
        shelfSection = { (Vh + Vb * K / Q + K * K) / a0, 2.0 * (K * K - Vh) / a0, (Vh - Vb * K / Q + K * K) / a0,
                         2.0 * (K * K - 1.0) / a0, (1.0 - K / Q + K * K) / a0 };
    }
    {
        const double K = std::tan (119.8061151453059 / sampleRate);
        const double Q = 0.5003270373238773;
        const double a0 = 1.0 + K / Q + K * K;
        highPassSection = { 1.0, -2.0, 1.0, 2.0 * (K * K - 1.0) / a0, (1.0 - K / Q + K * K) / a0 };
    }

    powerCoeff = std::exp (-1.0 / (1.5 * sampleRate));
    diffCoeff = std::exp (-double (kUpdatePeriod) / (0.4 * sampleRate));

    startMeasuring();
    matchDb = 0.0;
    gainFrom = gainTo = 1.0;
    counter = 0;
    measuring = false;
}

void LevelMatch::startMeasuring() noexcept
{
    measuring = true;

    for (auto* filters : { dryFilters, wetFilters })
        for (int ch = 0; ch < 2; ++ch)
            filters[ch] = {};

    dryPower = wetPower = 0.0;
}

void LevelMatch::updateMeasured() noexcept
{
    // Silence on either side freezes the correction rather than driving it to a limit.
    if (dryPower > 1e-8 && wetPower > 1e-12)
    {
        const double diff = std::clamp (10.0 * std::log10 (dryPower / wetPower), -kLimitDb, kLimitDb);
        matchDb = diff + (matchDb - diff) * diffCoeff;

        if (diff == 0.0 && std::abs (matchDb) < 0.0001)
            matchDb = 0.0;
    }

    moveGainTo (matchDb);
}

void LevelMatch::updateDecaying() noexcept
{
    matchDb *= diffCoeff;

    if (std::abs (matchDb) < 0.0001)
        matchDb = 0.0;

    moveGainTo (matchDb);
}

void LevelMatch::moveGainTo (double db) noexcept
{
    gainFrom = gainTo;
    gainTo = db == 0.0 ? 1.0 : std::pow (10.0, db / 20.0);
}

} // namespace tl
