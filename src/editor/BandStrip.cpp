#include "editor/BandStrip.h"

#include "editor/BandMenu.h"
#include "editor/Palette.h"
#include "editor/TypedEntry.h"
#include "preferences/Preferences.h"
#include "processor/Parameters.h"
#include "processor/PluginProcessor.h"

namespace
{
    const juce::String kMenuMark = juce::String::fromUTF8 ("  \xe2\x96\xbe");      // two spaces and a small down triangle
}

BandStrip::BandStrip (TirelAudioProcessor& p)
    : processor (p), params (p), accent (ui::metal)
{
    onButton.setClickingTogglesState (true);
    onButton.setColour (juce::TextButton::buttonOnColourId, ui::rise);
    onButton.setTooltip (ui::tip ("Enciende o apaga la banda (también con doble clic en su punto).",
                                  "Turns the band on or off (also by double-clicking its point)."));
    onButton.onClick = [this]
    {
        if (band >= 0)
            params.setGesture (band, "on", onButton.getToggleState() ? 1.0f : 0.0f);
    };

    typeButton.setTooltip (ui::tip ("Tipo de filtro.", "Filter type."));
    typeButton.onClick = [this]
    {
        if (band >= 0)
            bandmenu::type (processor, band, &typeButton);
    };

    slopeButton.setTooltip (ui::tip ("Pendiente del corte (también con la rueda sobre su punto).",
                                     "Cut slope (also with the wheel over its point)."));
    slopeButton.onClick = [this]
    {
        if (band >= 0)
            slopeMenu().showMenuAsync (juce::PopupMenu::Options().withTargetComponent (slopeButton),
                                       [safe = juce::Component::SafePointer<BandStrip> (this)] (int result)
                                       {
                                           if (safe != nullptr)
                                               safe->applySlopeChoice (result);
                                       });
    };

    static constexpr const char* channelTips[][2] {
        { "La banda actúa en los dos canales (estéreo).", "The band acts on both channels (stereo)." },
        { "La banda actúa solo en el centro (Mid).", "The band acts on the centre (Mid) only." },
        { "La banda actúa solo en los lados (Side).", "The band acts on the sides (Side) only." },
        { "La banda actúa solo en el canal izquierdo.", "The band acts on the left channel only." },
        { "La banda actúa solo en el canal derecho.", "The band acts on the right channel only." },
    };

    for (int c = 0; c < (int) channelButtons.size(); ++c)
    {
        auto& button = channelButtons[(size_t) c];
        button.setButtonText (tl::kChanNames[(size_t) c]);
        button.getProperties().set ("fill", true);
        button.setColour (juce::TextButton::textColourOnId, ui::bg);
        button.setTooltip (ui::tip (channelTips[c][0], channelTips[c][1]));
        button.onClick = [this, c]
        {
            if (band < 0)
                return;
            processor.undoManager.beginNewTransaction();
            params.setGesture (band, "ch", (float) c);
        };
    }

    deleteButton.setButtonText (juce::String::fromUTF8 ("\xc3\x97"));
    deleteButton.setTooltip (ui::tip ("Borra la banda (también con Supr).", "Deletes the band (also with Delete)."));
    deleteButton.onClick = [this]
    {
        if (band >= 0 && onDelete)
            onDelete();
    };

    const std::pair<juce::Slider*, juce::String> knobs[] {
        { &freqKnob, ui::tip ("Frecuencia. Arrastra la perilla (Shift: fino) o escribe en la caja: 2k, 350, 1,5k.",
                              "Frequency. Drag the knob (Shift: fine) or type in the box: 2k, 350, 1.5k.") },
        { &gainKnob, ui::tip ("Ganancia. Doble clic en la perilla: 0 dB.", "Gain. Double-click the knob: 0 dB.") },
        { &qKnob, ui::tip ("Q: lo estrecha o ancha que es la banda. En los shelves, la forma del codo (hasta 2).",
                           "Q: how narrow or wide the band is. On shelves, the shape of the knee (up to 2).") },
    };

    for (const auto& [knob, tip] : knobs)
    {
        knob->setSliderStyle (juce::Slider::RotaryHorizontalVerticalDrag);
        knob->setTextBoxStyle (juce::Slider::TextBoxBelow, false, 72, 16);
        knob->setVelocityModeParameters (0.25, 1, 0.0, true, juce::ModifierKeys::shiftModifier);
        knob->setTooltip (tip);
    }

    for (auto* control : controls())
        addChildComponent (control);

    showControls (false);
}

BandStrip::~BandStrip() = default;

std::vector<juce::Component*> BandStrip::controls()
{
    std::vector<juce::Component*> all { &onButton, &typeButton, &slopeButton, &deleteButton, &freqKnob, &gainKnob, &qKnob };
    for (auto& button : channelButtons)
        all.push_back (&button);
    return all;
}

void BandStrip::showControls (bool shown)
{
    // With no band the strip shows only its hint.
    for (auto* control : controls())
    {
        control->setEnabled (shown);
        control->setVisible (shown);
    }
}

