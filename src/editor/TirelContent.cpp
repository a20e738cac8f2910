#include "editor/TirelContent.h"

#include "BinaryData.h"
#include "dsp/Linear.h"
#include "editor/Palette.h"
#include "editor/TypedEntry.h"
#include "presets/Presets.h"
#include "processor/BandParams.h"
#include "processor/PluginProcessor.h"

namespace
{
    const juce::String kMenuMark = juce::String::fromUTF8 ("  \xe2\x96\xbe");      // two spaces and a small down triangle

    juce::String inLanguage (const char* spanish, const char* english) { return ui::inCurrentLanguage (ui::tip (spanish, english)); }

    int stateInt (const juce::ValueTree& state, const char* name, int defaultValue)
    {
        return (int) state.getProperty (name, defaultValue);
    }
}

TirelContent::TirelContent (TirelAudioProcessor& p)
    : processor (p), graph (p), strip (p)
{
    setLookAndFeel (&lookAndFeel);
    setWantsKeyboardFocus (true);
    addAndMakeVisible (graph);
    addAndMakeVisible (strip);

    strip.onDelete = [this] { deleteSelectedBands(); };
    graph.onSelect = [this]
    {
        strip.setBand (graph.selected);
        processor.apvts.state.setProperty ("selected", graph.selected, nullptr);
    };

    graph.refreshFromProcessor();
    const int stored = stateInt (processor.apvts.state, "selected", -1);
    if (stored >= 0 && stored < tl::kNumBands && ! isFreeBand (graph.curve.bands[(size_t) stored]))
        graph.select (stored);

    titleButton.setMouseCursor (juce::MouseCursor::PointingHandCursor);
    addAndMakeVisible (titleButton);
    titleButton.onClick = [this] { showAbout(); };
    wireHeader();
    wireFooter();

    emblem = juce::Drawable::createFromImageData (BinaryData::emblema_pequeno_svg, BinaryData::emblema_pequeno_svgSize);
    addMouseListener (this, true);
    setTooltipsEnabled (preferences::readSetting (preferences::currentTips, "tips", 1) != 0);

    setSize (900, 600);
    startTimer (33);
}

TirelContent::~TirelContent()
{
    removeMouseListener (this);
    stopTimer();
    aboutWindow.reset();
    tooltipWindow.reset();
    setLookAndFeel (nullptr);
    bypassAttachment.reset();
    matchAttachment.reset();
    deltaAttachment.reset();
}

