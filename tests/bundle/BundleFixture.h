#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <gtest/gtest.h>

#include <functional>

// What a DAW sees when it loads the built Tirel.vst3.
namespace tlbundle
{
constexpr double kSampleRate = 48000.0;
constexpr int kBlock = 512;

inline juce::AudioBuffer<float> sine (double frequency, int samples, float amplitude = 0.1f)
{
    juce::AudioBuffer<float> buffer (2, samples);
    for (int i = 0; i < samples; ++i)
    {
        const auto x = amplitude * (float) std::sin (2.0 * juce::MathConstants<double>::pi * frequency * i / kSampleRate);
        buffer.setSample (0, i, x);
        buffer.setSample (1, i, x);
    }
    return buffer;
}

inline float rmsDb (const juce::AudioBuffer<float>& b, int start, int length)
{
    return juce::Decibels::gainToDecibels (b.getRMSLevel (0, start, length), -200.0f);
}

struct Bundle : ::testing::Test
{
    static void SetUpTestSuite()
    {
        juce::VST3PluginFormat format;
        juce::OwnedArray<juce::PluginDescription> found;
        format.findAllTypesForFile (found, TIREL_VST3_BUNDLE);
        ASSERT_EQ (found.size(), 1) << "no plug-in found in " << TIREL_VST3_BUNDLE;
        description = *found[0];
    }

    std::unique_ptr<juce::AudioPluginInstance> load (double sampleRate = 48000.0, int blockSize = 512)
    {
        juce::VST3PluginFormat format;
        juce::String error;
        auto instance = format.createInstanceFromDescription (description, sampleRate, blockSize, error);
        EXPECT_NE (instance, nullptr) << error;
        return instance;
    }

    static inline juce::PluginDescription description;
};

// A plug-in prepared as a DAW would for stereo playback at 48 kHz, with helpers to automate it.
struct Playback : Bundle
{
    void SetUp() override
    {
        plugin = load (kSampleRate, kBlock);
        ASSERT_NE (plugin, nullptr);
        plugin->enableAllBuses();
        plugin->prepareToPlay (kSampleRate, kBlock);
    }

    void TearDown() override
    {
        if (plugin != nullptr)
            plugin->releaseResources();
    }

    juce::AudioProcessorParameter& param (const juce::String& name)
    {
        for (auto* p : plugin->getParameters())
            if (p->getName (100) == name)
                return *p;

        ADD_FAILURE() << "no parameter " << name;
        return *plugin->getParameters()[0];
    }

    // Sets a parameter by the text a user would type, as hosts do from their own controls.
    void set (const juce::String& name, const juce::String& text)
    {
        auto& p = param (name);
        p.setValueNotifyingHost (p.getValueForText (text));
    }

    // Plays the buffer in host blocks; `beforeBlock` may automate parameters between blocks.
    void play (juce::AudioBuffer<float>& buffer, const std::function<void (int)>& beforeBlock = {})
    {
        juce::MidiBuffer midi;
        for (int start = 0, index = 0; start < buffer.getNumSamples(); start += kBlock, ++index)
        {
            if (beforeBlock)
                beforeBlock (index);

            const int n = std::min (kBlock, buffer.getNumSamples() - start);
            juce::AudioBuffer<float> block (buffer.getArrayOfWritePointers(), 2, start, n);
            plugin->processBlock (block, midi);
        }
    }

    // The plug-in announces a latency change from its own message thread; the host takes it
    // up on its message loop, which runs here until the news has arrived (at most a second).
    int hostLatencyAfterNotification (int expected)
    {
        for (int i = 0; i < 100 && plugin->getLatencySamples() != expected; ++i)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
        return plugin->getLatencySamples();
    }

    std::unique_ptr<juce::AudioPluginInstance> plugin;
};

// The VST3 wrapper publishes each parameter under the 31-bit hash of its string identifier.
inline juce::String hostParameterId (const juce::String& id)
{
    return juce::String ((juce::uint32) id.hashCode() & 0x7fffffffu);
}

inline juce::StringArray expectedIds()
{
    juce::StringArray ids;
    for (int band = 1; band <= 24; ++band)
        for (auto* shortId : { "on", "type", "freq", "gain", "q", "slope", "ch" })
            ids.add ("b" + juce::String (band).paddedLeft ('0', 2) + "_" + shortId);

    ids.addArray ({ "scale", "output", "match", "bypass", "delta", "monitor" });
    return ids;
}
} // namespace tlbundle