void BandStrip::setBand (int newBand)
{
    if (newBand == band)
        return;

    // A knob held while the band goes (deleted from the keyboard, or by an undo): its
    // attachment leaves with the band, so the host's gesture ends here.
    if (band >= 0)
        for (const auto& [knob, id] : { std::pair { &freqKnob, "freq" }, std::pair { &gainKnob, "gain" }, std::pair { &qKnob, "q" } })
            if (knob->isMouseButtonDown())
                params.param (band, id)->endChangeGesture();

    band = newBand;
    freqAttachment.reset();
    gainAttachment.reset();
    qAttachment.reset();

    showControls (band >= 0);

    if (band >= 0)
    {
        const std::tuple<juce::Slider*, std::unique_ptr<juce::SliderParameterAttachment>*, const char*, double> knobs[] {
            { &freqKnob, &freqAttachment, "freq", 1000.0 },
            { &gainKnob, &gainAttachment, "gain", 0.0 },
            { &qKnob, &qAttachment, "q", 1.0 },
        };

        for (const auto& [knob, attachment, id, resetValue] : knobs)
        {
            *attachment = std::make_unique<juce::SliderParameterAttachment> (*params.param (band, id), *knob, &processor.undoManager);

            // Typed text follows the editor's rule; text without a number keeps the value.
            knob->valueFromTextFunction = [k = knob] (const juce::String& text) { return parseTyped (text).value_or (k->getValue()); };
            knob->setDoubleClickReturnValue (true, resetValue);
            knob->updateText();
        }

        refresh();
    }

    repaint();
}

void BandStrip::refresh()
{
    if (band < 0)
        return;

    const auto b = params.read (band);

    onButton.setToggleState (b.on, juce::dontSendNotification);
    onButton.setButtonText (b.on ? "ON" : "OFF");
    typeButton.setButtonText (bandmenu::kTypeNames[(size_t) b.type] + kMenuMark);

    for (int c = 0; c < (int) channelButtons.size(); ++c)
        channelButtons[(size_t) c].setToggleState (c == b.ch, juce::dontSendNotification);

    const bool isCut = b.type == tl::LowCut || b.type == tl::HighCut;
    slopeButton.setVisible (isCut);
    slopeButton.setButtonText (juce::String (b.slope) + " dB/oct" + kMenuMark);

    gainKnob.setEnabled (tl::hasGain (b.type));
    qKnob.setEnabled (b.type != tl::Tilt && ! isCut);

    if (const auto colour = ui::bandColour (band); colour != accent)
    {
        accent = colour;
        for (auto* knob : { &freqKnob, &gainKnob, &qKnob })
            knob->setColour (juce::Slider::rotarySliderFillColourId, accent);
        for (auto& button : channelButtons)
            button.setColour (juce::TextButton::buttonOnColourId, accent);
        repaint();
    }
}

juce::PopupMenu BandStrip::slopeMenu() const
{
    const int current = band >= 0 ? (int) params.get (band, "slope") : -1;
    juce::PopupMenu menu;
    for (int i = 0; i < (int) tl::kSlopes.size(); ++i)
        menu.addItem (i + 1, juce::String (tl::kSlopes[(size_t) i]) + " dB/oct", true, i == current);
    return menu;
}

void BandStrip::applySlopeChoice (int result)
{
    if (band < 0 || result < 1 || result > (int) tl::kSlopes.size())
        return;

    processor.undoManager.beginNewTransaction();
    params.setGesture (band, "slope", (float) (result - 1));
}

void BandStrip::resized()
{
    const int a = std::max (0, getWidth() - 20);
    const int c = std::max (0, getHeight() - 12);

    bandLabel = { 10, 6, std::min (a, 80), std::min (c, 20) };
    const int labelHeight = bandLabel.getHeight();
    const int gap = std::min (6, c - labelHeight);
    onButton.setBounds (10, 6 + labelHeight + gap, 52, std::min (24, c - labelHeight - gap));

    typeButton.setBounds (98, 6 + (c - 54) / 2, 128, 24);
    slopeButton.setBounds (98, 6 + (c - 54) / 2 + 30, 128, 24);
    deleteButton.setBounds (10 + a - 28, 6 + (c - 24) / 2, 28, 24);

    const int t = 226 + (a - 80 - 8 - 128 - 28 - 8 - 464) / 2;
    freqLabel = { t, 6, 96, 12 };
    gainLabel = { t + 96, 6, 96, 12 };
    qLabel = { t + 192, 6, 96, 12 };
    freqKnob.setBounds (t, 18, 96, c - 12);
    gainKnob.setBounds (t + 96, 18, 96, c - 12);
    qKnob.setBounds (t + 192, 18, 96, c - 12);

    channelLabel = { t + 304, 6, 160, 12 };
    for (int i = 0; i < (int) channelButtons.size(); ++i)
        channelButtons[(size_t) i].setBounds (t + 304 + 32 * i, 18 + (c - 12 - 26) / 2, 30, 26);
}

void BandStrip::paint (juce::Graphics& g)
{
    g.setColour (ui::panel);
    g.fillRoundedRectangle (getLocalBounds().toFloat(), 3.0f);
    g.setColour (ui::textDim);

    if (band < 0)
    {
        g.setFont (ui::bold (10.5f));
        g.drawText (ui::inCurrentLanguage (ui::tip ("Pasa el ratón por la curva y haz clic en el círculo para crear una banda",
                                                    "Move the mouse over the curve and click the circle to create a band")),
                    getLocalBounds(), juce::Justification::centred, true);
        return;
    }

    g.setFont (ui::bold (10.5f));
    g.drawText (ui::inCurrentLanguage (ui::tip ("BANDA ", "BAND ")) + juce::String (band + 1), bandLabel,
                juce::Justification::centredLeft, true);

    g.setFont (ui::bold (9.5f));
    g.drawText ("FREQ", freqLabel, juce::Justification::centred, true);
    g.drawText ("GAIN", gainLabel, juce::Justification::centred, true);
    g.drawText ("Q", qLabel, juce::Justification::centred, true);
    g.drawText (ui::inCurrentLanguage (ui::tip ("CANAL", "CHANNEL")), channelLabel, juce::Justification::centred, true);
}
