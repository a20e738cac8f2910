#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include "editor/GraphView.h"
#include "editor/TirelLookAndFeel.h"

class TirelAudioProcessor;

/** The plug-in's window: the title and the graph, refreshed 30 times a second. */
class TirelAudioProcessorEditor : public juce::AudioProcessorEditor,
                                  private juce::Timer
{
public:
    explicit TirelAudioProcessorEditor (TirelAudioProcessor&);
    ~TirelAudioProcessorEditor() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    GraphView& getGraph() noexcept { return graph; }

private:
    void timerCallback() override;

    TirelLookAndFeel lookAndFeel;
    GraphView graph;
    std::unique_ptr<juce::Drawable> emblem;
    juce::Rectangle<int> titleArea;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TirelAudioProcessorEditor)
};
