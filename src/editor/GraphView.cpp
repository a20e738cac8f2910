#include "editor/GraphView.h"

#include "dsp/Design.h"
#include "dsp/Display.h"
#include "editor/Palette.h"
#include "editor/TypedEntry.h"
#include "preferences/Preferences.h"
#include "processor/PluginProcessor.h"

#include <algorithm>
#include <cmath>

namespace
{
    constexpr int kSamplesPerTick = 8192;

    // The curves may run 20 % past the plot's edges, where the clip cuts them.
    constexpr double kCurveOvershoot = 1.2;

    bool isRoutedTo (const tl::Band& band, int channels) noexcept
    {
        return (tl::channelBit (band.ch) & channels) != 0;
    }
}

bool isFreeBand (const tl::Band& band) noexcept
{
    return ! band.on && band.type == tl::Bell && std::abs (band.freq - 1000.0) < 0.01
        && std::abs (band.gain) < 0.0001 && std::abs (band.q - 1.0) < 0.0001
        && band.slope == 24 && band.ch == tl::Stereo;
}

//==============================================================================
GraphView::GraphView (TirelAudioProcessor& p)
    : processor (p), params (p), box (p)
{
    addChildComponent (box);
    addAndMakeVisible (rangeButton);
    rangeButton.setTooltip (ui::tip ("Escala del gráfico: ±3, ±6, ±12 o ±30 dB. Se guarda con la sesión.",
                                     "Graph scale: ±3, ±6, ±12 or ±30 dB. Saved with the session."));
    rangeButton.onClick = [safe = juce::Component::SafePointer<GraphView> (this)]
    {
        if (safe != nullptr)
            safe->showRangeMenu();
    };
    box.onDelete = [safe = juce::Component::SafePointer<GraphView> (this)]
    {
        if (safe != nullptr)
            safe->deleteBoxBand();
    };

    spectrumRate = processor.getSampleRate() > 0.0 ? processor.getSampleRate() : 48000.0;
    inputSpectrum.setUp (spectrumRate);
    outputSpectrum.setUp (spectrumRate);
    inputSamples.assign (kSamplesPerTick, 0.0f);
    outputSamples.assign (kSamplesPerTick, 0.0f);

    setTooltip (ui::tip (
        "Arrastra un punto: frecuencia y ganancia. Rueda: Q (en los cortes, la pendiente). Shift: ajuste fino. "
        "Clic derecho: tipo, canal y borrar. Shift + botón derecho mantenido: escuchas la zona de la banda. "
        "Doble clic en un punto: la apaga o la enciende. Con el ratón sobre la curva sale un círculo: clic "
        "(o arrastrar desde él) crea una banda. Arrastrar en un hueco elige varias, que se mueven juntas.",
        "Drag a point: frequency and gain. Wheel: Q (on cuts, the slope). Shift: fine adjustment. "
        "Right-click: type, channel and delete. Hold Shift + right button: listen to the band's area. "
        "Double-click a point: turns it off or on. Near the curve a circle appears: click it (or drag from it) "
        "to create a band. Dragging on empty space picks several, which move together."));
}

GraphView::~GraphView()
{
    // Closed in the middle of a press: listening stops and the host's gestures end.
    if (listening)
        processor.listenBand.exchange (-1);

    if (dragMode == 1)
        for (const auto& start : dragStart)
        {
            params.param (start.band, "freq")->endChangeGesture();
            params.param (start.band, "gain")->endChangeGesture();
        }
}

//==============================================================================
juce::Rectangle<float> GraphView::plot() const noexcept
{
    return { 30.0f, 6.0f, (float) std::max (0, getWidth() - 30), (float) std::max (0, getHeight() - 28) };
}

float GraphView::xOf (double hz) const noexcept
{
    const auto p = plot();
    return p.getX() + p.getWidth() * (float) (std::log (hz / 20.0) / std::log (1000.0));
}

