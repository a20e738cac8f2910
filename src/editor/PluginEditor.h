#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include "editor/TirelContent.h"

class TirelAudioProcessor;

/** The plug-in's window: hosts the content at the stored size, resizable at a fixed 3:2. */
class TirelAudioProcessorEditor : public juce::AudioProcessorEditor
{
public:
    explicit TirelAudioProcessorEditor (TirelAudioProcessor&);
    ~TirelAudioProcessorEditor() override;

    void resized() override;

    TirelAudioProcessor& processor;
    TirelContent content;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TirelAudioProcessorEditor)
};
