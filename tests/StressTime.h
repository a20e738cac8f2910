#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <atomic>
#include <cmath>
#include <cstdlib>

namespace tltest
{
// How long a stress test runs: TIREL_STRESS_SECONDS when set to a positive number of seconds,
// else the test's own default.
inline int stressSeconds (int defaultSeconds)
{
    const char* text = std::getenv ("TIREL_STRESS_SECONDS");
    const int seconds = text != nullptr ? std::atoi (text) : 0;
    return seconds > 0 ? seconds : defaultSeconds;
}

// What a stress test's audio thread saw come out: whether every sample was finite, and the peak.
struct OutputWatch
{
    std::atomic<bool> finite { true };
    std::atomic<float> peak { 0.0f };

    void scan (const juce::AudioBuffer<float>& block)
    {
        for (int ch = 0; ch < block.getNumChannels(); ++ch)
            for (int i = 0; i < block.getNumSamples(); ++i)
            {
                const float x = block.getSample (ch, i);
                if (! std::isfinite (x))
                    finite = false;
                else if (std::abs (x) > peak)
                    peak = std::abs (x);
            }
    }
};
}