double GraphView::hzAt (float x) const noexcept
{
    const auto p = plot();
    return 20.0 * std::pow (1000.0, (double) ((x - p.getX()) / p.getWidth()));
}

float GraphView::yOfGain (double db, double limitDb) const noexcept
{
    const auto p = plot();
    const double clamped = std::clamp (db, -limitDb, limitDb);
    return p.getY() + p.getHeight() / 2.0f - (float) (clamped / rangeDb) * p.getHeight() / 2.0f;
}

juce::Point<float> GraphView::nodePos (const tl::Band& band) const noexcept
{
    const double db = tl::hasGain (band.type) ? band.gain * curve.scale : 0.0;
    return { xOf (band.freq), yOfGain (db, rangeDb) };
}

double GraphView::stateProperty (const char* name, double defaultValue) const
{
    return (double) processor.apvts.state.getProperty (name, defaultValue);
}

double GraphView::specRange() const
{
    return kSpecRanges[(size_t) std::clamp ((int) stateProperty ("analyserRange", 1), 0, 2)];
}

float GraphView::specY (float db) const
{
    return specY (db, specRange());
}

float GraphView::specY (double db, double range) const noexcept
{
    const auto p = plot();
    return p.getY() - (float) (db / range) * p.getHeight();
}

//==============================================================================
void GraphView::refreshFromProcessor()
{
    curve = processor.curve();

    rangeDb = tl::validGraphRange (stateProperty ("graphRange", 12.0));
    rangeButton.setButtonText (juce::String ((int) rangeDb) + " dB");

    // Bands deleted by undo, presets, compare or the host.
    if (selected >= 0 && isFreeBand (curve.bands[(size_t) selected]))
        select (-1);

    if (fullWarnTicks > 0)
        --fullWarnTicks;

    if (! processor.analyserOn.load())
        return;

    const double rate = processor.getSampleRate() > 0.0 ? processor.getSampleRate() : 48000.0;
    if (rate != spectrumRate)
    {
        inputSpectrum.setUp (rate);
        outputSpectrum.setUp (rate);
        spectrumRate = rate;
    }

    const auto windowType = std::clamp ((int) stateProperty ("analyserWindow", 0), 0, 5);
    const auto sizeIndex = std::clamp ((int) stateProperty ("analyserResolution", 2), 0, 3);
    const auto speedIndex = std::clamp ((int) stateProperty ("analyserSpeed", 2), 0, 4);

    for (auto* spectrum : { &inputSpectrum, &outputSpectrum })
    {
        if (spectrum->windowType != windowType)
        {
            spectrum->windowType = windowType;
            spectrum->buildWindow();
        }
        if (spectrum->sizeIndex != sizeIndex)
        {
            spectrum->sizeIndex = sizeIndex;
            spectrum->buildWindow();
        }
        spectrum->speedIndex = speedIndex;
    }

    // The audio thread is the FIFO's only writer, this the only reader.
    auto& fifo = processor.analyserFifo;
    const int n = std::min (fifo.getNumReady(), kSamplesPerTick);
    int start1, size1, start2, size2;
    fifo.prepareToRead (n, start1, size1, start2, size2);
    std::copy_n (processor.analyserPre.data() + start1, size1, inputSamples.data());
    std::copy_n (processor.analyserPost.data() + start1, size1, outputSamples.data());
    std::copy_n (processor.analyserPre.data() + start2, size2, inputSamples.data() + size1);
    std::copy_n (processor.analyserPost.data() + start2, size2, outputSamples.data() + size1);
    fifo.finishedRead (size1 + size2);

    inputSpectrum.push (inputSamples.data(), size1 + size2);
    outputSpectrum.push (outputSamples.data(), size1 + size2);
}

