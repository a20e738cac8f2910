#include "EditorFixture.h"
#include "editor/Palette.h"
#include "presets/Presets.h"

#include <cmath>

namespace
{
using ContentTest = tltest::EditorFixture;

juce::String menuMark() { return juce::String::fromUTF8 ("  \xe2\x96\xbe"); }

struct Item { int id; juce::String text; bool ticked, enabled, header; };

std::vector<Item> itemsOf (const juce::PopupMenu& menu)
{
    std::vector<Item> items;
    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
    {
        const auto& i = it.getItem();
        if (! i.isSeparator)
            items.push_back ({ i.itemID, i.text, i.isTicked, i.isEnabled, i.isSectionHeader });
    }
    return items;
}

int monitorValue (TirelAudioProcessor& processor) { return (int) processor.apvts.getRawParameterValue ("monitor")->load(); }
} // namespace

TEST_F (ContentTest, LayoutAtTheReferenceSize)
{
    auto& c = content();
    ASSERT_EQ (editor->getWidth(), 900);
    ASSERT_EQ (editor->getHeight(), 600);

    const std::pair<juce::Rectangle<int>, juce::Rectangle<int>> rects[] {
        { c.titleArea, { 12, 12, 130, 30 } },                  { c.titleButton.getBounds(), { 12, 12, 122, 30 } },
        { c.presetButton.getBounds(), { 154, 12, 140, 30 } },  { c.undoButton.getBounds(), { 304, 12, 50, 30 } },
        { c.redoButton.getBounds(), { 358, 12, 50, 30 } },     { c.compareAButton.getBounds(), { 418, 12, 30, 30 } },
        { c.compareBButton.getBounds(), { 452, 12, 30, 30 } }, { c.copyButton.getBounds(), { 486, 12, 52, 30 } },
        { c.bypassButton.getBounds(), { 808, 12, 80, 30 } },   { c.analyserMenuButton.getBounds(), { 776, 12, 24, 30 } },
        { c.analyserButton.getBounds(), { 684, 12, 90, 30 } }, { c.modeButton.getBounds(), { 548, 12, 124, 30 } },
        { c.modeArea, { 548, 12, 124, 30 } },                  { c.scaleLabelArea, { 12, 562, 44, 26 } },
        { c.scaleBox.getBounds(), { 62, 562, 70, 26 } },       { c.matchButton.getBounds(), { 148, 562, 138, 26 } },
        { c.monitorArea, { 292, 562, 270, 26 } },              { c.deltaButton.getBounds(), { 353, 565, 54, 20 } },
        { c.monitorButtons[0].getBounds(), { 413, 565, 42, 20 } }, { c.monitorButtons[1].getBounds(), { 457, 565, 44, 20 } },
        { c.monitorButtons[2].getBounds(), { 503, 565, 26, 20 } }, { c.monitorButtons[3].getBounds(), { 531, 565, 26, 20 } },
        { c.outputLabelArea, { 570, 562, 50, 26 } },           { c.outputBox.getBounds(), { 626, 562, 76, 26 } },
        { c.clipArea, { 712, 565, 44, 20 } },                  { c.tipsButton.getBounds(), { 858, 562, 30, 26 } },
        { c.languageButton.getBounds(), { 814, 562, 40, 26 } }, { c.strip.getBounds(), { 12, 458, 876, 96 } },
        { c.graph.getBounds(), { 12, 50, 876, 400 } },
    };

    for (size_t i = 0; i < std::size (rects); ++i)
        EXPECT_EQ (rects[i].first, rects[i].second) << "rectangle " << i;
}

