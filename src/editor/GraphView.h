#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include "dsp/Band.h"
#include "dsp/Spectrum.h"
#include "editor/ContextBox.h"
#include "processor/BandParams.h"

#include <functional>
#include <optional>
#include <utility>
#include <vector>

class TirelAudioProcessor;

/** A band whose seven parameters sit at their defaults: the pool new bands are taken from.
    A free band has no point on the graph and cannot be selected. */
bool isFreeBand (const tl::Band&) noexcept;

/** The frequency-response graph: grid, analyser, band areas, the summed curves, band points
    and overlays, over a logarithmic 20 Hz .. 20 kHz axis and a ±rangeDb gain axis.
    The editor's timer refreshes it (refreshFromProcessor) and repaints it every tick.
*/
class GraphView : public juce::Component,
                  public juce::SettableTooltipClient
{
public:
    explicit GraphView (TirelAudioProcessor&);
    ~GraphView() override;

    //==============================================================================
    /** Display choices: analyser range from top to bottom and analyser tilt per octave. */
    static constexpr std::array<double, 3> kSpecRanges { 60.0, 90.0, 120.0 };
    static constexpr std::array<double, 5> kTilts { 0.0, 1.5, 3.0, 4.5, 6.0 };

    //==============================================================================
    juce::Rectangle<float> plot() const noexcept;
    float xOf (double hz) const noexcept;
    double hzAt (float x) const noexcept;
    float yOfGain (double db, double limitDb) const noexcept;     // limitDb: rangeDb or 1.2 × rangeDb
    juce::Point<float> nodePos (const tl::Band&) const noexcept;
    float specY (float db) const;

    /** Copies what the graph shows from the processor: the curve, the graph range, the lost
        selection, the warning countdown and, while the analyser is on, its samples. */
    void refreshFromProcessor();

    /** Makes the selection exactly {band} (empty for band < 0) with band as the primary one,
        places the context box and tells onSelect. */
    void select (int band);

    bool isSelected (int band) const;

    /** The band whose point is nearest to p within 11 px, or -1. Free bands have no point. */
    int nodeAt (juce::Point<float> p) const;

    /** Creates a band at p from the lowest free slot, its type chosen by the frequency zone;
        -1 and the "all in use" warning when no band is free. */
    int createBandAt (juce::Point<float> p);

    /** Shows the context box beside the band it should show, or hides it. */
    void placeBox();

    /** The right-click menu of a band, and what choosing its item does. */
    void showBandMenu (int band);
    juce::PopupMenu bandMenu (int band) const;
    void applyBandMenu (int band, int result);


    //==============================================================================
    /** What paint strokes and fills for the bands, in plot coordinates: one column every two
        pixels, each band's area and the summed curves per channel set. */
    struct CurveTrace
    {
        int channels = 0;               // bit mask of the channels summed
        bool thick = true;              // the primary curve of its pair
        std::vector<float> ys;
    };

    struct AreaTrace
    {
        int band = 0;
        std::vector<float> ys;
    };

    struct Traces
    {
        std::vector<float> xs;
        std::vector<AreaTrace> areas;
        std::vector<CurveTrace> curves;
    };

    Traces traces() const;

    /** Texts of the grid, the badge and the listening region. */
    static juce::String gainLabel (double db);
    static juce::String freqLabel (int hz);
    static juce::String badgeText (bool delta, int monitor);

    /** The frequency region a listened band plays, or nothing for Tilt. */
    static std::optional<std::pair<double, double>> listenRegion (const tl::Band&);

    //==============================================================================
    void paint (juce::Graphics&) override;
    void resized() override;
    void mouseMove (const juce::MouseEvent&) override;
    void mouseExit (const juce::MouseEvent&) override;
    void mouseDown (const juce::MouseEvent&) override;
    void mouseDrag (const juce::MouseEvent&) override;
    void mouseUp (const juce::MouseEvent&) override;
    void mouseDoubleClick (const juce::MouseEvent&) override;
    void mouseWheelMove (const juce::MouseEvent&, const juce::MouseWheelDetails&) override;

    //==============================================================================
    std::function<void()> onSelect;

    TirelAudioProcessor& processor;
    BandParams params;
    tl::Curve curve;
    double rangeDb = 12.0;
    double dragRangeDb = 12.0;
    std::vector<int> selection;
    int selected = -1;
    int hovered = -1;
    int fullWarnTicks = 0;
    int dragMode = 0;

    struct DragStart { int band; double freq, gain; };
    std::vector<DragStart> dragStart;

    juce::Point<float> pressPos;
    juce::Rectangle<float> rubber;
    bool listening = false;
    bool pendingCreate = false;
    bool circleVisible = false;
    juce::TextButton rangeButton;
    juce::Point<float> circlePos;
    juce::uint32 lastWheelMs = 0;
    ContextBox box;

    std::vector<float> inputSamples, outputSamples;
    tl::Spectrum inputSpectrum, outputSpectrum;
    double spectrumRate = 48000.0;

private:
    void showRangeMenu();
    void pressBand (int band, bool listen);
    void beginDragOf (const std::vector<int>& bands);
    void dragBandsTo (juce::Point<float> pointer, bool shift);
    void deleteBoxBand();

    int createdByClick = -1;            // a band just created by a click on the circle
    void paintGrid (juce::Graphics&, juce::Rectangle<float> p) const;
    void paintAnalyser (juce::Graphics&, juce::Rectangle<float> p) const;
    void paintBands (juce::Graphics&, juce::Rectangle<float> p) const;
    void paintPoints (juce::Graphics&) const;
    void paintOverlays (juce::Graphics&, juce::Rectangle<float> p) const;
    double stateProperty (const char* name, double defaultValue) const;
    double specRange() const;
    float specY (double db, double range) const noexcept;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GraphView)
};
