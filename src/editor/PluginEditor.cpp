#include "editor/PluginEditor.h"

#include "processor/PluginProcessor.h"

#include <cmath>

namespace
{
    // The stored editor scale: 1.0 unless it is a finite number, then limited to 0.75 .. 2.0.
    double storedScale (const juce::var& stored)
    {
        const auto text = stored.toString().trim();
        const double value = text.getDoubleValue();
        const bool numeric = text.isNotEmpty() && text.containsOnly ("0123456789.+-eE") && std::isfinite (value);
        return numeric ? juce::jlimit (0.75, 2.0, value) : 1.0;
    }
}

TirelAudioProcessorEditor::TirelAudioProcessorEditor (TirelAudioProcessor& p)
    : AudioProcessorEditor (p), processor (p), content (p)
{
    const double scale = storedScale (processor.apvts.state.getProperty ("uiScale", 1.0));

    addAndMakeVisible (content);
    setResizable (true, true);
    if (auto* sizeRules = getConstrainer())
    {
        sizeRules->setFixedAspectRatio (1.5);
        sizeRules->setSizeLimits (675, 450, 1800, 1200);
    }
    setSize (juce::roundToInt (900 * scale), juce::roundToInt (600 * scale));
}

TirelAudioProcessorEditor::~TirelAudioProcessorEditor() = default;

void TirelAudioProcessorEditor::resized()
{
    const float scale = (float) getWidth() / 900.0f;
    content.setTransform (juce::AffineTransform::scale (scale));
    content.setBounds (0, 0, 900, 600);
    processor.apvts.state.setProperty ("uiScale", (double) scale, nullptr);
}
