#include "editor/ContextBox.h"

#include "editor/BandEdits.h"
#include "editor/BandMenu.h"
#include "editor/Palette.h"
#include "editor/TypedEntry.h"
#include "preferences/Preferences.h"
#include "processor/PluginProcessor.h"

#include <cmath>

ContextBox::ContextBox (TirelAudioProcessor& p)
    : processor (p), params (p), accent (ui::metal)
{
    onButton.icon = IconButton::power;
    onButton.colour = ui::rise;
    onButton.setTooltip (ui::tip ("Enciende o apaga la banda.", "Turns the band on or off."));
    onButton.onClick = [this]
    {
        if (band >= 0)
            params.setGesture (band, "on", params.get (band, "on") > 0.5f ? 0.0f : 1.0f);
    };

    listenButton.icon = IconButton::headphones;
    listenButton.colour = ui::warn;
    listenButton.setTooltip (ui::tip ("Mantén pulsado para escuchar la zona de la banda; arrastra a los lados para recorrer la frecuencia (Shift: fino).",
                                      "Hold to listen to the band's area; drag sideways to sweep the frequency (Shift: fine)."));
    listenButton.onDown = [this]
    {
        if (band < 0)
            return;
        processor.listenBand.exchange (band);
        sweepStartHz = params.get (band, "freq");
        sweepBand = band;
        params.param (band, "freq")->beginChangeGesture();
    };
    listenButton.onDrag = [this] (const juce::MouseEvent& e)
    {
        if (band < 0)
            return;
        const double octaves = std::round ((double) e.getDistanceFromDragStartX()) / (e.mods.isShiftDown() ? 600.0 : 60.0);
        params.set (band, "freq", (float) juce::jlimit (10.0, 22000.0, sweepStartHz * std::pow (2.0, octaves)));
        freqBox.refresh();
    };
    listenButton.onUp = [this] { endSweep(); };

    deleteButton.icon = IconButton::cross;
    deleteButton.colour = ui::rise;
    deleteButton.setTooltip (ui::tip ("Borra la banda (también con Supr).", "Deletes the band (also with Delete)."));
    deleteButton.onClick = [this]
    {
        if (band >= 0 && onDelete)
            onDelete();
    };

    typeButton.icon = IconButton::bandShape;
    typeButton.colour = ui::rise;
    typeButton.setTooltip (ui::tip ("Tipo de filtro.", "Filter type."));
    typeButton.onClick = [this]
    {
        if (band >= 0)
            bandmenu::type (processor, band, &typeButton);
    };

    menuButton.icon = IconButton::chevron;
    menuButton.colour = ui::rise;
    menuButton.setTooltip (ui::tip ("Tipo y canal (estéreo, Mid, Side, izquierdo, derecho).",
                                    "Type and channel (stereo, Mid, Side, left, right)."));
    menuButton.onClick = [this]
    {
        if (band >= 0)
            bandmenu::typeAndChannel (processor, band, &menuButton);
    };

    setUpValueBoxes();

    for (auto* child : std::initializer_list<juce::Component*> { &onButton, &freqBox, &listenButton, &deleteButton,
                                                                 &gainBox, &typeButton, &qBox, &menuButton })
        addAndMakeVisible (child);
}

ContextBox::~ContextBox()
{
    // Closed while the listen button is held: listening stops and the host's gesture ends.
    if (sweepBand >= 0)
        endSweep();
}

void ContextBox::endSweep()
{
    processor.listenBand.exchange (-1);
    if (sweepBand >= 0)
        params.param (sweepBand, "freq")->endChangeGesture();
    sweepBand = -1;
}

bool ContextBox::isCut() const
{
    const int type = (int) params.get (band, "type");
    return type == tl::LowCut || type == tl::HighCut;
}

void ContextBox::setUpValueBoxes()
{
    for (auto* box : { &freqBox, &gainBox, &qBox })
    {
        box->setFont (ui::regular (11.5f));
        box->setColour (juce::Label::backgroundColourId, juce::Colours::transparentBlack);
    }

    // Gestures bracket drags and typed values of the named parameter of the band shown.
    auto gestures = [this] (ValueBox& box, std::function<const char*()> id)
    {
        box.onGestureStart = [this, id] { if (band >= 0) params.param (band, id())->beginChangeGesture(); };
        box.onGestureEnd = [this, id] { if (band >= 0) params.param (band, id())->endChangeGesture(); };
    };

    freqBox.getValue = [this] { return (double) params.get (band, "freq"); };
    freqBox.setValue = [this] (double hz) { params.set (band, "freq", (float) juce::jlimit (10.0, 22000.0, hz)); };
    freqBox.format = hzString;
    freqBox.dragMap = [] (double start, double pixels, bool fine) { return start * std::pow (2.0, pixels / (fine ? 600.0 : 60.0)); };
    freqBox.setTooltip (ui::tip ("Arrastra arriba o abajo (Shift: fino) o doble clic y escribe: 2k, 350.",
                                 "Drag up or down (Shift: fine) or double-click and type: 2k, 350."));
    gestures (freqBox, [] { return "freq"; });

    gainBox.getValue = [this] { return (double) params.get (band, "gain"); };
    gainBox.setValue = [this] (double db) { params.set (band, "gain", (float) juce::jlimit (-30.0, 30.0, db)); };
    gainBox.format = dbString;
    gainBox.dragMap = [] (double start, double pixels, bool fine) { return start + (fine ? 0.01 : 0.1) * pixels; };
    gainBox.setTooltip (ui::tip ("Ganancia: arrastra o escribe.", "Gain: drag or type."));
    gestures (gainBox, [] { return "gain"; });

    // For cuts the third box holds the slope in dB/oct, for every other type the Q.
    qBox.getValue = [this]
    {
        return isCut() ? (double) tl::kSlopes[(size_t) juce::jlimit (0, 5, (int) params.get (band, "slope"))]
                       : (double) params.get (band, "q");
    };
    qBox.setValue = [this] (double value)
    {
        if (isCut())
            params.set (band, "slope", (float) bandedit::nearestSlopeIndex (value));
        else
            params.set (band, "q", (float) bandedit::limitQ ((int) params.get (band, "type"), value));
    };
    qBox.format = [this] (double value)
    {
        return isCut() ? juce::String ((int) value) + " dB/oct" : "Q: " + juce::String (value, 3);
    };
    qBox.dragMap = [this] (double start, double pixels, bool fine)
    {
        if (isCut())
        {
            const int index = bandedit::slopeIndexAtOrAbove (start) + (int) (pixels / 25.0);
            return (double) tl::kSlopes[(size_t) juce::jlimit (0, 5, index)];
        }
        return start * std::pow (2.0, pixels / (fine ? 800.0 : 80.0));
    };
    qBox.setTooltip (ui::tip ("Q (en los cortes, la pendiente): arrastra o escribe.", "Q (on cuts, the slope): drag or type."));
    gestures (qBox, [this] { return isCut() ? "slope" : "q"; });
}

