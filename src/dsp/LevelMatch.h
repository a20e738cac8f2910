#pragma once

#include "dsp/Section.h"

#include <cmath>
#include <cstdint>

namespace tl
{

/** Keeps the equalised signal as loud as the dry one: K-weighted mean squares of both sides
    (1.5 s), their difference limited to ±12 dB and smoothed (0.4 s), applied as a gain that
    moves linearly over 32-sample steps. Switched off, the correction decays to exactly 0 dB.
*/
class LevelMatch
{
public:
    static constexpr int kUpdatePeriod = 32;
    static constexpr double kLimitDb = 12.0;

    /** Designs the K-weighting for the rate and resets everything to 0 dB. */
    void prepare (double sampleRate) noexcept;

    /** One sample: measures (when on) and returns the gain for the wet samples of this instant. */
    double process (bool on, bool stereo, double dryL, double dryR, double wetL, double wetR) noexcept
    {
        if (on)
        {
            if (! measuring)
                startMeasuring();

            double d = square (weigh (dryFilters[0], dryL));
            double w = square (weigh (wetFilters[0], wetL));

            if (stereo)
            {
                d += square (weigh (dryFilters[1], dryR));
                w += square (weigh (wetFilters[1], wetR));
            }

            dryPower = d + (dryPower - d) * powerCoeff;
            wetPower = w + (wetPower - w) * powerCoeff;

            if (counter == 0)
                updateMeasured();
        }
        else
        {
            measuring = false;

            if (counter == 0)
                updateDecaying();
        }

        const int c = counter + 1;
        counter = c % kUpdatePeriod;

        if (gainFrom == gainTo)
            return gainTo;

        return gainFrom + (gainTo - gainFrom) * c / kUpdatePeriod;
    }

    /** Off, and nothing left to fade out: the stage may be skipped. */
    bool isSettled() const noexcept { return ! measuring && matchDb == 0.0 && gainFrom == 1.0 && gainTo == 1.0; }

    /** The smoothed correction in dB. */
    double correctionDb() const noexcept { return matchDb; }

private:
    struct KWeighting
    {
        SectionState shelf {}, highPass {};
    };

    static double square (double x) noexcept { return x * x; }

    double weigh (KWeighting& f, double x) noexcept
    {
        return runSection (highPassSection, f.highPass, runSection (shelfSection, f.shelf, x));
    }

    void startMeasuring() noexcept;
    void updateMeasured() noexcept;
    void updateDecaying() noexcept;
    void moveGainTo (double db) noexcept;

    Biquad shelfSection, highPassSection;
    KWeighting dryFilters[2] {}, wetFilters[2] {};
    double dryPower = 0.0, wetPower = 0.0;
    double powerCoeff = 0.0, diffCoeff = 0.0;
    double matchDb = 0.0;
    double gainFrom = 1.0, gainTo = 1.0;
    std::int32_t counter = 0;
    bool measuring = false;
};

} // namespace tl
