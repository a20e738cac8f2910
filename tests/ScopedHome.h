#pragma once

// A fresh home directory for one test, as a new user on a new machine would have: the
// preferences file, the documents folder and the presets live under it. The process-wide
// preference caches start unread, as in a new process.

#include "preferences/Preferences.h"

#include <cstdlib>
#include <optional>
#include <string>

namespace tltest
{
struct ScopedHome
{
    ScopedHome()
    {
        folder.getFile().createDirectory();
        setenv ("HOME", folder.getFile().getFullPathName().toRawUTF8(), 1);
        setenv ("XDG_CONFIG_HOME", folder.getFile().getChildFile (".config").getFullPathName().toRawUTF8(), 1);
        forgetPreferences();
    }

    ~ScopedHome()
    {
        restore ("HOME", previousHome);
        restore ("XDG_CONFIG_HOME", previousConfig);
        folder.getFile().deleteRecursively();
        forgetPreferences();
    }

    juce::File path() const { return folder.getFile(); }

    static void forgetPreferences()
    {
        preferences::currentLang = -1;
        preferences::currentTips = -1;
    }

private:
    using Saved = std::optional<std::string>;

    static void restore (const char* name, const Saved& value)
    {
        if (value)
            setenv (name, value->c_str(), 1);
        else
            unsetenv (name);
    }

    static Saved saved (const char* name)
    {
        const char* value = std::getenv (name);
        return value != nullptr ? Saved (value) : std::nullopt;
    }

    juce::TemporaryFile folder { "home" };
    Saved previousHome = saved ("HOME");
    Saved previousConfig = saved ("XDG_CONFIG_HOME");
};
} // namespace tltest