TEST_F (ContentTest, ResizingKeepsTheProportionAndStoresTheScale)
{
    struct Case { int width, height; int expectedWidth, expectedHeight; double scale; };
    for (const auto& c : { Case { 1350, 900, 1350, 900, 1.5 }, Case { 400, 260, 675, 450, 0.75 },
                           Case { 3000, 2000, 1800, 1200, 2.0 } })
    {
        editor->getConstrainer()->setBoundsForComponent (editor.get(), { 0, 0, c.width, c.height }, false, false, true, true);
        EXPECT_EQ (editor->getWidth(), c.expectedWidth);
        EXPECT_EQ (editor->getHeight(), c.expectedHeight);
        EXPECT_EQ (content().getBounds(), juce::Rectangle<int> (900, 600));
        EXPECT_NEAR (content().getTransform().mat00, c.scale, 1e-6);
        EXPECT_NEAR ((double) processor.apvts.state.getProperty ("uiScale"), c.scale, 1e-6);
    }

    // A new editor opens at the stored size with the stored selection; odd values are limited.
    setBand (4, tl::Bell, 1000.0f, 3.0f);
    graph().select (4);
    editor.reset();
    editor = std::make_unique<TirelAudioProcessorEditor> (processor);
    EXPECT_EQ (editor->getWidth(), 1800);
    EXPECT_EQ (editor->getHeight(), 1200);
    EXPECT_EQ (graph().selected, 4);
    EXPECT_EQ (strip().band, 4);

    for (const auto& [stored, width] : { std::pair { juce::var (9.0), 1800 }, std::pair { juce::var (0.1), 675 },
                                         std::pair { juce::var ("big"), 900 }, std::pair { juce::var ("1.25"), 1125 }, std::pair { juce::var(), 900 } })
    {
        if (stored.isVoid())
            processor.apvts.state.removeProperty ("uiScale", nullptr);
        else
            processor.apvts.state.setProperty ("uiScale", stored, nullptr);
        editor.reset();
        editor = std::make_unique<TirelAudioProcessorEditor> (processor);
        EXPECT_EQ (editor->getWidth(), width) << stored.toString();
    }

    // A selection of a band that has become free is not restored.
    params().reset (4);
    editor.reset();
    editor = std::make_unique<TirelAudioProcessorEditor> (processor);
    EXPECT_EQ (graph().selected, -1);
}

TEST_F (ContentTest, UndoRedoAndCompareButtons)
{
    tick();
    EXPECT_FALSE (content().undoButton.isEnabled());
    EXPECT_EQ (content().copyButton.getButtonText(), "A > B");
    EXPECT_TRUE (content().compareAButton.getToggleState());

    move (graph(), at (1000.0, 0.0));
    click (graph(), at (1000.0, 0.0));
    EXPECT_TRUE (content().undoButton.isEnabled());
    EXPECT_FALSE (content().redoButton.isEnabled());

    click (content().undoButton, { 5.0f, 5.0f });
    EXPECT_TRUE (isFreeBand (params().read (0)));
    EXPECT_TRUE (content().redoButton.isEnabled());
    click (content().redoButton, { 5.0f, 5.0f });
    EXPECT_TRUE (params().read (0).on);

    // Copy A to B, change A, switch to B: B has the copy; switching back brings the change.
    click (content().copyButton, { 5.0f, 5.0f });
    params().set (0, "gain", 9.0f);
    click (content().compareBButton, { 5.0f, 5.0f });
    EXPECT_TRUE (content().compareBButton.getToggleState());
    EXPECT_FALSE (content().compareAButton.getToggleState());
    EXPECT_EQ (content().copyButton.getButtonText(), "B > A");
    EXPECT_TRUE (params().read (0).on);
    EXPECT_NEAR (params().get (0, "gain"), 0.0, 1e-6);
    click (content().compareAButton, { 5.0f, 5.0f });
    EXPECT_NEAR (params().get (0, "gain"), 9.0, 1e-6);
}

TEST_F (ContentTest, MonitorButtonsDeltaAndTheirFrame)
{
    click (content().monitorButtons[1], { 5.0f, 5.0f });
    EXPECT_EQ (monitorValue (processor), 2);
    EXPECT_TRUE (content().monitorButtons[1].getToggleState());
    EXPECT_TRUE (content().monitorActive);

    click (content().monitorButtons[0], { 5.0f, 5.0f });
    EXPECT_EQ (monitorValue (processor), 1);
    EXPECT_FALSE (content().monitorButtons[1].getToggleState());
    click (content().monitorButtons[0], { 5.0f, 5.0f });
    EXPECT_EQ (monitorValue (processor), 0);
    EXPECT_FALSE (content().monitorActive);

    // A change from elsewhere (the host, an undo) is what the next click starts from.
    processor.apvts.getParameter ("monitor")->setValueNotifyingHost (processor.apvts.getParameter ("monitor")->convertTo0to1 (4.0f));
    tick();
    EXPECT_TRUE (content().monitorButtons[3].getToggleState());
    click (content().monitorButtons[3], { 5.0f, 5.0f });
    EXPECT_EQ (monitorValue (processor), 0);

    click (content().deltaButton, { 5.0f, 5.0f });
    EXPECT_GT (processor.apvts.getRawParameterValue ("delta")->load(), 0.5f);
    EXPECT_TRUE (content().monitorActive);
    click (content().bypassButton, { 5.0f, 5.0f });
    EXPECT_GT (processor.apvts.getRawParameterValue ("bypass")->load(), 0.5f);

    // The next undo takes back the click just made, not an older step.
    EXPECT_TRUE (content().keyPressed (juce::KeyPress ('Z', juce::ModifierKeys::commandModifier, 0)));
    EXPECT_LT (processor.apvts.getRawParameterValue ("bypass")->load(), 0.5f);
    EXPECT_GT (processor.apvts.getRawParameterValue ("delta")->load(), 0.5f);
}

