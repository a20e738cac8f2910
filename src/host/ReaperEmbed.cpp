#include "host/ReaperEmbed.h"

#include "dsp/Display.h"
#include "editor/Palette.h"
#include "processor/PluginProcessor.h"

#include <cctype>
#include <cstring>
#include <string>

namespace
{
    bool isId (const Steinberg::TUID iid, const Steinberg::int8 (&id)[16])
    {
        return std::memcmp (iid, id, sizeof (id)) == 0;
    }

    // REAPER's API functions used by a click on the miniature.
    using GetCount = int (*) (void* track);
    using GetNamedConfigParm = bool (*) (void* track, int fx, const char* name, char* buffer, int size);
    using Show = void (*) (void* track, int fx, int showFlag);

    // Byte text of any encoding: compared as 8-bit characters, ignoring ASCII case.
    bool containsTirel (const char* text)
    {
        std::string lower (text);
        for (auto& c : lower)
            c = (char) std::tolower ((unsigned char) c);
        return lower.find ("tirel") != std::string::npos;
    }
}

ReaperEmbed::ReaperEmbed (TirelAudioProcessor& p) : processor (p) {}
ReaperEmbed::~ReaperEmbed()
{
    setIHostApplication (nullptr);
}

int32_t ReaperEmbed::queryIEditController (const Steinberg::TUID iid, void** obj)
{
    if (isId (iid, reaper::kUIEmbedId))
    {
        embeddedUI.addRef();
        *obj = &embeddedUI;
        return Steinberg::kResultOk;
    }

    *obj = nullptr;
    return -1;
}

void ReaperEmbed::setIHostApplication (Steinberg::FUnknown* host)
{
    // The interface came with a reference of its own.
    if (reaperHost != nullptr)
        reaperHost->release();
    reaperHost = nullptr;

    void* found = nullptr;
    if (host != nullptr && host->queryInterface (reaper::kHostApplicationId, &found) == Steinberg::kResultOk && found != nullptr)
        reaperHost = static_cast<reaper::IReaperHostApplication*> (found);
}

Steinberg::tresult PLUGIN_API ReaperEmbed::EmbeddedUI::queryInterface (const Steinberg::TUID id, void** obj)
{
    if (isId (id, reaper::kUIEmbedId))
    {
        addRef();
        *obj = this;
        return Steinberg::kResultOk;
    }

    *obj = nullptr;
    return Steinberg::kNoInterface;
}

Steinberg::TPtrInt PLUGIN_API ReaperEmbed::EmbeddedUI::embed_message (int message, Steinberg::TPtrInt parm2, Steinberg::TPtrInt parm3)
{
    switch (message)
    {
        case reaper::embedSupported:
            return 1;
        case reaper::embedPaint:
            return owner.paint (reinterpret_cast<reaper::Bitmap*> (parm2), reinterpret_cast<void*> (parm3)) ? 1 : 0;
        case reaper::embedSizeLimits:
            return writeSizeLimits (reinterpret_cast<void*> (parm3)) ? 1 : 0;
        case reaper::embedLeftButtonDown:
            owner.openPluginWindow();
            return 1;
        default:
            return 0;
    }
}

//==============================================================================
bool ReaperEmbed::writeSizeLimits (void* limits)
{
    if (limits == nullptr)
        return false;

    // A window size-limits record: five points of two 32-bit ints. The first is reserved, the
    // fourth the smallest size, the fifth the largest.
    auto* points = static_cast<std::int32_t*> (limits);
    points[0] = 0;
    points[1] = 0;
    points[6] = 40;
    points[7] = 24;
    points[8] = 1000;
    points[9] = 1000;
    return true;
}

bool ReaperEmbed::paint (reaper::Bitmap* bitmap, void* drawingInfo)
{
    if (bitmap == nullptr || drawingInfo == nullptr)
        return false;

    const int w = bitmap->getWidth(), h = bitmap->getHeight();
    auto* pixels = bitmap->getBits();
    if (w <= 0 || h <= 0 || pixels == nullptr)
        return false;

    double scale = 1.0;
    if (const auto e = bitmap->Extended (reaper::kExtendedDisplayScale, nullptr); e > 0)
        scale = (double) e / 256.0;

    juce::Image image (juce::Image::ARGB, w, h, true, juce::SoftwareImageType());
    {
        juce::Graphics g (image);
        g.addTransform (juce::AffineTransform::scale ((float) scale));
        drawEmbedded (g, { 0, 0, juce::roundToInt (w / scale), juce::roundToInt (h / scale) }, processor);
    }

    const juce::Image::BitmapData data (image, juce::Image::BitmapData::readOnly);
    const int span = bitmap->getRowSpan();
    const bool flipped = bitmap->isFlipped();
    for (int row = 0; row < h; ++row)
        std::memcpy (pixels + (size_t) (flipped ? h - 1 - row : row) * (size_t) span, data.getLinePointer (row), (size_t) w * 4);

    return true;
}