//==============================================================================
void TirelContent::wireHeader()
{
    presetButton.setTooltip (ui::tip ("Presets: los tuyos, guardar y volver a los valores de inicio.",
                                      "Presets: your own, save, and back to the default settings."));
    presetButton.onClick = [this] { showPresetMenu(); };

    undoButton.setTooltip (ui::tip ("Deshacer (Ctrl+Z).", "Undo (Ctrl+Z)."));
    undoButton.onClick = [this] { processor.undoManager.undo(); };
    redoButton.setTooltip (ui::tip ("Rehacer (Ctrl+Y).", "Redo (Ctrl+Y)."));
    redoButton.onClick = [this] { processor.undoManager.redo(); };

    const auto compareTip = ui::tip ("Compara dos ajustes completos: A y B. Cada uno guarda todas las bandas y los controles.",
                                     "Compare two complete settings: A and B. Each one stores every band and control.");
    compareAButton.setTooltip (compareTip);
    compareAButton.onClick = [this] { processor.selectCompare (0); };
    compareBButton.setTooltip (compareTip);
    compareBButton.onClick = [this] { processor.selectCompare (1); };

    copyButton.setTooltip (ui::tip ("Copia el ajuste actual al otro.", "Copy the current setting to the other one."));
    copyButton.onClick = [this] { processor.copyToOtherCompareSlot(); };

    analyserButton.setClickingTogglesState (true);
    analyserButton.setColour (juce::TextButton::buttonOnColourId, ui::rise);
    analyserButton.setToggleState ((bool) processor.apvts.state.getProperty ("analyser", true), juce::dontSendNotification);
    processor.analyserOn = analyserButton.getToggleState();
    analyserButton.setTooltip (ui::tip (
        "Analizador: la línea gris es la entrada, el relleno la salida; entre ambas, en rosa lo que Tirel sube y en índigo lo que baja. Apagado no gasta nada.",
        "Analyzer: the grey line is the input, the fill is the output; between them, in pink what Tirel raises and in indigo what it lowers. Off, it costs nothing."));
    analyserButton.onClick = [this]
    {
        processor.analyserOn = analyserButton.getToggleState();
        processor.apvts.state.setProperty ("analyser", analyserButton.getToggleState(), nullptr);
    };

    analyserMenuButton.setButtonText (juce::String::fromUTF8 ("\xe2\x96\xbe"));
    analyserMenuButton.setTooltip (ui::tip (
        "Ajustes del analizador: resolución (más alta, más detalle en graves y se actualiza más despacio), velocidad de caída "
        "(sube siempre al instante), tilt alrededor de 1 kHz (0 por defecto; 4,5 dB/oct es lo más parecido al oído) y rango. "
        "Ventana: Blackman-Harris: nivel general con buena precisión. Flat Top: medir picos con exactitud. Hann: más detalle. "
        "Kaiser: equilibrio entre detalle y fugas (a más beta, menos fugas y menos detalle). Se guarda con la sesión.",
        "Analyzer settings: resolution (higher: more low-end detail, slower updates), fall speed (it always rises instantly), "
        "tilt around 1 kHz (0 by default; 4.5 dB/oct is closest to the ear) and range. Window: Blackman-Harris: overall level "
        "with good accuracy. Flat Top: exact peak measurement. Hann: more detail. Kaiser: balance between detail and leakage "
        "(higher beta, less leakage and less detail). Saved with the session."));
    analyserMenuButton.onClick = [this] { showAnalyserMenu(); };

    bypassButton.setClickingTogglesState (true);
    bypassButton.setColour (juce::TextButton::buttonOnColourId, ui::warn);
    bypassButton.setColour (juce::TextButton::textColourOnId, ui::warn);
    bypassButton.setTooltip (ui::tip ("Deja pasar la señal sin procesar, con un fundido corto para comparar sin saltos.",
                                      "Passes the signal unprocessed, with a short fade so you can compare without jumps."));
    bypassAttachment = std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (processor.apvts, "bypass", bypassButton);

    modeButton.getProperties().set ("small", true);
    modeButton.setTooltip (ui::tip (
        "Modo del ecualizador. Zero Latency: sin latencia, para casi todo. Linear Phase y Linear HQ: fase lineal (no cambia la "
        "fase entre frecuencias), con latencia que el DAW compensa solo. En fase lineal puede aparecer pre-ringing: un eco suave "
        "justo antes de los golpes, sobre todo con cortes empinados en graves. Las instancias nuevas empiezan en Zero Latency.",
        "Equalizer mode. Zero Latency: no latency, for almost everything. Linear Phase and Linear HQ: linear phase (no phase "
        "shift between frequencies), with latency the DAW compensates automatically. Linear phase can show pre-ringing: a soft "
        "echo just before transients, mostly with steep low cuts. New instances start in Zero Latency."));
    modeButton.onClick = [this] { showModeMenu(); };

    for (auto* b : std::initializer_list<juce::Component*> { &presetButton, &undoButton, &redoButton, &compareAButton, &compareBButton,
                                                             &copyButton, &analyserButton, &analyserMenuButton, &bypassButton, &modeButton })
        addAndMakeVisible (b);
}

