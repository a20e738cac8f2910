#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include "host/ReaperInterfaces.h"

#include <atomic>
#include <functional>

class TirelAudioProcessor;

/** The miniature REAPER shows of the plug-in in its mixer: paints the curve, tells its size
    limits, and opens the plug-in's window on a click. Answers only when REAPER asks.
*/
class ReaperEmbed : public juce::VST3ClientExtensions
{
public:
    explicit ReaperEmbed (TirelAudioProcessor&);
    ~ReaperEmbed() override;

    int32_t queryIEditController (const Steinberg::TUID iid, void** obj) override;
    void setIHostApplication (Steinberg::FUnknown* host) override;

    /** The embedded view's interface, as REAPER receives it. */
    class EmbeddedUI : public reaper::IReaperUIEmbedInterface
    {
    public:
        explicit EmbeddedUI (ReaperEmbed& o) : owner (o) {}

        Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID id, void** obj) override;
        Steinberg::uint32 PLUGIN_API addRef() override { return ++count; }
        Steinberg::uint32 PLUGIN_API release() override { return --count; }     // lives inside its owner
        Steinberg::TPtrInt PLUGIN_API embed_message (int message, Steinberg::TPtrInt parm2, Steinberg::TPtrInt parm3) override;

    private:
        ReaperEmbed& owner;
        std::atomic<Steinberg::uint32> count { 1 };
    };

    EmbeddedUI embeddedUI { *this };

    /** Paints the miniature into REAPER's bitmap; false for a missing or empty bitmap. */
    bool paint (reaper::Bitmap*, void* drawingInfo);

    /** Writes the view's size limits into a window size-limits record. */
    static bool writeSizeLimits (void* limits);

    /** Opens the plug-in's floating window in REAPER when it is the only instance on its track. */
    void openPluginWindow();

    /** Which effect of a track is this plug-in, found by asking each effect's identifier; -1 when
        there is not exactly one. Effects of the input chain carry REAPER's record-chain flag. */
    static int findSoleInstance (int count, int recCount, const std::function<bool (int index, char* buffer, int size)>& query);

    /** The miniature itself: the curve over a 0 dB line, band points and the mode mark. */
    static void drawEmbedded (juce::Graphics&, juce::Rectangle<int> area, TirelAudioProcessor&);

private:
    TirelAudioProcessor& processor;
    reaper::IReaperHostApplication* reaperHost = nullptr;
};
