#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "editor/BandStrip.h"
#include "editor/GraphView.h"
#include "editor/TirelLookAndFeel.h"
#include "preferences/Preferences.h"

class TirelAudioProcessor;

/** Everything inside the plug-in's window, laid out at a fixed 900 × 600 and scaled as a whole:
    the title, the graph and the band strip. Every mouse press in it starts a new undo step, and
    a 33 ms timer brings it up to date with the processor.
*/
class TirelContent : public juce::Component,
                     private juce::Timer
{
public:
    explicit TirelContent (TirelAudioProcessor&);
    ~TirelContent() override;

    void resized() override;
    void paint (juce::Graphics&) override;
    bool keyPressed (const juce::KeyPress&) override;
    void mouseDown (const juce::MouseEvent&) override;

    /** Deletes every selected band in one undo step and clears the selection. */
    void deleteSelectedBands();

    /** Creates or deletes the tooltip window. */
    void setTooltipsEnabled (bool enabled);

    /** One refresh of everything shown, as the timer runs it every 33 ms. */
    void timerCallback() override;

    TirelAudioProcessor& processor;
    TirelLookAndFeel lookAndFeel;
    GraphView graph;
    BandStrip strip;
    juce::Rectangle<int> titleArea;
    std::unique_ptr<LangTooltipWindow> tooltipWindow;
    std::unique_ptr<juce::Drawable> emblem;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TirelContent)
};