void TirelContent::wireFooter()
{
    setupGlobalBox (scaleBox, "scale", scaleText, 0.5);
    scaleBox.setTooltip (ui::tip (
        "Escala: cuánto de toda la curva se aplica. 100 % tal cual, 50 % la mitad, 0 % nada, −100 % la curva al revés. Para "
        "suavizar o exagerar un ajuste entero de una vez. No toca los cortes ni el notch.",
        "Scale: how much of the whole curve is applied. 100 % as is, 50 % half, 0 % none, −100 % the curve inverted. To soften "
        "or exaggerate a whole setting at once. Cuts and notch are not affected."));
    setupGlobalBox (outputBox, "output", outputText, 0.1);
    outputBox.setTooltip (ui::tip ("Ganancia de salida. Con LEVEL MATCH, es un ajuste sobre el nivel ya compensado.",
                                   "Output gain. With LEVEL MATCH on, it trims the already matched level."));

    deltaButton.setClickingTogglesState (true);
    deltaButton.getProperties().set ("fill", true);
    deltaButton.setColour (juce::TextButton::buttonOnColourId, ui::warn);
    deltaButton.setColour (juce::TextButton::textColourOnId, ui::bg);
    deltaButton.setTooltip (ui::tip (
        "Escucha solo lo que Tirel cambia: lo procesado menos la entrada. Con LEVEL MATCH la diferencia ya va compensada de "
        "nivel. No lo dejes puesto al exportar.",
        "Listen only to what Tirel changes: the processed signal minus the input. With LEVEL MATCH the difference is already "
        "level-compensated. Do not leave it on when exporting."));
    addAndMakeVisible (deltaButton);

    static constexpr const char* monitorNames[] { "MID", "SIDE", "L", "R" };
    static constexpr const char* monitorTips[][2] {
        { "Escucha solo el centro (Mid) por los dos altavoces. Otra vez: estéreo.", "Listen to the centre (Mid) only, on both speakers. Again: stereo." },
        { "Escucha solo los lados (Side) por los dos altavoces. Otra vez: estéreo.", "Listen to the sides (Side) only, on both speakers. Again: stereo." },
        { "Escucha solo el canal izquierdo por los dos altavoces. Otra vez: estéreo.", "Listen to the left channel only, on both speakers. Again: stereo." },
        { "Escucha solo el canal derecho por los dos altavoces. Otra vez: estéreo.", "Listen to the right channel only, on both speakers. Again: stereo." },
    };

    for (int i = 0; i < (int) monitorButtons.size(); ++i)
    {
        auto& button = monitorButtons[(size_t) i];
        button.setButtonText (monitorNames[i]);
        button.getProperties().set ("fill", true);
        button.setColour (juce::TextButton::buttonOnColourId, ui::warn);
        button.setColour (juce::TextButton::textColourOnId, ui::bg);
        button.setTooltip (ui::tip (monitorTips[i][0], monitorTips[i][1]));
        button.onClick = [this, i]
        {
            // From the parameter's current value: a second click on the lit button is stereo again.
            auto* monitor = processor.apvts.getParameter ("monitor");
            const int current = (int) monitor->convertFrom0to1 (monitor->getValue());
            monitor->beginChangeGesture();
            setParameter (processor, *monitor, current == i + 1 ? 0.0f : (float) (i + 1));
            monitor->endChangeGesture();
        };
        addAndMakeVisible (button);
    }

    deltaAttachment = std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (processor.apvts, "delta", deltaButton);

    matchButton.setClickingTogglesState (true);
    matchButton.setColour (juce::TextButton::buttonOnColourId, ui::rise);
    matchButton.setTooltip (ui::tip (
        "Conserva el nivel percibido: compensa sola la sonoridad que añade o quita la curva (medida a medio plazo, como el "
        "oído). Así comparas el color, no el volumen.",
        "Preserves perceived level: automatically compensates the loudness the curve adds or removes (measured over a few "
        "seconds, like the ear). You compare tone, not volume."));
    matchAttachment = std::make_unique<juce::AudioProcessorValueTreeState::ButtonAttachment> (processor.apvts, "match", matchButton);
    addAndMakeVisible (matchButton);

    languageButton.setTooltip (ui::tip ("Idioma de la ayuda: español / inglés.", "Help language: Spanish / English."));
    languageButton.onClick = [this]
    {
        preferences::writeSetting (preferences::currentLang, "lang", ! ui::langEn());
        repaint();
    };
    addAndMakeVisible (languageButton);

    tipsButton.setClickingTogglesState (true);
    tipsButton.setToggleState (preferences::readSetting (preferences::currentTips, "tips", 1) == 1, juce::dontSendNotification);
    tipsButton.setTooltip (ui::tip ("Enciende o apaga estas ayudas.", "Turn these hints on or off."));
    tipsButton.onClick = [this]
    {
        preferences::writeSetting (preferences::currentTips, "tips", tipsButton.getToggleState());
        setTooltipsEnabled (tipsButton.getToggleState());
    };
    addAndMakeVisible (tipsButton);
}

