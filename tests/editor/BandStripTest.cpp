#include "EditorFixture.h"
#include "editor/BandMenu.h"
#include "editor/Palette.h"

namespace
{
using BandStripTest = tltest::EditorFixture;

// Types into a knob's text box as a user would: open the editor, type, press return.
void typeInto (juce::Slider& knob, const juce::String& text)
{
    for (auto* child : knob.getChildren())
        if (auto* box = dynamic_cast<juce::Label*> (child))
        {
            box->showEditor();
            ASSERT_NE (box->getCurrentTextEditor(), nullptr);
            box->getCurrentTextEditor()->setText (text, false);
            box->hideEditor (false);
            return;
        }

    FAIL() << "the knob has no text box";
}

struct Ticked { int id; bool ticked; };

std::vector<Ticked> itemsOf (const juce::PopupMenu& menu)
{
    std::vector<Ticked> items;
    for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
        if (it.getItem().itemID != 0)
            items.push_back ({ it.getItem().itemID, it.getItem().isTicked });
    return items;
}
} // namespace

TEST_F (BandStripTest, LayoutAtTheEditorsSize)
{
    ASSERT_EQ (strip().getBounds(), juce::Rectangle<int> (12, 458, 876, 96));
    setBand (0, tl::LowCut, 40.0f, 0.0f);
    graph().select (0);

    EXPECT_EQ (strip().bandLabel, juce::Rectangle<int> (10, 6, 80, 20));
    EXPECT_EQ (strip().onButton.getBounds(), juce::Rectangle<int> (10, 32, 52, 24));
    EXPECT_EQ (strip().typeButton.getBounds(), juce::Rectangle<int> (98, 21, 128, 24));
    EXPECT_EQ (strip().slopeButton.getBounds(), juce::Rectangle<int> (98, 51, 128, 24));
    EXPECT_EQ (strip().freqKnob.getBounds(), juce::Rectangle<int> (296, 18, 96, 72));
    EXPECT_EQ (strip().gainKnob.getBounds(), juce::Rectangle<int> (392, 18, 96, 72));
    EXPECT_EQ (strip().qKnob.getBounds(), juce::Rectangle<int> (488, 18, 96, 72));
    EXPECT_EQ (strip().channelLabel, juce::Rectangle<int> (600, 6, 160, 12));
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ (strip().channelButtons[(size_t) c].getBounds(), juce::Rectangle<int> (600 + 32 * c, 41, 30, 26));
    EXPECT_EQ (strip().deleteButton.getBounds(), juce::Rectangle<int> (838, 36, 28, 24));
}

TEST_F (BandStripTest, ControlsFollowTheSelectedBandsType)
{
    EXPECT_EQ (strip().band, -1);
    EXPECT_FALSE (strip().freqKnob.isVisible());
    EXPECT_FALSE (strip().onButton.isEnabled());

    struct Case { int type; bool gain, q, slope; const char* typeText; };
    const Case cases[] {
        { tl::Bell, true, true, false, "Bell" },          { tl::LowShelf, true, true, false, "Low Shelf" },
        { tl::Tilt, true, false, false, "Tilt" },         { tl::LowCut, false, false, true, "Low Cut" },
        { tl::HighCut, false, false, true, "High Cut" },  { tl::Notch, false, true, false, "Notch" },
    };

    for (const auto& c : cases)
    {
        setBand (0, c.type, 500.0f, 0.0f, tl::Side);
        graph().select (0);
        tick();
        EXPECT_TRUE (strip().freqKnob.isEnabled()) << c.type;
        EXPECT_EQ (strip().gainKnob.isEnabled(), c.gain) << c.type;
        EXPECT_EQ (strip().qKnob.isEnabled(), c.q) << c.type;
        EXPECT_EQ (strip().slopeButton.isVisible(), c.slope) << c.type;
        EXPECT_EQ (strip().typeButton.getButtonText(), juce::String (c.typeText) + juce::String::fromUTF8 ("  \xe2\x96\xbe"));
        EXPECT_EQ (strip().slopeButton.getButtonText(), juce::String::fromUTF8 ("24 dB/oct  \xe2\x96\xbe"));
        EXPECT_EQ (strip().onButton.getButtonText(), "ON");
        for (int ch = 0; ch < 5; ++ch)
            EXPECT_EQ (strip().channelButtons[(size_t) ch].getToggleState(), ch == tl::Side);
    }

    graph().select (-1);
    EXPECT_EQ (strip().band, -1);
    EXPECT_FALSE (strip().gainKnob.isVisible());
}

TEST_F (BandStripTest, KnobsTakeTypedValuesAndResetOnDoubleClick)
{
    setBand (2, tl::Bell, 800.0f, 4.0f);
    graph().select (2);

    typeInto (strip().freqKnob, "1,5k");
    EXPECT_NEAR (params().get (2, "freq"), 1500.0, 0.1);
    typeInto (strip().freqKnob, "abc");
    EXPECT_NEAR (params().get (2, "freq"), 1500.0, 0.1);
    typeInto (strip().gainKnob, "-4.5 dB");
    EXPECT_NEAR (params().get (2, "gain"), -4.5, 1e-4);
    EXPECT_EQ (strip().gainKnob.getTextFromValue (strip().gainKnob.getValue()), "-4.5 dB");

    // A double-click on the gain knob returns it to 0 dB as one undo step.
    const auto knob = strip().gainKnob.getLocalBounds().getCentre().toFloat();
    click (strip().gainKnob, knob);
    click (strip().gainKnob, knob);
    EXPECT_NEAR (params().get (2, "gain"), 0.0, 1e-6);

    processor.undoManager.undo();
    EXPECT_NEAR (params().get (2, "gain"), -4.5, 1e-4);
}