void GraphView::showRangeMenu()
{
    juce::PopupMenu menu;
    for (size_t i = 0; i < tl::kGraphRanges.size(); ++i)
        menu.addItem ((int) i + 1, juce::String::fromUTF8 ("±") + juce::String ((int) tl::kGraphRanges[i]) + " dB",
                      true, tl::kGraphRanges[i] == rangeDb);

    menu.showMenuAsync (juce::PopupMenu::Options().withTargetComponent (rangeButton),
                        [safe = juce::Component::SafePointer<GraphView> (this)] (int result)
                        {
                            if (safe == nullptr || result < 1 || result > (int) tl::kGraphRanges.size())
                                return;

                            safe->processor.apvts.state.setProperty ("graphRange", tl::kGraphRanges[(size_t) result - 1], nullptr);
                        });
}

//==============================================================================
GraphView::Traces GraphView::traces() const
{
    const auto p = plot();
    const int columns = std::max (2, (int) p.getWidth() / 2);

    Traces t;
    t.xs.resize ((size_t) columns);
    std::vector<double> hz ((size_t) columns);
    for (int j = 0; j < columns; ++j)
    {
        t.xs[(size_t) j] = p.getX() + (float) j * p.getWidth() / (float) (columns - 1);
        hz[(size_t) j] = hzAt (t.xs[(size_t) j]);
    }

    const double limit = kCurveOvershoot * rangeDb;
    std::vector<std::vector<double>> responses ((size_t) tl::kNumBands);
    bool midSide = false, leftRight = false;

    for (int b = 0; b < tl::kNumBands; ++b)
    {
        const auto& band = curve.bands[(size_t) b];
        if (! band.on)
            continue;

        const auto drawn = tl::drawnBand (band, curve.scale);
        auto& response = responses[(size_t) b];
        response.resize ((size_t) columns);

        AreaTrace area { b, std::vector<float> ((size_t) columns) };
        for (size_t j = 0; j < (size_t) columns; ++j)
        {
            response[j] = tl::analogMagDb (drawn, hz[j]);
            area.ys[j] = yOfGain (response[j], limit);
        }
        t.areas.push_back (std::move (area));

        midSide |= band.ch == tl::Mid || band.ch == tl::Side;
        leftRight |= band.ch == tl::Left || band.ch == tl::Right;
    }

    auto addCurve = [&] (int channels, bool thick)
    {
        CurveTrace trace { channels, thick, std::vector<float> ((size_t) columns) };
        std::vector<double> sum ((size_t) columns, 0.0);

        for (int b = 0; b < tl::kNumBands; ++b)
            if (! responses[(size_t) b].empty() && isRoutedTo (curve.bands[(size_t) b], channels))
                for (size_t j = 0; j < sum.size(); ++j)
                    sum[j] += responses[(size_t) b][j];

        for (size_t j = 0; j < sum.size(); ++j)
            trace.ys[j] = yOfGain (sum[j], limit);

        t.curves.push_back (std::move (trace));
    };

    const int stereo = tl::channelBit (tl::Stereo);
    if (midSide)
    {
        addCurve (stereo | tl::channelBit (tl::Side), false);
        addCurve (stereo | tl::channelBit (tl::Mid), true);
    }
    if (leftRight)
    {
        addCurve (stereo | tl::channelBit (tl::Right), false);
        addCurve (stereo | tl::channelBit (tl::Left), true);
    }
    if (! midSide && ! leftRight)
        addCurve (0x1f, true);

    return t;
}

juce::String GraphView::gainLabel (double db)
{
    const auto sign = db > 0.0 ? juce::String ("+") : juce::String();
    if (std::abs (db - std::round (db)) < 0.01)
        return sign + juce::String ((int) std::round (db));
    return sign + juce::String (db, 1);
}

juce::String GraphView::freqLabel (int hz)
{
    return hz >= 1000 ? juce::String (hz / 1000) + "k" : juce::String (hz);
}

juce::String GraphView::badgeText (bool delta, int monitor)
{
    static constexpr const char* kMonitorNames[] { "", "MID", "SIDE", "L", "R" };

    juce::String text = delta ? "DELTA" : "";
    if (monitor > 0)
        text << (delta ? " + " : "") << "SOLO " << kMonitorNames[std::min (monitor, 4)];
    return text;
}

