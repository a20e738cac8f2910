#include "editor/GraphView.h"
#include "presets/Presets.h"
#include "processor/BandParams.h"
#include "processor/PluginProcessor.h"
#include "ScopedHome.h"

#include <gtest/gtest.h>

namespace
{
struct PresetsTest : ::testing::Test
{
    tltest::ScopedHome home;
    TirelAudioProcessor processor;
    BandParams params { processor };

    juce::File folder() const { return TirelAudioProcessor::userPresetFolder(); }

    juce::File write (const juce::String& name, const juce::String& text)
    {
        folder().createDirectory();
        auto file = folder().getChildFile (name);
        EXPECT_TRUE (file.replaceWithText (text));
        return file;
    }

    float raw (const char* id) { return processor.apvts.getRawParameterValue (id)->load(); }

    // As the host or a control sets it, with the state tree up to date.
    void setGlobal (const char* id, float plain) { setParameter (processor, *processor.apvts.getParameter (id), plain); }

    juce::String presetName() { return processor.apvts.state.getProperty ("presetName").toString(); }

    struct Item { int id; juce::String text; bool enabled; };

    static std::vector<Item> itemsOf (const juce::PopupMenu& menu)
    {
        std::vector<Item> items;
        for (juce::PopupMenu::MenuItemIterator it (menu); it.next();)
            if (! it.getItem().isSeparator)
                items.push_back ({ it.getItem().itemID, it.getItem().text, it.getItem().isEnabled });
        return items;
    }
};
} // namespace

TEST_F (PresetsTest, FolderFollowsTheDocumentsFolder)
{
    EXPECT_EQ (folder(), home.path().getChildFile ("Documents/Quillonsound/Tirel/Presets"));
    EXPECT_FALSE (folder().exists());                                  // not created by asking

    ASSERT_TRUE (home.path().getChildFile (".config").createDirectory());
    ASSERT_TRUE (home.path().getChildFile (".config/user-dirs.dirs").replaceWithText ("XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"));
    ASSERT_TRUE (home.path().getChildFile ("Dokumente").createDirectory());
    EXPECT_EQ (folder(), home.path().getChildFile ("Dokumente/Quillonsound/Tirel/Presets"));
}

TEST_F (PresetsTest, MenuListsTheFolderByCodePoint)
{
    preferences::writeSetting (preferences::currentLang, "lang", true);

    auto items = itemsOf (presets::menu (presets::list (folder())));
    ASSERT_EQ (items.size(), 5u);
    EXPECT_EQ (items[0].id, 1);
    EXPECT_EQ (items[0].text, "Init (default settings)");
    EXPECT_EQ (items[1].text, "My presets");
    EXPECT_EQ (items[2].id, 2);
    EXPECT_EQ (items[2].text, "(none yet)");
    EXPECT_FALSE (items[2].enabled);
    EXPECT_EQ (items[3].id, 3);
    EXPECT_EQ (items[4].id, 4);

    for (const char* name : { "b", "A", "a" })
        write (juce::String (name) + ".tpreset", "<STATE/>");
    write ("notes.txt", "not a preset");
    folder().getChildFile ("sub.tpreset").createDirectory();

    const auto files = presets::list (folder());
    ASSERT_EQ (files.size(), 3);
    items = itemsOf (presets::menu (files));
    EXPECT_EQ (items[2].id, 1000);
    EXPECT_EQ (items[2].text, "A");
    EXPECT_EQ (items[3].text, "a");
    EXPECT_EQ (items[4].text, "b");
    EXPECT_EQ (items[4].id, 1002);

    preferences::writeSetting (preferences::currentLang, "lang", false);
    items = itemsOf (presets::menu ({}));
    EXPECT_EQ (items[0].text, "Init (valores por defecto)");
    EXPECT_EQ (items[2].text, juce::String::fromUTF8 ("(todavía no hay ninguno)"));
    EXPECT_EQ (items[4].text, "Abrir la carpeta de presets");
}