TEST_F (BandStripTest, ButtonsChangeTheBand)
{
    setBand (0, tl::Bell, 1000.0f, 3.0f);
    graph().select (0);

    click (strip().onButton, { 10.0f, 10.0f });
    EXPECT_FALSE (params().read (0).on);
    EXPECT_EQ (strip().onButton.getButtonText(), "OFF");

    // A channel button routes the band; the graph splits its curve on the next tick.
    click (strip().onButton, { 10.0f, 10.0f });
    click (strip().channelButtons[tl::Mid], { 10.0f, 10.0f });
    EXPECT_EQ (params().read (0).ch, tl::Mid);
    EXPECT_EQ (graph().traces().curves.size(), 2u);
    processor.undoManager.undo();
    EXPECT_EQ (params().read (0).ch, tl::Stereo);

    // The slope menu ticks the current slope and stores the chosen index.
    setBand (0, tl::LowCut, 60.0f, 0.0f, tl::Stereo, 1.0f, 4);
    const auto items = itemsOf (strip().slopeMenu());
    ASSERT_EQ (items.size(), 6u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ (items[(size_t) i].ticked, i == 4);
    strip().applySlopeChoice (1);
    EXPECT_EQ (params().read (0).slope, 6);
    strip().applySlopeChoice (0);                                     // dismissed
    EXPECT_EQ (params().read (0).slope, 6);
    processor.undoManager.undo();
    EXPECT_EQ (params().read (0).slope, 36);
}

TEST_F (BandStripTest, TheTypeMenuAppliesToTheBandItOpenedFor)
{
    const auto items = itemsOf (bandmenu::typeMenu (tl::HighShelf));
    ASSERT_EQ (items.size(), 7u);
    EXPECT_EQ (items[0].id, 100);
    EXPECT_TRUE (items[2].ticked);

    const auto both = itemsOf (bandmenu::typeAndChannelMenu (tl::Notch, tl::Left));
    ASSERT_EQ (both.size(), 12u);
    EXPECT_TRUE (both[6].ticked);
    EXPECT_EQ (both[10].id, 203);
    EXPECT_TRUE (both[10].ticked);

    setBand (5, tl::Bell, 1000.0f, 3.0f);
    bandmenu::apply (processor, 5, 105);
    EXPECT_EQ (params().read (5).type, tl::HighCut);
    bandmenu::apply (processor, 5, 202);
    EXPECT_EQ (params().read (5).ch, tl::Side);
    for (const int ignored : { 0, 99, 107, 199, 205 })
        bandmenu::apply (processor, 5, ignored);
    bandmenu::apply (processor, -1, 101);
    EXPECT_EQ (params().read (5).type, tl::HighCut);
    EXPECT_EQ (params().read (5).ch, tl::Side);

    processor.undoManager.undo();
    EXPECT_EQ (params().read (5).ch, tl::Stereo);
    EXPECT_EQ (params().read (5).type, tl::HighCut);
}

TEST_F (BandStripTest, DeleteRemovesTheWholeSelection)
{
    setBand (0, tl::Bell, 200.0f, 3.0f);
    setBand (1, tl::Bell, 2000.0f, -3.0f);
    setBand (2, tl::HighShelf, 9000.0f, 2.0f);
    drag (graph(), at (150.0, 11.0), { at (15000.0, -11.0) });
    ASSERT_EQ (graph().selection.size(), 3u);

    click (strip().deleteButton, { 5.0f, 5.0f });
    for (int b = 0; b < 3; ++b)
        EXPECT_TRUE (isFreeBand (params().read (b)));
    EXPECT_EQ (strip().band, -1);

    processor.undoManager.undo();
    for (int b = 0; b < 3; ++b)
        EXPECT_TRUE (params().read (b).on);
}

TEST_F (BandStripTest, ColoursFollowTheBandsColour)
{
    setBand (0, tl::Bell, 200.0f, 3.0f);
    setBand (8, tl::Bell, 2000.0f, 3.0f);
    setBand (1, tl::Bell, 700.0f, 3.0f);

    graph().select (0);
    EXPECT_EQ (strip().accent, ui::bandColour (0));
    EXPECT_EQ (strip().freqKnob.findColour (juce::Slider::rotarySliderFillColourId), ui::bandColour (0));

    graph().select (8);                                               // the same colour as band 1
    EXPECT_EQ (strip().accent, ui::bandColour (0));

    graph().select (1);
    EXPECT_EQ (strip().channelButtons[2].findColour (juce::TextButton::buttonOnColourId), ui::bandColour (1));
}