TEST_F (ContentTest, ModeMenuAndLatencyText)
{
    struct Case { int mode; double rate; const char* text; };
    const Case cases[] {
        { 0, 48000.0, "ZERO LATENCY" },     { 1, 48000.0, "LINEAR \xc2\xb7 192 ms" },  { 1, 96000.0, "LINEAR \xc2\xb7 192 ms" },
        { 1, 0.0, "LINEAR \xc2\xb7 192 ms" }, { 2, 44100.0, "LINEAR HQ \xc2\xb7 836 ms" }, { 2, 192000.0, "LINEAR HQ \xc2\xb7 768 ms" },
        { 7, 48000.0, "LINEAR HQ \xc2\xb7 768 ms" },
    };
    for (const auto& c : cases)
        EXPECT_EQ (TirelContent::modeText (c.mode, c.rate), juce::String::fromUTF8 (c.text) + menuMark()) << c.mode << " " << c.rate;

    auto items = itemsOf (content().modeMenu());
    ASSERT_EQ (items.size(), 6u);
    EXPECT_EQ (items[0].text, "Zero Latency");
    EXPECT_TRUE (items[0].ticked);
    EXPECT_EQ (items[1].id, 100);
    EXPECT_FALSE (items[1].enabled);

    content().applyModeChoice (3);
    EXPECT_EQ (processor.mode.load(), 2);
    EXPECT_EQ ((int) processor.apvts.state.getProperty ("mode"), 2);
    EXPECT_TRUE (itemsOf (content().modeMenu())[4].ticked);
    tick();
    EXPECT_EQ (content().modeButton.getButtonText(), TirelContent::modeText (2, processor.getSampleRate()));
    EXPECT_EQ (content().modeButton.findColour (juce::TextButton::textColourOffId), ui::metal2);

    for (const int ignored : { 0, 4, 101 })
        content().applyModeChoice (ignored);
    EXPECT_EQ (processor.mode.load(), 2);
}

TEST_F (ContentTest, AnalyserSwitchAndSettingsMenu)
{
    click (content().analyserButton, { 5.0f, 5.0f });
    EXPECT_FALSE (processor.analyserOn.load());
    EXPECT_FALSE ((bool) processor.apvts.state.getProperty ("analyser"));

    // A new editor starts from the stored switch.
    editor.reset();
    processor.analyserOn = true;
    editor = std::make_unique<TirelAudioProcessorEditor> (processor);
    EXPECT_FALSE (processor.analyserOn.load());
    EXPECT_FALSE (content().analyserButton.getToggleState());

    const auto items = itemsOf (content().analyserMenu());
    std::vector<int> ticked;
    for (const auto& i : items)
        if (i.ticked)
            ticked.push_back (i.id);
    EXPECT_EQ (ticked, (std::vector<int> { 12, 22, 30, 41, 1 }));

    struct Choice { int id; const char* property; int value; };
    for (const auto& c : { Choice { 5, "analyserWindow", 4 }, Choice { 41, "analyserRange", 1 }, Choice { 13, "analyserResolution", 3 },
                           Choice { 20, "analyserSpeed", 0 }, Choice { 33, "analyserTilt", 3 } })
    {
        content().applyAnalyserChoice (c.id);
        EXPECT_EQ ((int) processor.apvts.state.getProperty (c.property), c.value) << c.id;
    }
    EXPECT_EQ (itemsOf (content().analyserMenu())[0].text, "RESOLUTION");
}

TEST_F (ContentTest, ScaleAndOutputBoxes)
{
    const std::pair<double, const char*> scales[] { { 100.0, "+100 %" }, { 0.0, "0 %" }, { -50.0, "-50 %" }, { 12.5, "+12.5 %" } };
    for (const auto& [v, text] : scales)
        EXPECT_EQ (TirelContent::scaleText (v), text);
    const std::pair<double, const char*> outputs[] { { 1.5, "+1.5 dB" }, { 0.0, "0.0 dB" }, { -3.0, "-3.0 dB" }, { 0.04, "0.0 dB" } };
    for (const auto& [v, text] : outputs)
        EXPECT_EQ (TirelContent::outputText (v), text);

    EXPECT_EQ (content().scaleBox.getText(), "+100 %");
    const auto centre = content().outputBox.getLocalBounds().getCentre().toFloat();
    drag (content().outputBox, centre, { centre.translated (0.0f, -30.0f) });
    EXPECT_NEAR (processor.apvts.getRawParameterValue ("output")->load(), 3.0, 1e-4);
    EXPECT_EQ (content().outputBox.getText(), "+3.0 dB");

    const auto scaleCentre = content().scaleBox.getLocalBounds().getCentre().toFloat();
    drag (content().scaleBox, scaleCentre, { scaleCentre.translated (0.0f, 40.0f) }, juce::ModifierKeys::shiftModifier);
    EXPECT_NEAR (processor.apvts.getRawParameterValue ("scale")->load(), 98.0, 1e-4);

    processor.undoManager.undo();
    EXPECT_NEAR (processor.apvts.getRawParameterValue ("scale")->load(), 100.0, 1e-4);
}

