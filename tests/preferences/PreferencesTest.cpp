#include "preferences/Preferences.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

namespace
{
// Each test gets its own home directory and fresh process-wide caches, as a new process would.
struct PreferencesTest : ::testing::Test
{
    juce::TemporaryFile home { "home" };
    juce::String previousHome = juce::SystemStats::getEnvironmentVariable ("HOME", {});

    void SetUp() override
    {
        ASSERT_TRUE (home.getFile().createDirectory());
        setenv ("HOME", home.getFile().getFullPathName().toRawUTF8(), 1);
        forgetCaches();
    }

    void TearDown() override
    {
        setenv ("HOME", previousHome.toRawUTF8(), 1);
        home.getFile().deleteRecursively();
        forgetCaches();
    }

    static void forgetCaches()
    {
        preferences::currentLang = -1;
        preferences::currentTips = -1;
    }

    juce::File settingsFile() const { return home.getFile().getChildFile ("Quillonsound/Tirel.settings"); }

    void writeFile (const juce::String& text) const
    {
        ASSERT_TRUE (settingsFile().getParentDirectory().createDirectory());
        ASSERT_TRUE (settingsFile().replaceWithText (text));
    }

    static bool systemIsSpanish() { return preferences::systemLanguageCode().startsWithIgnoreCase ("es"); }
};
} // namespace

TEST_F (PreferencesTest, FileLivesInTheMakersFolderAsXml)
{
    EXPECT_EQ (preferences::fileOptions().getDefaultFile(), settingsFile());

    preferences::writeSetting (preferences::currentLang, "lang", true);
    preferences::writeSetting (preferences::currentTips, "tips", false);

    const auto xml = juce::parseXML (settingsFile());
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "PROPERTIES");

    juce::StringPairArray values;
    for (auto* v : xml->getChildWithTagNameIterator ("VALUE"))
        values.set (v->getStringAttribute ("name"), v->getStringAttribute ("val"));

    EXPECT_EQ (values["lang"], "1");
    EXPECT_EQ (values["tips"], "0");
}

TEST_F (PreferencesTest, DefaultsWithoutAFile)
{
    EXPECT_EQ (ui::langEn(), ! systemIsSpanish());
    EXPECT_EQ (preferences::readSetting (preferences::currentTips, "tips", 1), 1);
    EXPECT_FALSE (settingsFile().exists());     // reading never creates the file
}

TEST_F (PreferencesTest, ValuesInTheFile)
{
    struct Case { const char* lang; bool english; };
    const Case cases[] = { { "1", true }, { "0", false }, { "2", true }, { "-1", true }, { "abc", false } };

    for (const auto& c : cases)
    {
        forgetCaches();
        writeFile (juce::String ("<?xml version=\"1.0\" encoding=\"UTF-8\"?><PROPERTIES><VALUE name=\"lang\" val=\"")
                   + c.lang + "\"/><VALUE name=\"tips\" val=\"0\"/></PROPERTIES>");
        EXPECT_EQ (ui::langEn(), c.english) << c.lang;
        EXPECT_EQ (preferences::readSetting (preferences::currentTips, "tips", 1), 0);
    }
}

TEST_F (PreferencesTest, MalformedFileGivesTheDefaults)
{
    writeFile ("this is not <xml");
    EXPECT_EQ (ui::langEn(), ! systemIsSpanish());
    EXPECT_EQ (preferences::readSetting (preferences::currentTips, "tips", 1), 1);
}

TEST_F (PreferencesTest, CachedForTheProcessAndWrittenThrough)
{
    writeFile ("<?xml version=\"1.0\" encoding=\"UTF-8\"?><PROPERTIES><VALUE name=\"lang\" val=\"0\"/>"
               "<VALUE name=\"other\" val=\"kept\"/></PROPERTIES>");
    EXPECT_FALSE (ui::langEn());

    // Another process changing the file is not seen: the file is read once.
    writeFile ("<?xml version=\"1.0\" encoding=\"UTF-8\"?><PROPERTIES><VALUE name=\"lang\" val=\"1\"/>"
               "<VALUE name=\"other\" val=\"kept\"/></PROPERTIES>");
    EXPECT_FALSE (ui::langEn());

    preferences::writeSetting (preferences::currentLang, "lang", false);
    preferences::writeSetting (preferences::currentLang, "lang", true);
    EXPECT_TRUE (ui::langEn());

    juce::PropertiesFile file (preferences::fileOptions());
    EXPECT_EQ (file.getValue ("lang"), "1");
    EXPECT_EQ (file.getValue ("other"), "kept");     // other keys survive a write
}

