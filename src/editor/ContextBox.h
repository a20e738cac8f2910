#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "editor/Buttons.h"
#include "editor/ValueBox.h"
#include "processor/BandParams.h"

#include <functional>

class TirelAudioProcessor;

/** The small floating panel the graph shows beside a band's point: on/off, frequency, listen
    and sweep, delete, gain, type, Q (or slope) and a type-and-channel menu.
*/
class ContextBox : public juce::Component
{
public:
    explicit ContextBox (TirelAudioProcessor&);
    ~ContextBox() override;

    /** Brings the buttons and value boxes up to date with the band shown. */
    void refresh();

    /** True while the user works in the box: pointer over it, a button held or a value typed. */
    bool isInUse() const;

    void paint (juce::Graphics&) override;
    void resized() override;
    void mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&) override;

    std::function<void()> onDelete;

    TirelAudioProcessor& processor;
    BandParams params;
    int band = -1;
    juce::Colour accent;

    IconButton onButton, listenButton, deleteButton, typeButton, menuButton;
    ValueBox freqBox, gainBox, qBox;

    double sweepStartHz = 1000.0;
    int sweepBand = -1;                 // the band whose gesture a held listen button has open
    juce::uint32 lastWheelMs = 0;

    // Which hovered point the box follows; advanced by the editor's timer.
    int boxBand = -1;
    int boxLingerTicks = 0;
    int dwellTicks = 0;
    int dwellBand = -1;

    /** One timer tick of the hover counters, given the graph's hovered band. */
    void advanceHover (int hovered);

private:
    bool isCut() const;
    void endSweep();
    void setUpValueBoxes();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ContextBox)
};
