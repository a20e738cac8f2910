#include "processor/PluginProcessor.h"
#include "processor/XmlText.h"

#include <cmath>

// The saved state, its loading, and A/B compare. All of it runs on the message thread.

namespace
{
    const juce::Identifier stateType { "STATE" };
    const juce::Identifier paramType { "PARAM" };
    const juce::Identifier valueProperty { "value" };
    const juce::Identifier versionProperty { "stateVersion" };
    const juce::Identifier modeProperty { "mode" };

    constexpr int kStateVersion = 1;

    // A damaged chunk may repeat an attribute; the value tree would keep both copies and read
    // the first while its XML keeps the last, so a saved state would not load back the same.
    // Only the first of each name counts.
    void dropRepeatedAttributes (juce::XmlElement& element)
    {
        juce::StringPairArray kept;
        juce::StringArray names;

        for (int i = 0; i < element.getNumAttributes(); ++i)
        {
            const auto name = element.getAttributeName (i);
            if (! names.contains (name))
            {
                names.add (name);
                kept.set (name, element.getAttributeValue (i));
            }
        }

        if (names.size() != element.getNumAttributes())
        {
            element.removeAllAttributes();
            for (const auto& name : names)
                element.setAttribute (name, kept[name]);
        }

        for (auto* child : element.getChildIterator())
            dropRepeatedAttributes (*child);
    }

    // The value tree state takes any child with an "id" for a parameter, whatever its type.
    // Only PARAM children may name parameters, and only the first for each parameter counts.
    void dropMisleadingChildren (juce::ValueTree& tree)
    {
        juce::StringArray seen;

        for (int i = 0; i < tree.getNumChildren();)
        {
            const auto child = tree.getChild (i);
            const auto id = child.getProperty ("id").toString();
            const bool misleading = child.hasProperty ("id") && (! child.hasType (paramType) || seen.contains (id));

            if (misleading)
            {
                tree.removeChild (i, nullptr);
                continue;
            }

            seen.add (id);
            ++i;
        }
    }

    // A parameter value that is not a finite number (from a damaged or hand-edited chunk) would
    // reach the engine as NaN or infinity; without it, the parameter takes its default.
    void dropNonFiniteValues (juce::ValueTree& tree)
    {
        for (auto child : tree)
            if (child.hasType (paramType) && child.hasProperty (valueProperty)
                && ! std::isfinite ((double) child.getProperty (valueProperty)))
                child.removeProperty (valueProperty, nullptr);
    }

    // The value tree state would reset a parameter that has no child in a new tree to its
    // default; a chunk that names only some parameters must leave the others as they are.
    void addCurrentValuesOfUnnamedParameters (juce::ValueTree& tree, juce::AudioProcessor& processor)
    {
        for (auto* p : processor.getParameters())
        {
            auto* param = dynamic_cast<juce::RangedAudioParameter*> (p);
            if (param == nullptr || tree.getChildWithProperty ("id", param->paramID).isValid())
                continue;

            juce::ValueTree child (paramType);
            child.setProperty ("id", param->paramID, nullptr);
            child.setProperty (valueProperty, param->convertFrom0to1 (param->getValue()), nullptr);
            tree.appendChild (child, nullptr);
        }
    }

    // The XML text inside a chunk, after the framework's 8-byte header.
    bool hasValidText (const void* data, int sizeInBytes)
    {
        if (data == nullptr || sizeInBytes <= 8)
            return false;

        const auto storedLength = (int) juce::ByteOrder::littleEndianInt (juce::addBytesToPointer (data, 4));
        const int length = juce::jmin (sizeInBytes - 8, storedLength);
        return isParsableXmlText (static_cast<const char*> (data) + 8, length);
    }

    int modeOf (const juce::ValueTree& tree)
    {
        const double mode = tree.getProperty (modeProperty, 0);
        return std::isfinite (mode) ? (int) juce::jlimit (0.0, 2.0, mode) : 0;
    }
}

juce::ValueTree TirelAudioProcessor::migrateState (juce::ValueTree tree)
{
    tree.setProperty (versionProperty, kStateVersion, nullptr);
    return tree;
}

void TirelAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    auto tree = apvts.copyState();
    tree.setProperty (versionProperty, kStateVersion, nullptr);

    if (auto xml = tree.createXml())
        copyXmlToBinary (*xml, destData);
}

void TirelAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    if (! hasValidText (data, sizeInBytes))
        return;

    auto xml = getXmlFromBinary (data, sizeInBytes);

    if (xml == nullptr || ! xml->getTagName().equalsIgnoreCase (stateType.toString()))
        return;

    // Older hosts' chunks may spell the root in lower case; the live tree keeps one spelling.
    xml->setTagName (stateType.toString());
    dropRepeatedAttributes (*xml);

    auto tree = migrateState (juce::ValueTree::fromXml (*xml));
    dropMisleadingChildren (tree);
    dropNonFiniteValues (tree);
    addCurrentValuesOfUnnamedParameters (tree, *this);

    apvts.replaceState (tree);
    undoManager.clearUndoHistory();
    mode.store (modeOf (tree));
    firBuilder.notify();     // build for the loaded curve and mode now rather than at the next poll
}

void TirelAudioProcessor::selectCompare (int slot)
{
    if (slot == compareIndex || slot < 0 || slot > 1)
        return;

    compareSlots[(size_t) compareIndex] = apvts.copyState();

    if (compareSlots[(size_t) slot].isValid())
    {
        apvts.replaceState (compareSlots[(size_t) slot].createCopy());
        apvts.state.setProperty (modeProperty, mode.load(), nullptr);
    }

    compareIndex = slot;
    undoManager.clearUndoHistory();
}

void TirelAudioProcessor::copyToOtherCompareSlot()
{
    compareSlots[(size_t) (1 - compareIndex)] = apvts.copyState();
}

void TirelAudioProcessor::chooseMode (int newMode)
{
    mode.exchange (juce::jlimit (0, 2, newMode));
    apvts.state.setProperty (modeProperty, mode.load(), nullptr);
    firBuilder.notify();
}
