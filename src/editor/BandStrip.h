#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include "processor/BandParams.h"

#include <array>
#include <functional>
#include <memory>

class TirelAudioProcessor;

/** The panel under the graph with full-size controls for the primary selected band: on/off,
    type, slope, frequency, gain and Q knobs, channel buttons and delete.
*/
class BandStrip : public juce::Component
{
public:
    explicit BandStrip (TirelAudioProcessor&);
    ~BandStrip() override;

    /** Shows a band (0..23) or none (-1): attaches the knobs and enables the controls. */
    void setBand (int band);

    /** Brings the buttons' texts and states and the enabled knobs up to date with the band. */
    void refresh();

    /** The slope menu of the shown band, and what choosing its item does. */
    juce::PopupMenu slopeMenu() const;
    void applySlopeChoice (int result);

    void paint (juce::Graphics&) override;
    void resized() override;

    std::function<void()> onDelete;

    TirelAudioProcessor& processor;
    BandParams params;
    int band = -1;
    juce::Colour accent;

    juce::TextButton onButton, typeButton, slopeButton, deleteButton;
    std::array<juce::TextButton, 5> channelButtons;
    juce::Slider freqKnob, gainKnob, qKnob;
    juce::Rectangle<int> freqLabel, gainLabel, qLabel, channelLabel, bandLabel;
    std::unique_ptr<juce::SliderParameterAttachment> freqAttachment, gainAttachment, qAttachment;

private:
    std::vector<juce::Component*> controls();
    void showControls (bool shown);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BandStrip)
};