std::optional<std::pair<double, double>> GraphView::listenRegion (const tl::Band& band)
{
    const double f = band.freq;

    switch (band.type)
    {
        case tl::Bell:
        case tl::Notch:
        {
            const double h = 1.0 / (2.0 * std::clamp (band.q, 0.1, 40.0));
            const double r = std::sqrt (1.0 + h * h);
            return std::pair { f * (r - h), f * (r + h) };
        }
        case tl::LowShelf:
        case tl::LowCut:
            return std::pair { 10.0, f };
        case tl::HighShelf:
        case tl::HighCut:
            return std::pair { f, 22000.0 };
        default:
            return std::nullopt;
    }
}

//==============================================================================
void GraphView::resized()
{
    const auto p = plot();
    rangeButton.setBounds (juce::roundToInt (p.getX()) + juce::roundToInt (p.getWidth()) - 62,
                           juce::roundToInt (p.getY()) + 4, 58, 20);
}

void GraphView::paint (juce::Graphics& g)
{
    const auto p = plot();

    g.setColour (ui::panel);
    g.fillRect (p);
    g.setFont (ui::regular (9.5f));
    paintGrid (g, p);

    {
        juce::Graphics::ScopedSaveState clipped (g);
        g.reduceClipRegion (p.getSmallestIntegerContainer());
        paintAnalyser (g, p);
        paintBands (g, p);
    }

    paintPoints (g);
    paintOverlays (g, p);
}

void GraphView::paintGrid (juce::Graphics& g, juce::Rectangle<float> p) const
{
    for (const int f : { 50, 100, 200, 500, 1000, 2000, 5000, 10000 })
    {
        const float x = xOf (f);
        g.setColour (ui::grid);
        g.drawVerticalLine ((int) x, p.getY(), p.getBottom());
        g.setColour (ui::textDim);
        g.drawText (freqLabel (f), juce::Rectangle<float> (x - 20.0f, p.getBottom() + 2.0f, 40.0f, 12.0f),
                    juce::Justification::centred, true);
    }

    for (double v = -rangeDb; v <= rangeDb + 0.01; v += rangeDb / 2.0)
    {
        const float y = yOfGain (v, rangeDb);
        const bool zero = std::abs (v) < 0.01;
        g.setColour (zero ? ui::grid.brighter (0.25f) : ui::grid);
        g.drawHorizontalLine ((int) y, p.getX(), p.getRight());
        g.setColour (ui::textDim);
        g.drawText (gainLabel (v), juce::Rectangle<float> (0.0f, y - 6.0f, 26.0f, 12.0f),
                    juce::Justification::centredRight, true);
    }
}