TEST_F (PresetsTest, SaveWritesTheStateAndNamesIt)
{
    EXPECT_EQ (presets::defaultSaveFile (processor), folder().getChildFile ("Preset.tpreset"));

    params.set (3, "on", 1.0f);
    params.set (3, "gain", 4.5f);
    setGlobal ("bypass", 1.0f);
    processor.apvts.state.setProperty ("graphRange", 6.0, nullptr);

    const auto written = presets::save (processor, folder().getChildFile ("mix.xml"));
    ASSERT_TRUE (written.has_value());
    EXPECT_EQ (*written, folder().getChildFile ("mix.tpreset"));
    EXPECT_EQ (presetName(), "mix");
    EXPECT_EQ (presets::defaultSaveFile (processor), folder().getChildFile ("mix.tpreset"));

    const auto text = written->loadFileAsString();
    EXPECT_TRUE (text.startsWith ("<?xml"));
    EXPECT_TRUE (text.contains ("\r\n"));
    const auto xml = juce::parseXML (text);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "STATE");
    EXPECT_EQ (xml->getIntAttribute ("stateVersion"), 1);
    EXPECT_EQ (xml->getStringAttribute ("presetName"), "mix");
    EXPECT_EQ (xml->getDoubleAttribute ("graphRange"), 6.0);
    int stored = 0;
    for (auto* child : xml->getChildWithTagNameIterator ("PARAM"))
    {
        ++stored;
        const auto id = child->getStringAttribute ("id");
        if (id == "b04_gain")
        {
            EXPECT_NEAR (child->getDoubleAttribute ("value"), 4.5, 1e-6);
        }
        else if (id == "bypass")
        {
            EXPECT_EQ (child->getDoubleAttribute ("value"), 1.0);
        }
    }
    EXPECT_EQ (stored, 174);

    // Only the exact extension is kept: the folder is listed case-sensitively.
    const auto upper = presets::save (processor, folder().getChildFile ("loud.TPRESET"));
    ASSERT_TRUE (upper.has_value());
    EXPECT_EQ (upper->getFileName(), "loud.tpreset");
    EXPECT_EQ (presets::list (folder()).size(), 2);

    // A write that fails leaves the name as it was.
    EXPECT_FALSE (presets::save (processor, juce::File ("/proc/no-such-folder/other.tpreset")).has_value());
    EXPECT_EQ (presetName(), "loud");
}

TEST_F (PresetsTest, LoadAppliesParametersButNotListeningOrMode)
{
    params.set (0, "on", 1.0f);
    params.set (0, "type", (float) tl::HighShelf);
    params.set (0, "gain", -6.0f);
    params.set (5, "on", 1.0f);
    setGlobal ("output", 2.5f);
    const auto file = presets::save (processor, folder().getChildFile ("bright"));
    ASSERT_TRUE (file.has_value());

    // Everything changes afterwards, listening controls and mode included.
    params.reset (0);
    params.set (7, "on", 1.0f);
    setGlobal ("output", -1.0f);
    setGlobal ("bypass", 1.0f);
    setGlobal ("delta", 1.0f);
    setGlobal ("monitor", 3.0f);
    processor.chooseMode (2);
    processor.apvts.state.setProperty ("presetName", "", nullptr);
    processor.undoManager.clearUndoHistory();

    ASSERT_TRUE (presets::load (processor, *file));
    EXPECT_EQ (params.read (0).type, tl::HighShelf);
    EXPECT_NEAR (params.get (0, "gain"), -6.0, 1e-5);
    EXPECT_TRUE (params.read (5).on);
    EXPECT_FALSE (params.read (7).on);
    EXPECT_NEAR (raw ("output"), 2.5, 1e-5);
    EXPECT_EQ (raw ("bypass"), 1.0f);
    EXPECT_EQ (raw ("delta"), 1.0f);
    EXPECT_EQ (raw ("monitor"), 3.0f);
    EXPECT_EQ (processor.mode.load(), 2);
    EXPECT_EQ (presetName(), "bright");

    // One undo step takes the whole load back.
    processor.undoManager.undo();
    EXPECT_FALSE (params.read (0).on);
    EXPECT_TRUE (params.read (7).on);
    EXPECT_NEAR (raw ("output"), -1.0, 1e-5);
}