TEST_F (PreferencesTest, ChoiceHoldsWhenTheFileCannotBeWritten)
{
    setenv ("HOME", "/proc/no-such-home", 1);
    preferences::writeSetting (preferences::currentTips, "tips", false);
    EXPECT_EQ (preferences::readSetting (preferences::currentTips, "tips", 1), 0);
}

TEST_F (PreferencesTest, BilingualTipsShowTheCurrentLanguage)
{
    const auto both = ui::tip ("Ganancia de salida", "Output gain");
    EXPECT_EQ (both, juce::String ("Ganancia de salida") + juce::String::charToString (0x1f) + "Output gain");
    EXPECT_EQ (ui::tip (nullptr, "Only English"), juce::String::charToString (0x1f) + "Only English");
    EXPECT_EQ (ui::tip ("Ñandú", nullptr), juce::String::fromUTF8 ("Ñandú") + juce::String::charToString (0x1f));

    // Texts are split at the moment they show; the language may change in between.
    preferences::writeSetting (preferences::currentLang, "lang", true);
    EXPECT_EQ (ui::inCurrentLanguage (both), "Output gain");
    preferences::writeSetting (preferences::currentLang, "lang", false);
    EXPECT_EQ (ui::inCurrentLanguage (both), "Ganancia de salida");
    EXPECT_EQ (ui::inCurrentLanguage ("Same in both"), "Same in both");

    // The tooltip window shows nothing for a component without a tooltip.
    LangTooltipWindow window;
    juce::Label noTip;
    EXPECT_TRUE (window.getTipFor (noTip).isEmpty());
}

namespace
{
// Runs the system language query under a locale compiled into a scratch folder, as a user whose
// desktop is set to that locale would start the plug-in. The environment is put back afterwards.
struct LocaleEnvironment
{
    juce::TemporaryFile folder { "locales" };
    std::vector<std::pair<const char*, juce::String>> saved;

    explicit LocaleEnvironment (const char* locale)
    {
        for (const char* name : { "LANG", "LANGUAGE", "LC_ALL", "LC_IDENTIFICATION", "LOCPATH" })
        {
            if (const char* value = std::getenv (name))
                saved.emplace_back (name, juce::String::fromUTF8 (value));
            unsetenv (name);
        }

        folder.getFile().createDirectory();
        const juce::String name (locale);
        juce::ChildProcess localedef;
        compiled = localedef.start (juce::StringArray { "localedef", "-i", name.upToFirstOccurrenceOf (".", false, false),
                                                        "-f", "UTF-8", folder.getFile().getChildFile (name).getFullPathName() })
                   && localedef.waitForProcessToFinish (60000) && localedef.getExitCode() == 0;

        setenv ("LOCPATH", folder.getFile().getFullPathName().toRawUTF8(), 1);
        setenv ("LANG", locale, 1);
    }

    ~LocaleEnvironment()
    {
        unsetenv ("LANG");
        unsetenv ("LOCPATH");
        for (const auto& [name, value] : saved)
            setenv (name, value.toRawUTF8(), 1);
        folder.getFile().deleteRecursively();
    }

    bool compiled = false;
};
} // namespace

TEST_F (PreferencesTest, SpanishDesktopStartsInSpanishUntilTheUserSwitches)
{
    LocaleEnvironment spanish ("es_ES.UTF-8");
    ASSERT_TRUE (spanish.compiled) << "localedef could not build es_ES (Debian package: locales)";
    ASSERT_EQ (preferences::systemLanguageCode(), "es");

    EXPECT_FALSE (ui::langEn());
    EXPECT_EQ (ui::inCurrentLanguage (ui::tip ("Escala", "Scale")), "Escala");

    // The "EN" switch writes the choice; the next process starts in English.
    preferences::writeSetting (preferences::currentLang, "lang", true);
    forgetCaches();
    EXPECT_TRUE (ui::langEn());
    EXPECT_EQ (juce::PropertiesFile (preferences::fileOptions()).getValue ("lang"), "1");
}

TEST_F (PreferencesTest, OtherDesktopLanguagesStartInEnglish)
{
    struct Case { const char* locale; const char* code; };
    for (const auto& c : { Case { "C.UTF-8", "" }, Case { "de_DE.UTF-8", "de" }, Case { "en_GB.UTF-8", "en" } })
    {
        LocaleEnvironment desktop (c.locale);
        forgetCaches();
        EXPECT_EQ (preferences::systemLanguageCode(), c.code) << c.locale;
        EXPECT_TRUE (ui::langEn()) << c.locale;
    }
}