void GraphView::paintAnalyser (juce::Graphics& g, juce::Rectangle<float> p) const
{
    const auto& in = inputSpectrum.points;
    const auto& out = outputSpectrum.points;
    if (! processor.analyserOn.load() || in.size() <= 1 || in.size() != out.size())
        return;

    const double tilt = kTilts[(size_t) std::clamp ((int) stateProperty ("analyserTilt", 0), 0, 4)];
    const double range = specRange();
    const size_t n = in.size();

    std::vector<float> xs (n), inY (n), outY (n);
    for (size_t k = 0; k < n; ++k)
    {
        const double lift = tilt * std::log2 (in[k].freq / 1000.0);
        xs[k] = xOf (in[k].freq);
        inY[k] = specY (in[k].db + lift, range);
        outY[k] = specY (out[k].db + lift, range);
    }

    juce::Path fill;
    fill.startNewSubPath (xs.front(), p.getBottom());
    for (size_t k = 0; k < n; ++k)
        fill.lineTo (xs[k], outY[k]);
    fill.lineTo (xs.back(), p.getBottom());
    fill.closeSubPath();
    g.setColour (ui::metal.withAlpha (0.07f));
    g.fillPath (fill);

    // Neighbouring pairs that differ get a quadrilateral between input and output; the rises
    // and the falls each go into one path so the renderer rasterises each colour once.
    juce::Path rises, falls;
    for (size_t k = 0; k + 1 < n; ++k)
    {
        const double d = (out[k].db - in[k].db) + (out[k + 1].db - in[k + 1].db);
        if (std::abs (d) < 0.2)
            continue;

        auto& path = d > 0.0 ? rises : falls;
        path.startNewSubPath (xs[k], inY[k]);
        path.lineTo (xs[k + 1], inY[k + 1]);
        path.lineTo (xs[k + 1], outY[k + 1]);
        path.lineTo (xs[k], outY[k]);
        path.closeSubPath();
    }
    g.setColour (ui::rise.withAlpha (0.38f));
    g.fillPath (rises);
    g.setColour (ui::fall.withAlpha (0.38f));
    g.fillPath (falls);

    juce::Path line;
    line.startNewSubPath (xs[0], inY[0]);
    for (size_t k = 1; k < n; ++k)
        line.lineTo (xs[k], inY[k]);
    g.setColour (ui::textDim.withAlpha (0.55f));
    g.strokePath (line, juce::PathStrokeType (1.0f, juce::PathStrokeType::mitered, juce::PathStrokeType::butt));
}

void GraphView::paintBands (juce::Graphics& g, juce::Rectangle<float> p) const
{
    const auto t = traces();
    const float zeroY = yOfGain (0.0, rangeDb);

    for (const auto& area : t.areas)
    {
        juce::Path path;
        path.startNewSubPath (p.getX(), zeroY);
        for (size_t j = 0; j < t.xs.size(); ++j)
            path.lineTo (t.xs[j], area.ys[j]);
        path.lineTo (p.getRight(), zeroY);
        path.closeSubPath();

        g.setColour (ui::bandColour (area.band).withAlpha (isSelected (area.band) ? 0.22f : 0.10f));
        g.fillPath (path);
    }

    for (const auto& trace : t.curves)
    {
        juce::Path path;
        path.startNewSubPath (t.xs[0], trace.ys[0]);
        for (size_t j = 1; j < t.xs.size(); ++j)
            path.lineTo (t.xs[j], trace.ys[j]);

        g.setColour (trace.thick ? ui::metal : ui::metal2);
        g.strokePath (path, juce::PathStrokeType (trace.thick ? 2.0f : 1.6f, juce::PathStrokeType::curved,
                                                  juce::PathStrokeType::rounded));
    }
}

void GraphView::paintPoints (juce::Graphics& g) const
{
    static constexpr const char* kLetters[] { "", "M", "S", "L", "R" };

    for (int b = 0; b < tl::kNumBands; ++b)
    {
        const auto& band = curve.bands[(size_t) b];
        if (isFreeBand (band))
            continue;

        const auto pos = nodePos (band);
        const auto colour = ui::bandColour (b);
        auto disc = [&] (float diameter) { return juce::Rectangle<float> (diameter, diameter).withCentre (pos); };

        if (band.on)
        {
            g.setColour (colour.withAlpha (b == hovered || isSelected (b) ? 0.35f : 0.18f));
            g.fillEllipse (disc (22.0f));
            g.setColour (colour);
            g.fillEllipse (disc (9.0f));
        }
        else
        {
            g.setColour (ui::textDim);
            g.drawEllipse (disc (9.0f), 1.2f);
        }

        if (b == selected)
        {
            g.setColour (ui::text);
            g.drawEllipse (disc (16.0f), 1.2f);
        }

        if (band.ch != tl::Stereo)
        {
            g.setColour (ui::textDim);
            g.setFont (ui::bold (9.0f));
            g.drawText (kLetters[std::clamp (band.ch, 0, 4)], juce::Rectangle<float> (pos.x - 6.0f, pos.y - 19.0f, 12.0f, 10.0f),
                        juce::Justification::centred, true);
        }
    }
}