TEST_F (PresetsTest, LoadFillsMissingParametersAndRefusesForeignFiles)
{
    params.set (2, "on", 1.0f);
    params.set (2, "freq", 300.0f);
    params.set (9, "on", 1.0f);

    const auto partial = write ("partial.tpreset",
                                "<?xml version=\"1.0\"?><state stateVersion=\"1\"><PARAM id=\"b10_on\" value=\"1\"/>"
                                "<PARAM id=\"b10_gain\" value=\"99\"/><PARAM id=\"b10_q\" value=\"nan\"/><PARAM id=\"output\" value=\"-3\"/></state>");
    ASSERT_TRUE (presets::load (processor, partial));
    EXPECT_TRUE (isFreeBand (params.read (2)));                       // absent: its defaults
    EXPECT_TRUE (params.read (9).on);
    EXPECT_NEAR (params.get (9, "gain"), 30.0, 1e-6);                  // limited to the range
    EXPECT_NEAR (params.get (9, "q"), 1.0, 1e-4);                      // not a number: the default
    EXPECT_NEAR (raw ("output"), -3.0, 1e-5);

    processor.apvts.state.setProperty ("presetName", "kept", nullptr);
    const auto before = processor.curve();
    for (const auto& [name, text] : { std::pair { "foreign.tpreset", "<PLUGINSTATE><PARAM id=\"b03_on\" value=\"1\"/></PLUGINSTATE>" },
                                      std::pair { "broken.tpreset", "<STATE><PARAM id=" },
                                      std::pair { "empty.tpreset", "" },
                                      std::pair { "instruction.tpreset", "<STATE><PARAM id=\"b03_on\" value=\"1\"/><?x?>text</STATE>" } })
        EXPECT_FALSE (presets::load (processor, write (name, text))) << name;
    EXPECT_FALSE (presets::load (processor, folder().getChildFile ("missing.tpreset")));

    // Bytes that are not UTF-8 text never reach the XML parser.
    const char broken[] = "<STATE><PARAM id=\"b01_on\" value=\"1\xff\xff\"/></STATE>";
    const auto binary = folder().getChildFile ("binary.tpreset");
    ASSERT_TRUE (binary.replaceWithData (broken, sizeof (broken) - 1));
    EXPECT_FALSE (presets::load (processor, binary));

    EXPECT_EQ (presetName(), "kept");
    EXPECT_FALSE (processor.curve().bands[2].on);
    EXPECT_EQ (processor.curve().bands[9].gain, before.bands[9].gain);
}

TEST_F (PresetsTest, InitResetsAllButTheListeningControls)
{
    params.set (4, "on", 1.0f);
    setGlobal ("scale", 50.0f);
    setGlobal ("match", 0.0f);
    setGlobal ("bypass", 1.0f);
    setGlobal ("monitor", 2.0f);
    processor.apvts.state.setProperty ("presetName", "mix", nullptr);

    presets::init (processor);
    EXPECT_TRUE (isFreeBand (params.read (4)));
    EXPECT_NEAR (raw ("scale"), 100.0, 1e-5);
    EXPECT_EQ (raw ("match"), 1.0f);
    EXPECT_EQ (raw ("bypass"), 1.0f);
    EXPECT_EQ (raw ("monitor"), 2.0f);
    EXPECT_EQ (presetName(), "");

    processor.undoManager.undo();
    EXPECT_TRUE (params.read (4).on);
}
