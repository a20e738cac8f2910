// The graph's mouse handling: hover and the create circle, band creation, dragging points,
// rubber-band selection, the wheel, double-click, the band menu, listening, and where the
// context box goes.

#include "editor/GraphView.h"

#include "dsp/Display.h"
#include "editor/BandEdits.h"
#include "editor/BandMenu.h"
#include "preferences/Preferences.h"
#include "processor/PluginProcessor.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace
{
    constexpr float kHitDistance = 11.0f;
    constexpr float kCircleDistance = 8.0f;
    constexpr float kCreateDragDistance = 4.0f;
    constexpr double kOctavesShown = 9.965784284662087;     // log2 (1000)
}

//==============================================================================
bool GraphView::isSelected (int band) const
{
    return std::find (selection.begin(), selection.end(), band) != selection.end();
}

int GraphView::nodeAt (juce::Point<float> p) const
{
    int best = -1;
    float bestDistance = kHitDistance;

    for (int b = 0; b < tl::kNumBands; ++b)
    {
        const auto& band = curve.bands[(size_t) b];
        if (isFreeBand (band))
            continue;

        if (const float d = nodePos (band).getDistanceFrom (p); d < bestDistance)
        {
            best = b;
            bestDistance = d;
        }
    }

    return best;
}

int GraphView::createBandAt (juce::Point<float> p)
{
    int band = -1;
    for (int b = 0; b < tl::kNumBands && band < 0; ++b)
        if (isFreeBand (curve.bands[(size_t) b]))
            band = b;

    if (band < 0)
    {
        fullWarnTicks = 60;
        return -1;
    }

    const auto area = plot();
    double gain = ((area.getY() + area.getHeight() / 2.0f) - p.y) / (area.getHeight() / 2.0f) * rangeDb;
    if (curve.scale != 0.0)
        gain /= curve.scale;
    gain = std::clamp (gain, -30.0, 30.0);
    const double hz = hzAt (p.x);

    struct Zone { int type; double freq, gain, q; };
    const Zone zone = hz < 30.0     ? Zone { tl::LowCut, std::max (hz, 10.0), 0.0, 0.7 }
                    : hz < 120.0    ? Zone { tl::LowShelf, hz, gain, 0.7 }
                    : hz <= 8000.0  ? Zone { tl::Bell, hz, gain, 1.0 }
                    : hz <= 16000.0 ? Zone { tl::HighShelf, hz, gain, 0.7 }
                                    : Zone { tl::HighCut, std::min (hz, 22000.0), 0.0, 0.7 };

    params.setGesture (band, "type", (float) zone.type);
    params.setGesture (band, "freq", (float) zone.freq);
    params.setGesture (band, "gain", (float) zone.gain);
    params.setGesture (band, "q", (float) zone.q);
    params.setGesture (band, "slope", 3.0f);            // 24 dB/oct
    params.setGesture (band, "on", 1.0f);

    // Drawn and draggable before the next timer tick.
    curve = processor.curve();
    return band;
}

void GraphView::select (int band)
{
    selection.clear();
    if (band >= 0)
        selection.push_back (band);
    selected = band;

    placeBox();

    if (onSelect)
        onSelect();
}

//==============================================================================
void GraphView::placeBox()
{
    if (box.isInUse())
    {
        box.refresh();
        return;
    }

    int shown = selected;
    if (dragMode == 0)
    {
        if (pendingCreate)
            shown = -1;
        else if (hovered >= 0 && box.dwellTicks > 2)
            shown = hovered;
        else if (hovered < 0 && box.boxLingerTicks > 0)
            shown = box.boxBand;
    }

    if (shown < 0 || shown >= tl::kNumBands || pendingCreate || isFreeBand (curve.bands[(size_t) shown]))
    {
        box.setVisible (false);
        return;
    }

    box.band = shown;
    box.refresh();

    const auto p = plot();
    const auto node = nodePos (curve.bands[(size_t) shown]);
    const float width = 150.0f, height = 64.0f;
    const float x = p.getX() + std::clamp (node.x - p.getX() - 75.0f, 0.0f, std::max (0.0f, p.getWidth() - width));

    const float d = node.y - p.getY();
    float offset;
    if (p.getHeight() >= d + 18.0f + height)
        offset = d + 18.0f;                                     // below the point
    else if (d - 18.0f - height >= 0.0f)
        offset = d - 18.0f - height;                            // above it
    else
        offset = std::min (std::max (0.0f, p.getHeight() - height), d + 18.0f);

    box.setBounds ((int) x, (int) (p.getY() + offset), (int) width, (int) height);
    box.setVisible (true);
}

