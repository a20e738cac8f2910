#pragma once

// A busy, realistic setting for pictures and paint timings of the editor: 24 bands of every type
// on every routing, and an analyser that has seen a second of noise through them.

#include "editor/GraphView.h"
#include "processor/BandParams.h"
#include "processor/PluginProcessor.h"

#include <random>

namespace tltest
{
struct BandSetting
{
    int type;
    float freq, gain, q;
    int slopeIndex, channel;
};

// Index order matters to the pictures: colours repeat every eight bands.
inline constexpr BandSetting kTwentyFourBands[] {
    { tl::LowCut,     28.0f,   0.0f, 0.7f, 3, tl::Stereo }, { tl::LowShelf,   90.0f,   3.0f, 0.7f, 3, tl::Stereo },
    { tl::Bell,      180.0f,  -4.0f, 1.4f, 3, tl::Mid    }, { tl::Bell,      320.0f,   2.5f, 2.0f, 3, tl::Side   },
    { tl::Bell,      550.0f,  -2.0f, 4.0f, 3, tl::Left   }, { tl::Bell,      800.0f,   1.5f, 1.0f, 3, tl::Right  },
    { tl::Notch,    1200.0f,   0.0f, 8.0f, 3, tl::Stereo }, { tl::Bell,     1800.0f,   4.5f, 0.8f, 3, tl::Stereo },
    { tl::Tilt,     1000.0f,   1.0f, 1.0f, 3, tl::Side   }, { tl::Bell,     2600.0f,  -3.5f, 3.0f, 3, tl::Mid    },
    { tl::Bell,     3500.0f,   2.0f, 1.2f, 3, tl::Stereo }, { tl::Bell,     4200.0f,  -1.0f, 6.0f, 3, tl::Left   },
    { tl::HighShelf, 9000.0f,  2.5f, 0.7f, 3, tl::Stereo }, { tl::Bell,     6000.0f,  -2.5f, 2.0f, 3, tl::Right  },
    { tl::HighCut,  18000.0f,  0.0f, 0.7f, 5, tl::Stereo }, { tl::Bell,       60.0f,   2.0f, 1.0f, 3, tl::Side   },
    { tl::Bell,      120.0f,  -1.5f, 2.5f, 3, tl::Stereo }, { tl::Bell,      240.0f,   1.0f, 5.0f, 3, tl::Mid    },
    { tl::Bell,      700.0f,  -5.0f, 9.0f, 3, tl::Stereo }, { tl::Bell,     1400.0f,   1.0f, 0.5f, 3, tl::Left   },
    { tl::Bell,     5200.0f,   3.0f, 1.5f, 3, tl::Side   }, { tl::Bell,     7500.0f,  -2.0f, 4.0f, 3, tl::Stereo },
    { tl::Bell,    11000.0f,   1.5f, 1.0f, 3, tl::Right  }, { tl::LowCut,     35.0f,   0.0f, 0.7f, 1, tl::Side   },
};

inline void setBand (TirelAudioProcessor& processor, int band, const BandSetting& s)
{
    const BandParams params (processor);
    params.set (band, "type", (float) s.type);
    params.set (band, "freq", s.freq);
    params.set (band, "gain", s.gain);
    params.set (band, "q", s.q);
    params.set (band, "slope", (float) s.slopeIndex);
    params.set (band, "ch", (float) s.channel);
    params.set (band, "on", 1.0f);
}

inline void setTwentyFourBands (TirelAudioProcessor& processor)
{
    for (int band = 0; band < tl::kNumBands; ++band)
        setBand (processor, band, kTwentyFourBands[band]);
}

// Plays a second of stereo noise through the prepared processor, draining the analyser feed
// into the graph's analysers as the editor's timer would.
inline void playNoiseIntoAnalyser (TirelAudioProcessor& processor, GraphView& graph)
{
    std::mt19937 random (7);
    std::uniform_real_distribution<float> noise (-0.25f, 0.25f);
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;

    for (int block = 0; block < 94; ++block)
    {
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < buffer.getNumSamples(); ++i)
                buffer.setSample (ch, i, noise (random));

        processor.processBlock (buffer, midi);
        if (block % 3 == 2)
            graph.refreshFromProcessor();
    }
    graph.refreshFromProcessor();
}
} // namespace tltest