void GraphView::paintOverlays (juce::Graphics& g, juce::Rectangle<float> p) const
{
    const int listened = processor.listenBand.load();
    if (listened >= 0 && listened < tl::kNumBands)
    {
        if (const auto region = listenRegion (curve.bands[(size_t) listened]))
        {
            const float lo = std::clamp (xOf (std::max (20.0, region->first)), p.getX(), p.getRight());
            const float hi = std::clamp (xOf (std::min (20000.0, region->second)), p.getX(), p.getRight());
            g.setColour (ui::warn.withAlpha (0.07f));
            g.fillRect (juce::Rectangle<float> (lo, p.getY(), hi - lo, p.getHeight()));
            g.setColour (ui::warn.withAlpha (0.75f));
            if (region->first > 20.0)
                g.drawVerticalLine ((int) lo, p.getY(), p.getBottom());
            if (region->second < 20000.0)
                g.drawVerticalLine ((int) hi, p.getY(), p.getBottom());
        }
    }

    if (circleVisible && dragMode == 0)
    {
        g.setColour (ui::metal.withAlpha (0.18f));
        g.fillEllipse (juce::Rectangle<float> (18.0f, 18.0f).withCentre (circlePos));
        g.setColour (ui::metal);
        g.drawEllipse (juce::Rectangle<float> (9.0f, 9.0f).withCentre (circlePos), 1.4f);

        const juce::Rectangle<float> tag (circlePos.x - 32.0f, p.getBottom() + 2.0f, 64.0f, 14.0f);
        g.setColour (ui::bg);
        g.fillRect (tag);
        g.setColour (ui::text);
        g.setFont (ui::regular (10.5f));
        g.drawText (hzString (hzAt (circlePos.x)), tag, juce::Justification::centred, true);
    }

    if (dragMode == 2)
    {
        g.setColour (ui::text.withAlpha (0.08f));
        g.fillRect (rubber);
        g.setColour (ui::text.withAlpha (0.35f));
        g.drawRect (rubber, 1.0f);
    }

    const bool delta = processor.apvts.getRawParameterValue ("delta")->load() > 0.5f;
    const int monitor = (int) processor.apvts.getRawParameterValue ("monitor")->load();
    if (delta || monitor > 0)
    {
        g.setColour (ui::warn.withAlpha (0.8f));
        g.drawRect (p, 1.5f);

        const auto text = badgeText (delta, monitor);
        const auto font = ui::bold (10.5f);
        const float w = std::ceil (font.getStringWidthFloat (text)) + 22.0f;
        const juce::Rectangle<float> badge (p.getX() + p.getWidth() / 2.0f - w / 2.0f, p.getY() + 5.0f, w, 18.0f);
        g.fillRoundedRectangle (badge, 9.0f);
        g.setColour (ui::bg);
        g.setFont (font);
        g.drawText (text, badge, juce::Justification::centred, true);
    }

    if (listening)
    {
        g.setColour (ui::warn);
        g.setFont (ui::bold (10.5f));
        g.drawText (ui::inCurrentLanguage (ui::tip ("ESCUCHANDO LA BANDA", "LISTENING TO THE BAND")),
                    juce::Rectangle<float> (p.getX() + 8.0f, p.getY(), std::max (0.0f, p.getWidth() - 16.0f), 20.0f),
                    juce::Justification::centredRight, true);
    }

    if (fullWarnTicks > 0)
    {
        g.setColour (ui::warn);
        g.setFont (ui::bold (11.0f));
        g.drawText (ui::inCurrentLanguage (ui::tip ("LAS 24 BANDAS ESTÁN EN USO", "ALL 24 BANDS ARE IN USE")),
                    juce::Rectangle<float> (p.getX() + 8.0f, p.getY() + 8.0f, std::max (0.0f, p.getWidth() - 16.0f), 20.0f),
                    juce::Justification::centred, true);
    }
}
