#include "editor/TirelContent.h"

#include "BinaryData.h"
#include "editor/Palette.h"
#include "processor/PluginProcessor.h"

TirelContent::TirelContent (TirelAudioProcessor& p)
    : processor (p), graph (p), strip (p)
{
    setLookAndFeel (&lookAndFeel);
    setWantsKeyboardFocus (true);
    addAndMakeVisible (graph);
    addAndMakeVisible (strip);

    strip.onDelete = [this] { deleteSelectedBands(); };
    graph.onSelect = [this]
    {
        strip.setBand (graph.selected);
        processor.apvts.state.setProperty ("selected", graph.selected, nullptr);
    };

    graph.refreshFromProcessor();
    const int stored = processor.apvts.state.getProperty ("selected", -1);
    if (stored >= 0 && stored < tl::kNumBands && ! isFreeBand (graph.curve.bands[(size_t) stored]))
        graph.select (stored);

    emblem = juce::Drawable::createFromImageData (BinaryData::emblema_pequeno_svg, BinaryData::emblema_pequeno_svgSize);
    addMouseListener (this, true);
    setTooltipsEnabled (preferences::readSetting (preferences::currentTips, "tips", 1) != 0);

    setSize (900, 600);
    startTimer (33);
}

TirelContent::~TirelContent()
{
    removeMouseListener (this);
    stopTimer();
    tooltipWindow.reset();
    setLookAndFeel (nullptr);
}

void TirelContent::setTooltipsEnabled (bool enabled)
{
    if (enabled && tooltipWindow == nullptr)
    {
        tooltipWindow = std::make_unique<LangTooltipWindow> (this);
        tooltipWindow->setLookAndFeel (&lookAndFeel);
    }
    else if (! enabled)
    {
        tooltipWindow.reset();
    }
}

void TirelContent::resized()
{
    auto area = getLocalBounds().reduced (12);
    auto header = area.removeFromTop (30);
    titleArea = header.removeFromLeft (130);

    area.removeFromTop (8);
    area.removeFromBottom (26);                 // the footer
    area.removeFromBottom (8);
    strip.setBounds (area.removeFromBottom (96));
    area.removeFromBottom (8);
    graph.setBounds (area);
}

void TirelContent::paint (juce::Graphics& g)
{
    g.fillAll (ui::bg);

    if (emblem != nullptr)
        emblem->drawWithin (g, titleArea.withWidth (30).toFloat(), juce::RectanglePlacement::centred, 1.0f);

    g.setColour (ui::text);
    g.setFont (ui::bold (17.0f).withExtraKerningFactor (0.14f));
    g.drawText ("TIREL", titleArea.withTrimmedLeft (38), juce::Justification::centredLeft, true);
}

void TirelContent::mouseDown (const juce::MouseEvent&)
{
    // Reached after the pressed component has handled the press: everything the gesture
    // changes from here on is one undo step.
    processor.undoManager.beginNewTransaction();
}

bool TirelContent::keyPressed (const juce::KeyPress& key)
{
    const auto code = key.getKeyCode();
    const auto mods = key.getModifiers();

    if (code == juce::KeyPress::deleteKey || code == juce::KeyPress::backspaceKey)
    {
        deleteSelectedBands();
        return true;
    }

    if (mods.isCommandDown() && code == 'Z')
    {
        if (mods.isShiftDown())
            processor.undoManager.redo();
        else
            processor.undoManager.undo();
        return true;
    }

    if (mods.isCommandDown() && code == 'Y')
    {
        processor.undoManager.redo();
        return true;
    }

    return false;
}

void TirelContent::deleteSelectedBands()
{
    processor.undoManager.beginNewTransaction();
    for (const int band : graph.selection)
        graph.params.reset (band);
    graph.select (-1);
}

void TirelContent::timerCallback()
{
    graph.refreshFromProcessor();
    graph.box.advanceHover (graph.hovered);
    graph.placeBox();
    graph.repaint();
    strip.refresh();
}