void TirelContent::setupGlobalBox (ValueBox& box, const char* paramId, std::function<juce::String (double)> text, double step)
{
    auto* param = processor.apvts.getParameter (paramId);
    jassert (param != nullptr);

    box.getValue = [param] { return (double) param->convertFrom0to1 (param->getValue()); };
    box.setValue = [this, param] (double value) { setParameter (processor, *param, (float) value); };
    box.format = std::move (text);
    box.dragMap = [step] (double start, double pixels, bool fine) { return start + step * pixels * (fine ? 0.1 : 1.0); };
    box.onGestureStart = [param] { param->beginChangeGesture(); };
    box.onGestureEnd = [param] { param->endChangeGesture(); };
    box.refresh();
    addAndMakeVisible (box);
}

juce::String TirelContent::scaleText (double percent)
{
    return (percent > 0.5 ? "+" : "") + juce::String (percent) + " %";
}

juce::String TirelContent::outputText (double db)
{
    return (db > 0.05 ? "+" : "") + juce::String (db, 1) + " dB";
}

void TirelContent::setTooltipsEnabled (bool enabled)
{
    if (enabled && tooltipWindow == nullptr)
    {
        tooltipWindow = std::make_unique<LangTooltipWindow> (this);
        tooltipWindow->setLookAndFeel (&lookAndFeel);
    }
    else if (! enabled)
    {
        tooltipWindow.reset();
    }
}

//==============================================================================
juce::PopupMenu TirelContent::modeMenu() const
{
    static constexpr const char* names[] { "Zero Latency", "Linear Phase", "Linear HQ" };
    static constexpr const char* notes[][2] {
        { "Sin latencia. Para grabar, tocar en directo y casi todo.", "No latency. For tracking, live use and most work." },
        { "Fase lineal, latencia media. Para buses y mezcla cuando la fase importa.", "Linear phase, medium latency. For buses and mixing when phase matters." },
        { "Fase lineal con graves exactos y latencia alta. Para mastering.", "Linear phase with exact lows and high latency. For mastering." },
    };

    juce::PopupMenu menu;
    for (int i = 0; i < 3; ++i)
    {
        menu.addItem (i + 1, names[i], true, processor.mode.load() == i);
        menu.addItem (i + 100, "   " + inLanguage (notes[i][0], notes[i][1]), false);
    }
    return menu;
}

void TirelContent::applyModeChoice (int result)
{
    if (result >= 1 && result <= 3)
        processor.chooseMode (result - 1);
}

void TirelContent::showModeMenu()
{
    modeMenu().showMenuAsync (juce::PopupMenu::Options().withTargetComponent (modeButton),
                              [safe = juce::Component::SafePointer<TirelContent> (this)] (int result)
                              {
                                  if (safe != nullptr)
                                      safe->applyModeChoice (result);
                              });
}

juce::PopupMenu TirelContent::analyserMenu() const
{
    const auto& state = processor.apvts.state;
    const int resolution = stateInt (state, "analyserResolution", 2);
    const int speed = stateInt (state, "analyserSpeed", 2);
    const int tilt = stateInt (state, "analyserTilt", 0);
    const int range = stateInt (state, "analyserRange", 1);
    const int window = stateInt (state, "analyserWindow", 0);

    juce::PopupMenu menu;
    auto section = [&menu] (const juce::String& header, int firstId, int current, const juce::StringArray& items)
    {
        menu.addSectionHeader (header);
        for (int i = 0; i < items.size(); ++i)
            menu.addItem (firstId + i, items[i], true, i == current);
    };

    const bool en = ui::langEn();
    section (inLanguage ("RESOLUCIÓN", "RESOLUTION"), 10, resolution,
             en ? juce::StringArray { "Low (1024)", "Medium (2048)", "High (4096)", "Maximum (8192)" }
                : juce::StringArray { "Baja (1024)", "Media (2048)", "Alta (4096)", juce::String::fromUTF8 ("Máxima (8192)") });
    section (inLanguage ("VELOCIDAD", "SPEED"), 20, speed,
             en ? juce::StringArray { "Very slow", "Slow", "Medium", "Fast", "Very fast" }
                : juce::StringArray { "Muy lenta", "Lenta", "Media", juce::String::fromUTF8 ("Rápida"), juce::String::fromUTF8 ("Muy rápida") });

    juce::StringArray tilts, ranges;
    for (const double t : GraphView::kTilts)
        tilts.add (juce::String (t, 1) + " dB/oct");
    for (const double r : GraphView::kSpecRanges)
        ranges.add (juce::String ((int) r) + " dB");
    section ("TILT", 30, tilt, tilts);
    section (inLanguage ("RANGO", "RANGE"), 40, range, ranges);
    section (inLanguage ("VENTANA", "WINDOW"), 1, window,
             { "Blackman-Harris", "Flat Top", "Hann", "Kaiser (beta 4)", "Kaiser (beta 8)", "Kaiser (beta 12)" });
    return menu;
}