TEST_F (ContentTest, ClipLightAndLevelMatchText)
{
    processor.clipLatch = true;
    tick();
    EXPECT_EQ (content().clipHoldTicks, 60);
    for (int i = 0; i < 30; ++i)
        tick();
    processor.clipLatch = true;                                     // a new clip restarts the hold
    tick();
    EXPECT_EQ (content().clipHoldTicks, 60);
    for (int i = 0; i < 60; ++i)
        tick();
    EXPECT_EQ (content().clipHoldTicks, 0);

    processor.matchGainDb = -2.34f;
    tick();
    ASSERT_TRUE (content().matchButton.getToggleState());                    // on by default
    EXPECT_EQ (content().matchButton.getButtonText(), "LEVEL MATCH -2.3 dB");
    click (content().matchButton, { 5.0f, 5.0f });
    EXPECT_EQ (content().matchButton.getButtonText(), "LEVEL MATCH");      // off: no figure
    click (content().matchButton, { 5.0f, 5.0f });
    processor.matchGainDb = 0.04f;
    tick();
    EXPECT_EQ (content().matchButton.getButtonText(), "LEVEL MATCH");
}

TEST_F (ContentTest, LanguageAndHelpSwitches)
{
    preferences::writeSetting (preferences::currentLang, "lang", true);
    tick();
    EXPECT_EQ (content().languageButton.getButtonText(), "EN");

    click (content().languageButton, { 5.0f, 5.0f });
    EXPECT_FALSE (ui::langEn());
    EXPECT_EQ (content().languageButton.getButtonText(), "ES");
    click (content().languageButton, { 5.0f, 5.0f });
    EXPECT_TRUE (ui::langEn());

    const bool tipsWereOn = content().tipsButton.getToggleState();
    EXPECT_EQ (content().tooltipWindow != nullptr, tipsWereOn);
    click (content().tipsButton, { 5.0f, 5.0f });
    EXPECT_EQ (content().tooltipWindow != nullptr, ! tipsWereOn);
    EXPECT_EQ (preferences::readSetting (preferences::currentTips, "tips", 1), tipsWereOn ? 0 : 1);
    click (content().tipsButton, { 5.0f, 5.0f });
    EXPECT_EQ (content().tooltipWindow != nullptr, tipsWereOn);
}

TEST_F (ContentTest, AboutBoxClosesWithEscape)
{
    click (content().titleButton, { 20.0f, 10.0f });
    ASSERT_NE (content().aboutWindow, nullptr);
    EXPECT_TRUE (content().aboutWindow->isCurrentlyModal());
    EXPECT_EQ (content().aboutWindow->getName(), "Tirel");

    static_cast<juce::Component&> (*content().aboutWindow).keyPressed (juce::KeyPress (juce::KeyPress::escapeKey));
    EXPECT_TRUE (tltest::runMessageLoopUntil ([&] { return content().aboutWindow == nullptr; }));
}

TEST_F (ContentTest, PresetNameOnTheButton)
{
    tick();
    EXPECT_EQ (content().presetButton.getButtonText(), "Init" + menuMark());
    processor.apvts.state.setProperty ("presetName", "mix", nullptr);
    tick();
    EXPECT_EQ (content().presetButton.getButtonText(), "mix" + menuMark());
}

TEST_F (ContentTest, PresetMenuChoices)
{
    params().set (0, "on", 1.0f);
    content().savePresetAs (TirelAudioProcessor::userPresetFolder().getChildFile ("mix"));
    tick();
    EXPECT_EQ (content().presetButton.getButtonText(), "mix" + menuMark());

    content().applyPresetChoice (1, {});                                // Init
    EXPECT_TRUE (isFreeBand (params().read (0)));
    tick();
    EXPECT_EQ (content().presetButton.getButtonText(), "Init" + menuMark());

    const auto files = presets::list (TirelAudioProcessor::userPresetFolder());
    ASSERT_EQ (files.size(), 1);
    for (const int ignored : { 0, 2, 1001, 999 })
        content().applyPresetChoice (ignored, files);
    EXPECT_TRUE (isFreeBand (params().read (0)));
    content().applyPresetChoice (1000, files);
    EXPECT_TRUE (params().read (0).on);
}