void ContextBox::refresh()
{
    if (band < 0)
        return;

    const auto b = params.read (band);
    onButton.setToggleState (b.on, juce::dontSendNotification);
    if (typeButton.shape != b.type)
    {
        typeButton.shape = b.type;
        typeButton.repaint();
    }

    gainBox.setEnabled (tl::hasGain (b.type));
    qBox.setEnabled (b.type != tl::Tilt);
    for (auto* box : { &freqBox, &gainBox, &qBox })
        box->refresh();

    if (const auto colour = ui::bandColour (band); colour != accent)
    {
        accent = colour;
        onButton.colour = accent;
        repaint();
    }
}

bool ContextBox::isInUse() const
{
    if (! isVisible())
        return false;

    for (auto& source : juce::Desktop::getInstance().getMouseSources())
        if (auto* under = source.getComponentUnderMouse(); under != nullptr && (under == this || isParentOf (under)))
            return true;

    for (auto* button : { &onButton, &listenButton, &deleteButton, &typeButton, &menuButton })
        if (button->isDown())
            return true;

    return freqBox.isBeingEdited() || gainBox.isBeingEdited() || qBox.isBeingEdited();
}

void ContextBox::advanceHover (int hovered)
{
    if (hovered < 0)
    {
        dwellTicks = 0;
        dwellBand = -1;
        if (boxLingerTicks > 0)
            --boxLingerTicks;
    }
    else if (hovered == dwellBand)
    {
        if (++dwellTicks > 2)
        {
            boxBand = hovered;
            boxLingerTicks = 12;
        }
    }
    else
    {
        dwellTicks = 1;
        dwellBand = hovered;
    }
}

void ContextBox::resized()
{
    const int a = std::max (0, getWidth() - 8);
    const int b = std::max (0, getHeight() - 6);
    const int c = b / 3;

    const int r1 = std::min (b, c);
    const int onWidth = std::min (a, c);
    const int deleteWidth = std::min (a - onWidth, c);
    const int listenWidth = std::min (a - onWidth - deleteWidth, c);
    onButton.setBounds (4, 3, onWidth, r1);
    deleteButton.setBounds (4 + a - deleteWidth, 3, deleteWidth, r1);
    listenButton.setBounds (4 + a - deleteWidth - listenWidth, 3, listenWidth, r1);
    freqBox.setBounds (4 + onWidth, 3, a - onWidth - deleteWidth - listenWidth, r1);

    const int r2 = std::min (b - r1, c);
    gainBox.setBounds (c + 4, 3 + r1, std::max (0, a - 2 * c), r2);

    const int y3 = 3 + r1 + r2;
    const int r3 = b - r1 - r2;
    const int typeWidth = std::min (c + 4, a);
    const int menuWidth = std::min (a - typeWidth, c);
    typeButton.setBounds (4, y3, typeWidth, r3);
    menuButton.setBounds (4 + a - menuWidth, y3, menuWidth, r3);
    qBox.setBounds (4 + typeWidth, y3, a - typeWidth - menuWidth, r3);
}

void ContextBox::paint (juce::Graphics& g)
{
    const auto area = getLocalBounds().toFloat().reduced (0.5f);
    g.setColour (ui::panel.withAlpha ((juce::uint8) 0xf7));
    g.fillRoundedRectangle (area, 4.0f);
    g.setColour (ui::grid.brighter (0.25f));
    g.drawRoundedRectangle (area, 4.0f, 1.0f);
}

void ContextBox::mouseWheelMove (const juce::MouseEvent& e, const juce::MouseWheelDetails& wheel)
{
    if (band < 0 || wheel.deltaY == 0.0f)
        return;

    bandedit::groupWheelSteps (processor.undoManager, lastWheelMs);
    bandedit::wheel (params, band, wheel.deltaY, e.mods.isShiftDown());
    refresh();
}