void TirelContent::applyAnalyserChoice (int result)
{
    if (result <= 0)
        return;

    auto& state = processor.apvts.state;
    if (result < 10)
        state.setProperty ("analyserWindow", result - 1, nullptr);
    else if (result < 20)
        state.setProperty ("analyserResolution", result - 10, nullptr);
    else if (result < 30)
        state.setProperty ("analyserSpeed", result - 20, nullptr);
    else if (result < 40)
        state.setProperty ("analyserTilt", result - 30, nullptr);
    else
        state.setProperty ("analyserRange", result - 40, nullptr);
}

void TirelContent::showAnalyserMenu()
{
    analyserMenu().showMenuAsync (juce::PopupMenu::Options().withTargetComponent (analyserMenuButton),
                                  [safe = juce::Component::SafePointer<TirelContent> (this)] (int result)
                                  {
                                      if (safe != nullptr)
                                          safe->applyAnalyserChoice (result);
                                  });
}

void TirelContent::showPresetMenu()
{
    const auto folder = TirelAudioProcessor::userPresetFolder();
    const auto files = presets::list (folder);

    presets::menu (files).showMenuAsync (juce::PopupMenu::Options().withTargetComponent (presetButton),
                                         [safe = juce::Component::SafePointer<TirelContent> (this), files] (int result)
                                         {
                                             if (safe != nullptr)
                                                 safe->applyPresetChoice (result, files);
                                         });
}

void TirelContent::applyPresetChoice (int result, const juce::Array<juce::File>& files)
{
    if (result == 1)
        presets::init (processor);
    else if (result >= 1000 && result - 1000 < files.size())
        presets::load (processor, files[result - 1000]);
    else if (result == 4)
        presets::openFolder (TirelAudioProcessor::userPresetFolder());
    else if (result == 3)
    {
        TirelAudioProcessor::userPresetFolder().createDirectory();
        presetChooser = std::make_unique<juce::FileChooser> (inLanguage ("Guardar preset", "Save preset"),
                                                             presets::defaultSaveFile (processor), "*.tpreset", true);
        presetChooser->launchAsync (juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::canSelectFiles
                                        | juce::FileBrowserComponent::warnAboutOverwriting,
                                    [safe = juce::Component::SafePointer<TirelContent> (this)] (const juce::FileChooser& chooser)
                                    {
                                        if (safe != nullptr && chooser.getResult() != juce::File())
                                            safe->savePresetAs (chooser.getResult());
                                    });
    }
}

void TirelContent::savePresetAs (const juce::File& file)
{
    presets::save (processor, file);
}

void TirelContent::showAbout()
{
    const auto message = juce::String ("\n")
                       + inLanguage ("Ecualizador paramétrico de fase mínima, transparente, con Mid/Side por banda y escucha de banda.",
                                     "Transparent minimum-phase parametric equalizer, with per-band Mid/Side and band listening.")
                       + "\n\n" + inLanguage ("Presets de usuario en:", "User presets in:")
                       + "\n" + TirelAudioProcessor::userPresetFolder().getFullPathName();

    aboutWindow = std::make_unique<juce::AlertWindow> ("Tirel", message, juce::MessageBoxIconType::NoIcon, this);
    aboutWindow->setLookAndFeel (&lookAndFeel);
    aboutWindow->addButton (inLanguage ("Cerrar", "Close"), 0, juce::KeyPress (juce::KeyPress::escapeKey));
    aboutWindow->enterModalState (true, juce::ModalCallbackFunction::create ([safe = juce::Component::SafePointer<TirelContent> (this)] (int)
                                  {
                                      if (safe != nullptr)
                                          safe->aboutWindow.reset();
                                  }), false);
}

