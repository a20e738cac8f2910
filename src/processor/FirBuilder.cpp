#include "processor/PluginProcessor.h"

namespace
{
    bool sameBand (const tl::Band& a, const tl::Band& b)
    {
        return a.on == b.on && a.type == b.type && a.freq == b.freq && a.gain == b.gain
            && a.q == b.q && a.slope == b.slope && a.ch == b.ch;
    }

    bool sameCurve (const tl::Curve& a, const tl::Curve& b)
    {
        if (a.scale != b.scale)
            return false;

        for (size_t i = 0; i < a.bands.size(); ++i)
            if (! sameBand (a.bands[i], b.bands[i]))
                return false;

        return true;
    }
}

void TirelAudioProcessor::FirBuilder::freeRetired()
{
    auto& tirel = processor.engine;

    for (auto* ring : { &tirel.convolvers[0].retired, &tirel.convolvers[1].retired, &tirel.retireQueue })
        while (auto* set = ring->pop())
            delete set;
}

void TirelAudioProcessor::FirBuilder::run()
{
    while (! threadShouldExit())
    {
        freeRetired();

        const int wanted = processor.mode.load();
        const int request = processor.builderRequest.load();
        const double sampleRate = processor.builderSampleRate.load();
        const bool mono = processor.builderMono.load() != 0;
        const auto curve = processor.curve();

        const bool linear = wanted == tl::linear::linearPhase || wanted == tl::linear::linearHQ;
        const bool changed = wanted != lastMode || sampleRate != lastSampleRate || mono != lastMono
                          || request != lastRequest || ! sameCurve (curve, lastCurve);

        if (linear && sampleRate > 0.0 && changed)
        {
            auto set = tl::linear::buildSpectra (wanted, sampleRate, mono, curve);

            // A set the audio thread never took is simply replaced.
            delete processor.pendingSpectra.exchange (set.release());

            lastSampleRate = sampleRate;
            lastMono = mono;
            lastRequest = request;
            lastCurve = curve;
        }

        lastMode = wanted;
        wait (30);
    }
}
