#include "preferences/Preferences.h"

#include <clocale>
#include <langinfo.h>

namespace
{
    constexpr juce::juce_wchar separator = 0x1f;
}

namespace preferences
{
    std::atomic<int> currentLang { -1 };
    std::atomic<int> currentTips { -1 };

    juce::PropertiesFile::Options fileOptions()
    {
        juce::PropertiesFile::Options options;
        options.applicationName = "Tirel";
        options.filenameSuffix = ".settings";
        options.folderName = "Quillonsound";
        options.osxLibrarySubFolder = "Application Support";
        options.commonToAllUsers = false;
        options.ignoreCaseOfKeyNames = false;
        options.millisecondsBeforeSaving = -1;
        options.storageFormat = juce::PropertiesFile::storeAsXML;
        return options;
    }

    int readSetting (std::atomic<int>& cache, const char* key, int defaultValue)
    {
        if (const int cached = cache.load(); cached >= 0)
            return cached;

        juce::PropertiesFile file (fileOptions());
        const int value = file.getIntValue (key, defaultValue) != 0 ? 1 : 0;
        cache.exchange (value);
        return value;
    }

    juce::String systemLanguageCode()
    {
        // The framework's own query answers with the language's name ("European Spanish");
        // the locale's two-letter abbreviation is what tells Spanish apart. The process locale
        // is set from the environment only for the question and put back afterwards.
        const juce::String previous (std::setlocale (LC_ALL, nullptr));
        std::setlocale (LC_ALL, "");
        const auto code = juce::String::fromUTF8 (nl_langinfo (_NL_ADDRESS_LANG_AB));
        std::setlocale (LC_ALL, previous.toRawUTF8());
        return code;
    }

    void writeSetting (std::atomic<int>& cache, const char* key, bool value)
    {
        cache.exchange (value ? 1 : 0);

        // The file may hold other keys: load it whole, change one, save it whole.
        juce::PropertiesFile file (fileOptions());
        file.setValue (key, value ? 1 : 0);
        file.saveIfNeeded();
    }
}

namespace ui
{
    juce::String tip (const char* spanish, const char* english)
    {
        return juce::String::fromUTF8 (spanish != nullptr ? spanish : "")
             + juce::String::charToString (separator)
             + juce::String::fromUTF8 (english != nullptr ? english : "");
    }

    juce::String inCurrentLanguage (const juce::String& text)
    {
        const int split = text.indexOfChar (separator);

        if (split < 0)
            return text;

        return langEn() ? text.substring (split + 1) : text.substring (0, split);
    }

    bool langEn()
    {
        const bool spanishSystem = preferences::systemLanguageCode().startsWithIgnoreCase ("es");
        return preferences::readSetting (preferences::currentLang, "lang", spanishSystem ? 0 : 1) == 1;
    }
}

LangTooltipWindow::~LangTooltipWindow() = default;

juce::String LangTooltipWindow::getTipFor (juce::Component& component)
{
    // The framework decides whether a tip may show at all (active app, no button held, not
    // blocked by a modal component) and returns the component's tooltip.
    return ui::inCurrentLanguage (juce::TooltipWindow::getTipFor (component));
}