void GraphView::deleteBoxBand()
{
    if (box.band >= 0)
    {
        processor.undoManager.beginNewTransaction();
        params.reset (box.band);
        if (box.band == selected)
            select (-1);
    }

    box.setVisible (false);
}

//==============================================================================
juce::PopupMenu GraphView::bandMenu (int band) const
{
    const auto& b = curve.bands[(size_t) band];
    juce::PopupMenu menu;
    bandmenu::addTypeAndChannel (menu, b.type, b.ch, 1, 20);
    menu.addSeparator();
    menu.addItem (40, b.on ? ui::inCurrentLanguage (ui::tip ("Apagar", "Turn off"))
                           : ui::inCurrentLanguage (ui::tip ("Encender", "Turn on")));
    menu.addItem (41, ui::inCurrentLanguage (ui::tip ("Borrar", "Delete")));
    return menu;
}

void GraphView::showBandMenu (int band)
{
    bandMenu (band).showMenuAsync (juce::PopupMenu::Options().withMousePosition(),
                                   [safe = juce::Component::SafePointer<GraphView> (this), band] (int result)
                                   {
                                       if (safe != nullptr)
                                           safe->applyBandMenu (band, result);
                                   });
}

void GraphView::applyBandMenu (int band, int result)
{
    if (result <= 0 || band < 0 || band >= tl::kNumBands)
        return;

    processor.undoManager.beginNewTransaction();

    if (result >= 1 && result <= 7)
        params.setGesture (band, "type", (float) (result - 1));
    else if (result >= 20 && result <= 24)
        params.setGesture (band, "ch", (float) (result - 20));
    else if (result == 40)
        params.setGesture (band, "on", curve.bands[(size_t) band].on ? 0.0f : 1.0f);
    else if (result == 41)
    {
        params.reset (band);
        select (-1);
    }
}

//==============================================================================
void GraphView::mouseMove (const juce::MouseEvent& e)
{
    const auto m = e.position;

    if (const int h = nodeAt (m); h != hovered)
    {
        hovered = h;
        repaint();
    }

    if (hovered >= 0)
    {
        setMouseCursor (juce::MouseCursor::DraggingHandCursor);
        if (circleVisible)
        {
            circleVisible = false;
            repaint();
        }
        return;
    }

    setMouseCursor (juce::MouseCursor::NormalCursor);

    const auto p = plot();
    const float yc = yOfGain (tl::summedDb (curve, tl::kMainCurveChannels, hzAt (m.x)), rangeDb);
    const bool inside = m.x >= p.getX() && m.y >= p.getY() && m.x < p.getRight() && m.y < p.getBottom();

    if (inside && std::abs (m.y - yc) < kCircleDistance)
    {
        circleVisible = true;
        circlePos = { m.x, yc };
        repaint();
    }
    else
    {
        circlePos = { m.x, yc };
        if (circleVisible)
        {
            circleVisible = false;
            repaint();
        }
    }
}

void GraphView::mouseExit (const juce::MouseEvent&)
{
    hovered = -1;
    circleVisible = false;
    repaint();
}

void GraphView::mouseDown (const juce::MouseEvent& e)
{
    if (e.getNumberOfClicks() < 2)
        createdByClick = -1;

    pressPos = e.position;
    const int b = nodeAt (e.position);
    const bool right = e.mods.isRightButtonDown();
    const bool shift = e.mods.isShiftDown();

    if (right && ! shift)
    {
        if (b >= 0)
        {
            if (! isSelected (b))
                select (b);
            showBandMenu (b);
        }
        return;
    }

    if (right)
    {
        if (b >= 0)
            pressBand (b, true);
        return;
    }

    if (b >= 0)
        pressBand (b, false);
    else if (circleVisible)
    {
        pendingCreate = true;
        pressPos = circlePos;
    }
    else
    {
        dragMode = 2;
        rubber = {};
    }
}

void GraphView::pressBand (int band, bool listen)
{
    if (! isSelected (band))
        select (band);
    else
    {
        selected = band;
        if (onSelect)
            onSelect();
    }

    if (listen)
    {
        listening = true;
        processor.listenBand.exchange (band);
    }

    beginDragOf (selection);
}

