#include "presets/Presets.h"

#include "preferences/Preferences.h"
#include "processor/BandParams.h"
#include "processor/PluginProcessor.h"
#include "processor/XmlText.h"

#include <algorithm>

namespace presets
{
    namespace
    {
        const juce::Identifier presetNameProperty { "presetName" };

        bool isListeningControl (const juce::String& id) { return id == "bypass" || id == "delta" || id == "monitor"; }

        juce::String inLanguage (const char* spanish, const char* english) { return ui::inCurrentLanguage (ui::tip (spanish, english)); }

        // Sets every parameter that presets touch, as one undo step, from its stored plain value
        // (nothing: the default).
        template <typename ValueOf>
        void applyParameters (TirelAudioProcessor& processor, ValueOf valueOf)
        {
            processor.undoManager.beginNewTransaction();

            for (auto* p : processor.getParameters())
                if (auto* ranged = dynamic_cast<juce::RangedAudioParameter*> (p); ranged != nullptr && ! isListeningControl (ranged->paramID))
                {
                    const std::optional<float> stored = valueOf (*ranged);
                    const float plain = stored ? ranged->getNormalisableRange().snapToLegalValue (*stored)
                                               : ranged->convertFrom0to1 (ranged->getDefaultValue());
                    setParameter (processor, *ranged, plain);
                }
        }
    }

    juce::Array<juce::File> list (const juce::File& folder)
    {
        auto files = folder.findChildFiles (juce::File::findFiles, false, "*.tpreset");
        std::sort (files.begin(), files.end(), [] (const juce::File& a, const juce::File& b)
                   { return a.getFullPathName().compare (b.getFullPathName()) < 0; });
        return files;
    }

    juce::PopupMenu menu (const juce::Array<juce::File>& files)
    {
        juce::PopupMenu m;
        m.addItem (1, inLanguage ("Init (valores por defecto)", "Init (default settings)"));
        m.addSeparator();
        m.addSectionHeader (inLanguage ("Mis presets", "My presets"));

        if (files.isEmpty())
            m.addItem (2, inLanguage ("(todavía no hay ninguno)", "(none yet)"), false);

        for (int i = 0; i < files.size(); ++i)
            m.addItem (1000 + i, files[i].getFileNameWithoutExtension());

        m.addSeparator();
        m.addItem (3, inLanguage ("Guardar preset...", "Save preset..."));
        m.addItem (4, inLanguage ("Abrir la carpeta de presets", "Open the presets folder"));
        return m;
    }

    void init (TirelAudioProcessor& processor)
    {
        applyParameters (processor, [] (auto&) { return std::optional<float>(); });
        processor.apvts.state.setProperty (presetNameProperty, juce::String(), nullptr);
    }

    bool load (TirelAudioProcessor& processor, const juce::File& file)
    {
        // A preset is a few kilobytes, so anything huge is not one.
        constexpr juce::int64 kLargestPreset = 4 << 20;
        juce::MemoryBlock bytes;
        if (file.getSize() > kLargestPreset || ! file.loadFileAsData (bytes)
            || ! isParsableXmlText (static_cast<const char*> (bytes.getData()), (int) bytes.getSize()))
            return false;

        const auto xml = juce::parseXML (bytes.toString());
        if (xml == nullptr || ! xml->getTagName().equalsIgnoreCase (processor.apvts.state.getType().toString()))
            return false;

        const auto tree = TirelAudioProcessor::migrateState (juce::ValueTree::fromXml (*xml));

        applyParameters (processor, [&tree] (juce::RangedAudioParameter& p) -> std::optional<float>
        {
            const auto child = tree.getChildWithProperty ("id", p.paramID);
            if (! child.isValid())
                return std::nullopt;

            // A value that is not a finite number counts as missing.
            const double value = child.getProperty ("value");
            return std::isfinite (value) ? std::optional<float> ((float) value) : std::nullopt;
        });

        processor.apvts.state.setProperty (presetNameProperty, file.getFileNameWithoutExtension(), nullptr);
        return true;
    }

    std::optional<juce::File> save (TirelAudioProcessor& processor, const juce::File& chosen)
    {
        // The folder is listed by "*.tpreset", which is case-sensitive here.
        const auto file = chosen.getFileExtension() == ".tpreset" ? chosen : chosen.withFileExtension (".tpreset");
        const auto name = file.getFileNameWithoutExtension();

        auto copy = processor.apvts.copyState();
        copy.setProperty ("stateVersion", 1, nullptr);
        copy.setProperty (presetNameProperty, name, nullptr);

        const auto xml = copy.createXml();
        if (xml == nullptr || ! file.getParentDirectory().createDirectory() || ! xml->writeTo (file))
            return std::nullopt;

        processor.apvts.state.setProperty (presetNameProperty, name, nullptr);
        return file;
    }

    juce::File defaultSaveFile (TirelAudioProcessor& processor)
    {
        const auto name = processor.apvts.state.getProperty (presetNameProperty).toString();
        return TirelAudioProcessor::userPresetFolder().getChildFile ((name.isEmpty() ? juce::String ("Preset") : name) + ".tpreset");
    }

    void openFolder (const juce::File& folder)
    {
        folder.createDirectory();
        if (folder.getFullPathName().isNotEmpty() && folder.isDirectory())
            juce::Process::openDocument (folder.getFullPathName(), {});
    }
}
