#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include "editor/BandStrip.h"
#include "editor/Buttons.h"
#include "editor/GraphView.h"
#include "editor/TirelLookAndFeel.h"
#include "editor/ValueBox.h"
#include "preferences/Preferences.h"

#include <array>
#include <memory>

class TirelAudioProcessor;

/** Everything inside the plug-in's window, laid out at a fixed 900 × 600 and scaled as a whole:
    the header (title, presets, undo, compare, analyser, mode, bypass), the graph, the band strip
    and the footer (scale, level match, delta and monitor, output, clip, language, help).
    Every mouse press in it starts a new undo step, and a 33 ms timer brings it up to date.
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

    // Menus: what each shows, and what choosing an item does.
    juce::PopupMenu modeMenu() const;
    void applyModeChoice (int result);
    juce::PopupMenu analyserMenu() const;
    void applyAnalyserChoice (int result);
    void applyPresetChoice (int result, const juce::Array<juce::File>& files);

    void showModeMenu();
    void showAnalyserMenu();
    void showPresetMenu();
    void showAbout();

    /** Saves the current state as a preset into a chosen file (what the save dialog ends with). */
    void savePresetAs (const juce::File&);

    /** The mode button's text: the mode and, in the linear modes, its latency in ms. */
    static juce::String modeText (int mode, double sampleRate);

    /** The texts of the scale and output boxes. */
    static juce::String scaleText (double percent);
    static juce::String outputText (double db);

    TirelAudioProcessor& processor;
    TirelLookAndFeel lookAndFeel;
    GraphView graph;
    BandStrip strip;
    TitleButton titleButton;
    juce::TextButton presetButton;
    juce::TextButton undoButton { "UNDO" }, redoButton { "REDO" };
    juce::TextButton compareAButton { "A" }, compareBButton { "B" };
    juce::TextButton copyButton;
    juce::TextButton analyserButton { "ANALYZER" };
    juce::TextButton analyserMenuButton;
    juce::TextButton bypassButton { "BYPASS" };
    juce::TextButton modeButton;
    std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment> bypassAttachment, matchAttachment;
    std::unique_ptr<juce::FileChooser> presetChooser;
    ValueBox scaleBox, outputBox;
    juce::TextButton deltaButton { "DELTA" };
    std::array<juce::TextButton, 4> monitorButtons;
    std::unique_ptr<juce::AudioProcessorValueTreeState::ButtonAttachment> deltaAttachment;
    juce::TextButton matchButton { "LEVEL MATCH" };
    juce::TextButton languageButton;
    juce::TextButton tipsButton { "?" };
    juce::Rectangle<int> titleArea, scaleLabelArea, outputLabelArea, modeArea, clipArea, monitorArea;
    int clipHoldTicks = 0;
    bool monitorActive = false;
    std::unique_ptr<LangTooltipWindow> tooltipWindow;
    std::unique_ptr<juce::Drawable> emblem;
    std::unique_ptr<juce::AlertWindow> aboutWindow;

private:
    void wireHeader();
    void wireFooter();
    void setupGlobalBox (ValueBox&, const char* paramId, std::function<juce::String (double)> text, double step);
    void setText (juce::Button&, const juce::String&);

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TirelContent)
};
