#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include "dsp/Tirel.h"

#include <array>
#include <atomic>
#include <vector>

/** The plug-in's audio processor: parameters, engine snapshots, preparation and the host-facing
    properties of the effect.
*/
class TirelAudioProcessor : public juce::AudioProcessor
{
public:
    TirelAudioProcessor();
    ~TirelAudioProcessor() override;

    const juce::String getName() const override;
    void prepareToPlay (double sampleRate, int maximumBlockSize) override;
    void releaseResources() override;
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override;
    double getTailLengthSeconds() const override;
    bool acceptsMidi() const override;
    bool producesMidi() const override;
    juce::AudioProcessorParameter* getBypassParameter() const override;
    juce::AudioProcessorEditor* createEditor() override;
    bool hasEditor() const override;
    int getNumPrograms() override;
    int getCurrentProgram() override;
    void setCurrentProgram (int) override;
    const juce::String getProgramName (int) override;
    void changeProgramName (int, const juce::String&) override;
    void getStateInformation (juce::MemoryBlock&) override;
    void setStateInformation (const void*, int) override;
    bool isBusesLayoutSupported (const BusesLayout&) const override;

    /** Everything the engine needs for one block. Reads atomics only: callable from any thread. */
    tl::Settings settings() const;

    /** The 24 bands and the scale as they stand now. Reads atomics only: callable from any thread. */
    tl::Curve curve() const;

    /** Processing mode: 0 Zero Latency, 1 Linear Phase, 2 Linear HQ. */
    std::atomic<int> mode { 0 };

    juce::UndoManager undoManager;
    juce::AudioProcessorValueTreeState apvts;

    /** The band being listened to (0..23), -1 for none. */
    std::atomic<int> listenBand { -1 };
    std::atomic<bool> analyserOn { true };
    std::atomic<float> matchGainDb { 0.0f };
    std::atomic<bool> clipLatch { false };

private:
    const std::atomic<float>* rawValue (const juce::String& id) const;

    // Per band, in parameter order: on, type, freq, gain, q, slope, ch.
    std::array<std::array<const std::atomic<float>*, 7>, tl::kNumBands> bandValues {};
    const std::atomic<float>* scaleValue = nullptr;
    const std::atomic<float>* outputValue = nullptr;
    const std::atomic<float>* matchValue = nullptr;
    const std::atomic<float>* bypassValue = nullptr;
    const std::atomic<float>* deltaValue = nullptr;
    const std::atomic<float>* monitorValue = nullptr;

    tl::Tirel engine;
    std::vector<double> wetL, wetR;     // the block in double precision, processed in place
    int lastLatency = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TirelAudioProcessor)
};
