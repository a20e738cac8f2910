#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include "dsp/Band.h"

class TirelAudioProcessor;

/** Band parameters by band index (0..23) and short id ("on", "type", "freq", "gain", "q",
    "slope", "ch"), in plain units. Every editor control that changes a band goes through here,
    so the host hears of each change and the open undo transaction records it.
*/
class BandParams
{
public:
    explicit BandParams (TirelAudioProcessor& p) noexcept : processor (p) {}

    /** The parameter, or null when band and id name none. */
    juce::RangedAudioParameter* param (int band, const char* id) const;

    /** The plain value: Hz, dB, Q, 0 or 1, or the item index. */
    float get (int band, const char* id) const;

    /** Sets a plain value, snapped to a legal one, without opening or closing a gesture:
        for callers that hold a gesture open around a drag. */
    void set (int band, const char* id, float value) const;

    /** Sets a plain value as one complete host gesture. */
    void setGesture (int band, const char* id, float value) const;

    /** Deletes a band: its seven parameters back to their defaults, each as one gesture,
        which makes it a free band again. */
    void reset (int band) const;

    /** The band as its parameters hold it now. */
    tl::Band read (int band) const;

private:
    TirelAudioProcessor& processor;
};

/** Sets a parameter to a plain value (snapped to a legal one) and notifies the host, and records
    the change in the state tree at once, so it belongs to the undo transaction open now. */
void setParameter (TirelAudioProcessor&, juce::RangedAudioParameter&, float plainValue);

/** Records a parameter's current value in the state tree at once (see setParameter). */
void recordParameter (TirelAudioProcessor&, juce::RangedAudioParameter&);
