#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>

/** Per-user choices that belong to the user rather than to a project: the help language and
    whether help tooltips show. Kept in ~/Quillonsound/Tirel.settings, read once per process
    and written through the moment they change.
*/
namespace preferences
{
    /** Process-wide caches: -1 until first read, then 0 or 1. Shared by every instance. */
    extern std::atomic<int> currentLang;
    extern std::atomic<int> currentTips;

    /** The options of the preferences file. */
    juce::PropertiesFile::Options fileOptions();

    /** The cached setting, read from the file (with defaultValue when absent) on first use. */
    int readSetting (std::atomic<int>& cache, const char* key, int defaultValue);

    /** The two-letter code of the user's language ("es", "en"), from the locale the environment
        names; empty when the environment names none. */
    juce::String systemLanguageCode();

    /** Caches the choice first, so it holds even when the file cannot be written, then writes it. */
    void writeSetting (std::atomic<int>& cache, const char* key, bool value);
}

namespace ui
{
    /** One help text in both languages, Spanish first, joined by U+001F. */
    juce::String tip (const char* spanish, const char* english);

    /** The half of a bilingual text in the current language; a text without a separator as it is. */
    juce::String inCurrentLanguage (const juce::String& text);

    /** True when help texts are in English: the user's choice, else English unless the system
        language is Spanish. */
    bool langEn();
}

/** A tooltip window that shows the half of a bilingual help text in the current language. */
class LangTooltipWindow : public juce::TooltipWindow
{
public:
    using juce::TooltipWindow::TooltipWindow;
    ~LangTooltipWindow() override;

    juce::String getTipFor (juce::Component&) override;
};
