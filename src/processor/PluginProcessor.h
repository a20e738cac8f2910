#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include "dsp/Tirel.h"

#include <array>
#include <atomic>
#include <vector>

class ReaperEmbed;

/** The plug-in's audio processor: parameters, engine snapshots, preparation and the host-facing
    properties of the effect.
*/
class TirelAudioProcessor : public juce::AudioProcessor
                           #if JUCE_MAJOR_VERSION < 8
                            , public juce::VST3ClientExtensions
                           #endif
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

    /** Where the user's presets live: Quillonsound/Tirel/Presets in the documents folder.
        Not created here. */
    static juce::File userPresetFolder();

    /** What the plug-in offers VST3 hosts beyond the standard: REAPER's mixer miniature.
        Created on the first request. */
    juce::VST3ClientExtensions* getVST3ClientExtensions()
                                                          #if JUCE_MAJOR_VERSION >= 8
                                                           override
                                                          #endif
                                                           ;

   #if JUCE_MAJOR_VERSION < 8
    // JUCE 7 asks the processor itself for the extensions: hand its requests on.
    int32_t queryIEditController (const Steinberg::TUID iid, void** obj) override { return getVST3ClientExtensions()->queryIEditController (iid, obj); }
    void setIHostApplication (Steinberg::FUnknown* host) override { getVST3ClientExtensions()->setIHostApplication (host); }
   #endif

    /** Installs a loaded tree: stamps the current state version on it. */
    static juce::ValueTree migrateState (juce::ValueTree tree);

    /** A/B compare: makes slot 0 (A) or 1 (B) the edited one. The live state is stored into
        the slot being left; the other slot's snapshot, if any, becomes the live state, keeping
        the current processing mode. The undo history never crosses a switch. */
    void selectCompare (int slot);

    /** Stores a snapshot of the live state into the compare slot not being edited. */
    void copyToOtherCompareSlot();

    /** The compare slot being edited: 0 for A, 1 for B. */
    int getCompareIndex() const noexcept { return compareIndex; }

    /** Everything the engine needs for one block. Reads atomics only: callable from any thread. */
    tl::Settings settings() const;

    /** The 24 bands and the scale as they stand now. Reads atomics only: callable from any thread. */
    tl::Curve curve() const;

    /** The user's choice of mode: stored for the audio thread and in the project, and the
        builder woken to build the new mode's filters. */
    void chooseMode (int newMode);

    /** Processing mode: 0 Zero Latency, 1 Linear Phase, 2 Linear HQ. */
    std::atomic<int> mode { 0 };

    juce::UndoManager undoManager;
    juce::AudioProcessorValueTreeState apvts;

    /** The band being listened to (0..23), -1 for none. */
    std::atomic<int> listenBand { -1 };
    std::atomic<bool> analyserOn { true };
    std::atomic<float> matchGainDb { 0.0f };
    std::atomic<bool> clipLatch { false };

    /** Pairs of (input, output) samples of the same instant for the editor's analysers:
        written by the audio thread, read by the editor's timer. Dropped when full. */
    static constexpr int kAnalyserCapacity = 8192;
    juce::AbstractFifo analyserFifo { kAnalyserCapacity };
    std::array<float, kAnalyserCapacity> analyserPre {}, analyserPost {};

    /** Builds linear-phase filter sets off the audio thread whenever the curve, the mode or the
        rate changes, and frees the sets the audio thread has retired. */
    class FirBuilder : public juce::Thread
    {
    public:
        explicit FirBuilder (TirelAudioProcessor& p) : juce::Thread ("Tirel FIR"), processor (p) {}
        void run() override;

        /** Frees every set waiting in the retire rings. */
        void freeRetired();

    private:
        TirelAudioProcessor& processor;
        int lastMode = -1;
        double lastSampleRate = 0.0;
        bool lastMono = false;
        int lastRequest = -1;
        tl::Curve lastCurve;
    };

private:
    /** When an editor control ends a gesture (the framework's button and slider attachments
        among them), its final value goes into the state tree at once, inside the undo step the
        gesture belongs to, rather than at the tree's next periodic copy. */
    struct GestureRecorder : juce::AudioProcessorParameter::Listener
    {
        explicit GestureRecorder (TirelAudioProcessor& p) : processor (p) {}
        void parameterValueChanged (int, float) override {}
        void parameterGestureChanged (int index, bool starting) override;
        TirelAudioProcessor& processor;
    };

    void delayPreTap (int latency, int count);
    void feedAnalyser (const float* left, const float* right, int start, int count);

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
    std::vector<float> preTap;          // the analyser's input signal of the current piece
    std::vector<float> preTapDelay;     // delays it like the linear modes delay the audio
    int preTapWrite = 0;
    int lastLatency = 0;
    FirBuilder firBuilder { *this };

    // From the builder to the audio thread: the newest finished set, exchanged atomically.
    std::atomic<tl::linear::Spectra*> pendingSpectra { nullptr };
    std::atomic<double> builderSampleRate { 0.0 };
    std::atomic<int> builderMono { 0 };
    std::atomic<int> builderRequest { 0 };

    std::unique_ptr<ReaperEmbed> reaperEmbed;
    GestureRecorder gestureRecorder { *this };

    std::array<juce::ValueTree, 2> compareSlots;
    int compareIndex = 0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TirelAudioProcessor)
};
