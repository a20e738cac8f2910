#include "processor/PluginProcessor.h"

#include "editor/PluginEditor.h"
#include "host/ReaperEmbed.h"
#include "processor/BandParams.h"
#include "processor/Parameters.h"

#include <algorithm>

namespace
{
    bool isOn (const std::atomic<float>* value) { return value->load (std::memory_order_relaxed) > 0.5f; }

    // Choices are stored as their index; a host may still hand over anything in between.
    int choiceIndex (const std::atomic<float>* value, int last)
    {
        return std::clamp ((int) value->load (std::memory_order_relaxed), 0, last);
    }

    double plain (const std::atomic<float>* value) { return (double) value->load (std::memory_order_relaxed); }
}

TirelAudioProcessor::TirelAudioProcessor()
    : AudioProcessor (BusesProperties().withInput ("Input", juce::AudioChannelSet::stereo(), true)
                                       .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      apvts (*this, &undoManager, "STATE", createLayout())
{
    for (int band = 0; band < tl::kNumBands; ++band)
        for (size_t i = 0; i < kBandParamIds.size(); ++i)
            bandValues[(size_t) band][i] = rawValue (bandParamId (band, kBandParamIds[i]));

    scaleValue = rawValue ("scale");
    outputValue = rawValue ("output");
    matchValue = rawValue ("match");
    bypassValue = rawValue ("bypass");
    deltaValue = rawValue ("delta");
    monitorValue = rawValue ("monitor");

    for (auto* p : getParameters())
        p->addListener (&gestureRecorder);

    firBuilder.startThread();
}

void TirelAudioProcessor::GestureRecorder::parameterGestureChanged (int index, bool starting)
{
    // Gestures come from the editor, on the message thread; hosts set values without them.
    if (starting || ! juce::MessageManager::existsAndIsCurrentThread())
        return;

    if (auto* p = dynamic_cast<juce::RangedAudioParameter*> (processor.getParameters()[index]))
        recordParameter (processor, *p);
}

TirelAudioProcessor::~TirelAudioProcessor()
{
    for (auto* p : getParameters())
        p->removeListener (&gestureRecorder);

    firBuilder.stopThread (4000);

    // Every set still held, wherever it is, goes through the retire rings to be freed.
    delete pendingSpectra.exchange (nullptr);
    firBuilder.freeRetired();
    engine.retireAllSpectra();
    firBuilder.freeRetired();
}

const std::atomic<float>* TirelAudioProcessor::rawValue (const juce::String& id) const
{
    auto* value = apvts.getRawParameterValue (id);
    jassert (value != nullptr);
    return value;
}

const juce::String TirelAudioProcessor::getName() const { return "Tirel"; }

juce::VST3ClientExtensions* TirelAudioProcessor::getVST3ClientExtensions()
{
    if (reaperEmbed == nullptr)
        reaperEmbed = std::make_unique<ReaperEmbed> (*this);
    return reaperEmbed.get();
}

juce::File TirelAudioProcessor::userPresetFolder()
{
    return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory)
               .getChildFile ("Quillonsound").getChildFile ("Tirel").getChildFile ("Presets");
}

void TirelAudioProcessor::prepareToPlay (double sampleRate, int maximumBlockSize)
{
    const auto capacity = (size_t) std::max (maximumBlockSize, 512);
    wetL.assign (capacity, 0.0);
    wetR.assign (capacity, 0.0);
    preTap.assign (capacity, 0.0f);

    engine.prepare (sampleRate);
    engine.set (settings());
    analyserFifo.reset();

    preTapDelay.assign ((size_t) tl::linear::sizesFor (tl::linear::linearHQ, sampleRate).latency() + 1, 0.0f);
    preTapWrite = 0;

    builderSampleRate = sampleRate;
    builderMono = getTotalNumInputChannels() < 2 ? 1 : 0;
    ++builderRequest;
    firBuilder.notify();

    lastLatency = engine.latency();

    if (lastLatency != getLatencySamples())
        setLatencySamples (lastLatency);
}

void TirelAudioProcessor::releaseResources() {}

void TirelAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    juce::ScopedNoDenormals noDenormals;

    const int numSamples = buffer.getNumSamples();
    const int channels = getTotalNumInputChannels();

    if (channels == 0 || wetL.empty())
        return;

    float* left = buffer.getWritePointer (0);
    float* right = channels >= 2 ? buffer.getWritePointer (1) : nullptr;

    const bool feedingAnalyser = analyserOn.load();
    engine.set (settings());

    if (auto* set = pendingSpectra.exchange (nullptr))
        engine.take (set);

    // A latency change reaches the host at the start of the block after the switch.
    const int latency = engine.latency();

    if (latency != lastLatency)
    {
        lastLatency = latency;

        if (latency != getLatencySamples())
            setLatencySamples (latency);
    }

    // Blocks longer than prepared are worked in pieces that fit the work buffers.
    const int capacity = (int) wetL.size();

    for (int start = 0; start < numSamples; start += capacity)
    {
        const int m = std::min (capacity, numSamples - start);

        for (int i = 0; i < m; ++i)
        {
            const float l = left[start + i];
            const float r = right != nullptr ? right[start + i] : 0.0f;
            wetL[(size_t) i] = (double) l;
            wetR[(size_t) i] = (double) r;
            preTap[(size_t) i] = right != nullptr ? (l + r) * 0.5f : l;
        }

        if (latency > 0)
            delayPreTap (latency, m);

        const int modeBefore = engine.activeMode;
        engine.process (wetL.data(), right != nullptr ? wetR.data() : nullptr, m);

        // A linear mode starts from a cleared convolver; the builder may not have seen the
        // mode change at all if the round trip was quicker than its poll, so ask it for a set.
        if (engine.activeMode != modeBefore && engine.activeMode != tl::linear::zeroLatency)
            builderRequest.fetch_add (1);

        for (int i = 0; i < m; ++i)
        {
            left[start + i] = (float) wetL[(size_t) i];
            if (right != nullptr)
                right[start + i] = (float) wetR[(size_t) i];
        }

        if (feedingAnalyser)
            feedAnalyser (left, right, start, m);
    }

    matchGainDb.store ((float) engine.levelMatch.correctionDb());

    if (engine.clipFlag)
    {
        engine.clipFlag = false;
        clipLatch.store (true);
    }
}

void TirelAudioProcessor::delayPreTap (int latency, int count)
{
    const int ringLength = (int) preTapDelay.size();
    const int delay = std::min (latency, ringLength - 1);

    for (int i = 0; i < count; ++i)
    {
        preTapDelay[(size_t) preTapWrite] = preTap[(size_t) i];
        preTap[(size_t) i] = preTapDelay[(size_t) ((preTapWrite - delay + ringLength) % ringLength)];
        preTapWrite = preTapWrite + 1 == ringLength ? 0 : preTapWrite + 1;
    }
}

void TirelAudioProcessor::feedAnalyser (const float* left, const float* right, int start, int count)
{
    // Takes only what fits: a full fifo drops the newest samples and never waits for the reader.
    int start1, size1, start2, size2;
    analyserFifo.prepareToWrite (count, start1, size1, start2, size2);

    const auto write = [&] (int fifoStart, int size, int pieceOffset)
    {
        for (int i = 0; i < size; ++i)
        {
            const int at = start + pieceOffset + i;
            analyserPre[(size_t) (fifoStart + i)] = preTap[(size_t) (pieceOffset + i)];
            analyserPost[(size_t) (fifoStart + i)] = right != nullptr ? (left[at] + right[at]) * 0.5f : left[at];
        }
    };

    write (start1, size1, 0);
    write (start2, size2, size1);
    analyserFifo.finishedWrite (size1 + size2);
}

double TirelAudioProcessor::getTailLengthSeconds() const { return 0.0; }
bool TirelAudioProcessor::acceptsMidi() const { return false; }
bool TirelAudioProcessor::producesMidi() const { return false; }

juce::AudioProcessorParameter* TirelAudioProcessor::getBypassParameter() const
{
    return apvts.getParameter ("bypass");
}

juce::AudioProcessorEditor* TirelAudioProcessor::createEditor()
{
    return new TirelAudioProcessorEditor (*this);
}

bool TirelAudioProcessor::hasEditor() const { return true; }

// A single program. It carries a name because hosts and validators that scan programs
// reject an empty one.
int TirelAudioProcessor::getNumPrograms() { return 1; }
int TirelAudioProcessor::getCurrentProgram() { return 0; }
void TirelAudioProcessor::setCurrentProgram (int) {}
const juce::String TirelAudioProcessor::getProgramName (int) { return "Default"; }
void TirelAudioProcessor::changeProgramName (int, const juce::String&) {}


bool TirelAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto& in = layouts.getMainInputChannelSet();
    return in == layouts.getMainOutputChannelSet()
        && (in == juce::AudioChannelSet::mono() || in == juce::AudioChannelSet::stereo());
}

tl::Curve TirelAudioProcessor::curve() const
{
    tl::Curve c;

    for (size_t b = 0; b < c.bands.size(); ++b)
    {
        const auto& v = bandValues[b];
        auto& band = c.bands[b];
        band.on = isOn (v[0]);
        band.type = choiceIndex (v[1], tl::Notch);
        band.freq = plain (v[2]);
        band.gain = plain (v[3]);
        band.q = plain (v[4]);
        band.slope = tl::kSlopes[(size_t) choiceIndex (v[5], (int) tl::kSlopes.size() - 1)];
        band.ch = choiceIndex (v[6], tl::Right);
    }

    c.scale = plain (scaleValue) * 0.01;
    return c;
}

tl::Settings TirelAudioProcessor::settings() const
{
    const auto c = curve();

    tl::Settings s;
    s.bands = c.bands;
    s.scale = c.scale;
    s.listen = listenBand.load (std::memory_order_relaxed);
    s.match = isOn (matchValue);
    s.output = plain (outputValue);
    s.bypass = isOn (bypassValue);
    s.delta = isOn (deltaValue);
    s.monitor = choiceIndex (monitorValue, tl::Right);
    s.mode = std::clamp (mode.load (std::memory_order_relaxed), 0, 2);
    return s;
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new TirelAudioProcessor();
}