//==============================================================================
void TirelContent::resized()
{
    auto area = getLocalBounds().reduced (12);
    auto header = area.removeFromTop (30);

    titleArea = header.removeFromLeft (130);
    titleButton.setBounds (titleArea.withWidth (122));
    header.removeFromLeft (12);
    presetButton.setBounds (header.removeFromLeft (140));
    header.removeFromLeft (10);
    undoButton.setBounds (header.removeFromLeft (50));
    header.removeFromLeft (4);
    redoButton.setBounds (header.removeFromLeft (50));
    header.removeFromLeft (10);
    compareAButton.setBounds (header.removeFromLeft (30));
    header.removeFromLeft (4);
    compareBButton.setBounds (header.removeFromLeft (30));
    header.removeFromLeft (4);
    copyButton.setBounds (header.removeFromLeft (52));

    bypassButton.setBounds (header.removeFromRight (80));
    header.removeFromRight (8);
    analyserMenuButton.setBounds (header.removeFromRight (24));
    header.removeFromRight (2);
    analyserButton.setBounds (header.removeFromRight (90));
    header.removeFromRight (12);
    modeArea = header.withTrimmedLeft (10);
    modeButton.setBounds (modeArea);

    area.removeFromTop (8);
    auto footer = area.removeFromBottom (26);
    scaleLabelArea = footer.removeFromLeft (44);
    footer.removeFromLeft (6);
    scaleBox.setBounds (footer.removeFromLeft (70));
    footer.removeFromLeft (16);
    matchButton.setBounds (footer.removeFromLeft (138));
    footer.removeFromLeft (6);
    monitorArea = footer.removeFromLeft (270);

    auto inner = monitorArea.reduced (5, 3);
    inner.removeFromLeft (56);
    deltaButton.setBounds (inner.removeFromLeft (54));
    inner.removeFromLeft (6);
    for (const auto& [button, width] : { std::pair { &monitorButtons[0], 42 }, std::pair { &monitorButtons[1], 44 },
                                         std::pair { &monitorButtons[2], 26 }, std::pair { &monitorButtons[3], 26 } })
    {
        button->setBounds (inner.removeFromLeft (width));
        inner.removeFromLeft (2);
    }

    footer.removeFromLeft (8);
    outputLabelArea = footer.removeFromLeft (50);
    footer.removeFromLeft (6);
    outputBox.setBounds (footer.removeFromLeft (76));
    footer.removeFromLeft (10);
    clipArea = footer.removeFromLeft (44).withY (monitorArea.getY() + 3).withHeight (monitorArea.getHeight() - 6);
    tipsButton.setBounds (footer.removeFromRight (30));
    footer.removeFromRight (4);
    languageButton.setBounds (footer.removeFromRight (40));

    area.removeFromBottom (8);
    strip.setBounds (area.removeFromBottom (96));
    area.removeFromBottom (8);
    graph.setBounds (area);
}

void TirelContent::paint (juce::Graphics& g)
{
    g.fillAll (ui::bg);

    if (emblem != nullptr)
        emblem->drawWithin (g, titleArea.withWidth (30).toFloat(), juce::RectanglePlacement::centred, 1.0f);

    g.setColour (ui::text);
    g.setFont (ui::bold (17.0f).withExtraKerningFactor (0.14f));
    g.drawText ("TIREL", titleArea.withTrimmedLeft (38), juce::Justification::centredLeft, true);

    g.setFont (ui::bold (9.5f));
    g.setColour (ui::textDim);
    g.drawText ("SCALE", scaleLabelArea, juce::Justification::centredRight, true);
    g.drawText ("OUTPUT", outputLabelArea, juce::Justification::centredRight, true);

    g.setColour (monitorActive ? ui::warn : ui::grid);
    g.drawRoundedRectangle (monitorArea.toFloat().reduced (0.75f), 4.0f, monitorActive ? 1.5f : 1.0f);
    g.setColour (monitorActive ? ui::warn : ui::textDim);
    g.drawText (inLanguage ("ESCUCHA", "MONITOR"), monitorArea.withWidth (62), juce::Justification::centred, true);

    const bool lit = clipHoldTicks >= 1;
    g.setColour (lit ? ui::warn : ui::grid);
    g.fillRoundedRectangle (clipArea.toFloat(), 3.0f);
    g.setColour (lit ? ui::bg : ui::textDim);
    g.drawText ("CLIP", clipArea, juce::Justification::centred, true);
}

