#include "editor/PluginEditor.h"

#include "BinaryData.h"
#include "editor/Palette.h"
#include "processor/PluginProcessor.h"

TirelAudioProcessorEditor::TirelAudioProcessorEditor (TirelAudioProcessor& p)
    : AudioProcessorEditor (p), graph (p)
{
    setLookAndFeel (&lookAndFeel);
    addAndMakeVisible (graph);
    emblem = juce::Drawable::createFromImageData (BinaryData::emblema_pequeno_svg, BinaryData::emblema_pequeno_svgSize);

    graph.refreshFromProcessor();
    setSize (900, 600);
    startTimer (33);
}

TirelAudioProcessorEditor::~TirelAudioProcessorEditor()
{
    stopTimer();
    setLookAndFeel (nullptr);
}

void TirelAudioProcessorEditor::resized()
{
    titleArea = { 12, 12, 130, 30 };
    graph.setBounds (12, 50, 876, 400);
}

void TirelAudioProcessorEditor::paint (juce::Graphics& g)
{
    g.fillAll (ui::bg);

    if (emblem != nullptr)
        emblem->drawWithin (g, titleArea.withWidth (30).toFloat(), juce::RectanglePlacement::centred, 1.0f);

    g.setColour (ui::text);
    g.setFont (ui::bold (17.0f).withExtraKerningFactor (0.14f));
    g.drawText ("TIREL", titleArea.withTrimmedLeft (38), juce::Justification::centredLeft, true);
}

void TirelAudioProcessorEditor::timerCallback()
{
    graph.refreshFromProcessor();
    graph.repaint();
}