void GraphView::beginDragOf (const std::vector<int>& bands)
{
    dragMode = 1;
    dragRangeDb = rangeDb;
    dragStart.clear();

    for (const int b : bands)
    {
        // A band deleted or undone meanwhile may still be listed; it stays deleted.
        const auto& band = curve.bands[(size_t) b];
        if (isFreeBand (band))
            continue;

        dragStart.push_back ({ b, band.freq, band.gain });
        params.param (b, "freq")->beginChangeGesture();
        params.param (b, "gain")->beginChangeGesture();
    }
}

void GraphView::mouseDrag (const juce::MouseEvent& e)
{
    if (pendingCreate)
    {
        if (e.position.getDistanceFrom (pressPos) <= kCreateDragDistance)
            return;

        pendingCreate = false;
        circleVisible = false;
        const int b = createBandAt (pressPos);
        if (b < 0)
            return;

        select (b);
        beginDragOf ({ b });
    }

    if (dragMode == 2)
    {
        rubber = juce::Rectangle<float> (pressPos, e.position);
        repaint();
    }
    else if (dragMode == 1)
    {
        dragBandsTo (e.position, e.mods.isShiftDown());
    }
}

void GraphView::dragBandsTo (juce::Point<float> pointer, bool shift)
{
    const auto p = plot();
    const double fine = shift && ! listening ? 0.1 : 1.0;
    const double dx = pointer.x - pressPos.x;
    const double dy = pressPos.y - pointer.y;
    const double ratio = std::pow (2.0, dx / p.getWidth() * kOctavesShown * fine);

    double gainStep = dy / (p.getHeight() / 2.0) * dragRangeDb * (fine < 1.0 ? 0.1 : 1.0);
    if (std::abs (curve.scale) >= 0.01)
        gainStep /= curve.scale;

    for (const auto& start : dragStart)
    {
        params.set (start.band, "freq", (float) std::clamp (start.freq * ratio, 10.0, 22000.0));
        if (tl::hasGain (curve.bands[(size_t) start.band].type))
            params.set (start.band, "gain", (float) std::clamp (start.gain + gainStep, -30.0, 30.0));
    }
}

void GraphView::mouseUp (const juce::MouseEvent&)
{
    if (pendingCreate)
    {
        pendingCreate = false;
        select (createBandAt (pressPos));
        circleVisible = false;
        createdByClick = selected;
    }

    if (dragMode == 1)
    {
        for (const auto& start : dragStart)
        {
            params.param (start.band, "freq")->endChangeGesture();
            params.param (start.band, "gain")->endChangeGesture();
        }
    }
    else if (dragMode == 2)
    {
        selection.clear();
        for (int b = 0; b < tl::kNumBands; ++b)
        {
            const auto& band = curve.bands[(size_t) b];
            const auto pos = nodePos (band);
            if (! isFreeBand (band) && pos.x >= rubber.getX() && pos.y >= rubber.getY()
                && pos.x < rubber.getRight() && pos.y < rubber.getBottom())
                selection.push_back (b);
        }
        selected = selection.empty() ? -1 : selection.front();
        if (onSelect)
            onSelect();
    }

    if (listening)
    {
        listening = false;
        processor.listenBand.exchange (-1);
    }

    dragMode = 0;
    dragStart.clear();
    rubber = {};
    placeBox();
    repaint();
}

void GraphView::mouseDoubleClick (const juce::MouseEvent& e)
{
    if (e.mods.isRightButtonDown())
        return;

    // The second click of a double-click on the circle lands on the band the first created.
    const int created = std::exchange (createdByClick, -1);
    if (const int b = nodeAt (e.position); b >= 0 && b != created)
        params.setGesture (b, "on", curve.bands[(size_t) b].on ? 0.0f : 1.0f);
}

void GraphView::mouseWheelMove (const juce::MouseEvent& e, const juce::MouseWheelDetails& wheel)
{
    const int b = nodeAt (e.position);
    if (b < 0 || wheel.deltaY == 0.0f)
        return;

    bandedit::groupWheelSteps (processor.undoManager, lastWheelMs);
    bandedit::wheel (params, b, wheel.deltaY, e.mods.isShiftDown());
    curve = processor.curve();
    repaint();
}