void ReaperEmbed::drawEmbedded (juce::Graphics& g, juce::Rectangle<int> area, TirelAudioProcessor& processor)
{
    const float w = (float) area.getWidth(), h = (float) area.getHeight();
    g.setColour (ui::bg);
    g.fillRect (0.0f, 0.0f, w, h);

    const auto curve = processor.curve();
    const double range = tl::validGraphRange (processor.apvts.state.getProperty ("graphRange", 12.0));
    const bool bypassed = processor.apvts.getRawParameterValue ("bypass")->load() > 0.5f;

    const float width = w - 4.0f;
    const float height = std::max (0.0f, h - 6.0f);
    const float mid = height / 2.0f + 3.0f;
    const auto yOf = [&] (double hz)
    {
        const double db = juce::jlimit (-range, range, tl::summedDb (curve, tl::kMainCurveChannels, hz));
        return mid - (float) (db / range) * height * 0.5f;
    };

    if (width > 0.0f)
    {
        g.setColour (ui::grid);
        g.fillRect (2.0f, (float) juce::roundToInt (mid), width, 1.0f);
    }

    const int n = std::max (2, juce::roundToInt (width));
    juce::Path line, fill;
    fill.startNewSubPath (2.0f, mid);
    for (int i = 0; i < n; ++i)
    {
        const float fraction = (float) i / (float) (n - 1);
        const juce::Point<float> p { 2.0f + fraction * width, yOf (20.0 * std::pow (1000.0, (double) fraction)) };
        if (i == 0)
            line.startNewSubPath (p);
        else
            line.lineTo (p);
        fill.lineTo (p);
    }
    fill.lineTo (2.0f + width, mid);
    fill.closeSubPath();

    g.setColour (ui::metal.withAlpha (bypassed ? 0.035f : 0.1f));
    g.fillPath (fill);
    g.setColour (ui::metal.withAlpha (bypassed ? 0.35f : 1.0f));
    g.strokePath (line, juce::PathStrokeType (1.3f));

    if (height >= 18.0f)
    {
        for (int b = 0; b < tl::kNumBands; ++b)
        {
            const auto& band = curve.bands[(size_t) b];
            if (! band.on)
                continue;

            const float x = 2.0f + (float) (std::log (band.freq / 20.0) / std::log (1000.0)) * width;
            g.setColour (ui::bandColour (b).withAlpha (bypassed ? 0.35f : 1.0f));
            g.fillEllipse (juce::Rectangle<float> (5.0f, 5.0f).withCentre ({ x, yOf (band.freq) }));
        }
    }

    const int mode = processor.mode.load();
    if ((mode == 1 || mode == 2) && area.getWidth() >= 50 && area.getHeight() >= 16)
    {
        g.setColour (ui::metal2);
        g.setFont (ui::bold (9.0f));
        g.drawText (mode == 1 ? "LIN" : "HQ", juce::Rectangle<float> (4.0f, 2.0f, std::max (0.0f, w - 8.0f), std::max (0.0f, h - 4.0f)),
                    juce::Justification::topRight, true);
    }
}

//==============================================================================
void ReaperEmbed::openPluginWindow()
{
    if (reaperHost == nullptr)
        return;

    auto* track = reaperHost->getReaperParent (1);
    if (track == nullptr)
        return;

    const auto getCount = reinterpret_cast<GetCount> (reaperHost->getReaperApi ("TrackFX_GetCount"));
    const auto getRecCount = reinterpret_cast<GetCount> (reaperHost->getReaperApi ("TrackFX_GetRecCount"));
    const auto getNamedConfigParm = reinterpret_cast<GetNamedConfigParm> (reaperHost->getReaperApi ("TrackFX_GetNamedConfigParm"));
    const auto show = reinterpret_cast<Show> (reaperHost->getReaperApi ("TrackFX_Show"));
    if (getCount == nullptr || getRecCount == nullptr || getNamedConfigParm == nullptr || show == nullptr)
        return;

    const int recCount = getRecCount (track);
    const int count = getCount (track);
    const int index = findSoleInstance (count, recCount, [&] (int fx, char* buffer, int size)
    {
        return getNamedConfigParm (track, fx, "fx_ident", buffer, size) && buffer[0] != 0;
    });

    if (index >= 0)
        show (track, index, 3);
}

int ReaperEmbed::findSoleInstance (int count, int recCount, const std::function<bool (int, char*, int)>& query)
{
    const int total = count + recCount;
    if (total <= 0)
        return -1;

    int matches = 0, found = -1;
    for (int i = 0; i < total; ++i)
    {
        const int index = i < count ? i : reaper::kRecordChainFlag + (i - count);
        char buffer[1024] {};
        if (! query (index, buffer, (int) sizeof (buffer)))
            return -1;

        buffer[sizeof (buffer) - 1] = 0;      // whatever REAPER wrote, the text ends here
        if (containsTirel (buffer))
        {
            ++matches;
            found = index;
        }
    }

    return matches == 1 ? found : -1;
}