void TirelContent::mouseDown (const juce::MouseEvent&)
{
    // Reached after the pressed component has handled the press: everything the gesture
    // changes from here on is one undo step.
    processor.undoManager.beginNewTransaction();
}

bool TirelContent::keyPressed (const juce::KeyPress& key)
{
    const auto code = key.getKeyCode();
    const auto mods = key.getModifiers();

    if (code == juce::KeyPress::deleteKey || code == juce::KeyPress::backspaceKey)
    {
        deleteSelectedBands();
        return true;
    }

    if (mods.isCommandDown() && code == 'Z')
    {
        if (mods.isShiftDown())
            processor.undoManager.redo();
        else
            processor.undoManager.undo();
        return true;
    }

    if (mods.isCommandDown() && code == 'Y')
    {
        processor.undoManager.redo();
        return true;
    }

    return false;
}

void TirelContent::deleteSelectedBands()
{
    processor.undoManager.beginNewTransaction();
    for (const int band : graph.selection)
        graph.params.reset (band);
    graph.select (-1);
}

//==============================================================================
juce::String TirelContent::modeText (int mode, double sampleRate)
{
    static constexpr const char* names[] { "ZERO LATENCY", "LINEAR", "LINEAR HQ" };
    const int k = juce::jlimit (0, 2, mode);
    juce::String text (names[k]);

    if (k >= 1)
    {
        const double rate = sampleRate > 0.0 ? sampleRate : 48000.0;
        const auto samples = tl::linear::sizesFor (k, rate).latency();
        text << juce::String::fromUTF8 (" \xc2\xb7 ") << juce::roundToInt (samples * 1000.0 / rate) << " ms";
    }

    return text + kMenuMark;
}

void TirelContent::setText (juce::Button& button, const juce::String& text)
{
    if (button.getButtonText() != text)
        button.setButtonText (text);
}

void TirelContent::timerCallback()
{
    graph.refreshFromProcessor();
    graph.box.advanceHover (graph.hovered);
    graph.placeBox();
    graph.repaint();
    strip.refresh();
    scaleBox.refresh();
    outputBox.refresh();

    if (processor.clipLatch.exchange (false))
    {
        clipHoldTicks = 60;
        repaint (clipArea);
    }
    else if (clipHoldTicks > 0 && --clipHoldTicks == 0)
    {
        repaint (clipArea);
    }

    const float matchDb = processor.matchGainDb.load();
    setText (matchButton, matchButton.getToggleState() && std::abs (matchDb) >= 0.05f ? "LEVEL MATCH " + dbString (matchDb) : "LEVEL MATCH");

    const int monitor = (int) processor.apvts.getRawParameterValue ("monitor")->load();
    for (int j = 0; j < (int) monitorButtons.size(); ++j)
        monitorButtons[(size_t) j].setToggleState (monitor == j + 1, juce::dontSendNotification);
    if (const bool active = deltaButton.getToggleState() || monitor > 0; active != monitorActive)
    {
        monitorActive = active;
        repaint (monitorArea);
    }

    const int slot = processor.getCompareIndex();
    compareAButton.setToggleState (slot == 0, juce::dontSendNotification);
    compareBButton.setToggleState (slot == 1, juce::dontSendNotification);
    setText (copyButton, slot != 0 ? "B > A" : "A > B");

    undoButton.setEnabled (processor.undoManager.canUndo());
    redoButton.setEnabled (processor.undoManager.canRedo());
    setText (languageButton, ui::langEn() ? "EN" : "ES");

    const int mode = processor.mode.load();
    if (const auto text = modeText (mode, processor.getSampleRate()); text != modeButton.getButtonText())
    {
        modeButton.setButtonText (text);
        modeButton.setColour (juce::TextButton::textColourOffId, mode >= 1 ? ui::metal2 : ui::textDim);
    }

    const auto name = processor.apvts.state.getProperty ("presetName").toString();
    setText (presetButton, (name.isEmpty() ? juce::String ("Init") : name) + kMenuMark);
}
