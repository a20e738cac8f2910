#include "dsp/Display.h"
#include "editor/Palette.h"
#include "host/ReaperEmbed.h"
#include "processor/BandParams.h"
#include "processor/PluginProcessor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

// A stand-in for REAPER: its host-application interface with the four API functions the
// miniature uses, a track with effect chains, and the bitmap it paints into.
namespace
{
struct FakeBitmap : reaper::Bitmap
{
    FakeBitmap (int width, int height, bool flip = false, std::intptr_t scaling = 256, int extraSpan = 3)
        : w (width), h (height), span (width + extraSpan), flipped (flip), scale (scaling),
          pixels ((size_t) std::max (0, span * height), 0xDEADBEEFu) {}

    std::uint32_t* getBits() override { return pixels.empty() ? nullptr : pixels.data(); }
    int getWidth() override { return w; }
    int getHeight() override { return h; }
    int getRowSpan() override { return span; }
    bool isFlipped() override { return flipped; }
    bool resize (int, int) override { return false; }
    void* getDC() override { return nullptr; }
    std::intptr_t Extended (int id, void*) override { return id == reaper::kExtendedDisplayScale ? scale : 0; }

    juce::Colour at (int x, int y) const { return juce::Colour (pixels[(size_t) (y * span + x)]); }

    int w, h, span;
    bool flipped;
    std::intptr_t scale;
    std::vector<std::uint32_t> pixels;
};

struct FakeReaper : reaper::IReaperHostApplication
{
    std::vector<std::string> chain, inputChain;
    std::map<std::string, bool> missing;
    bool hasTrack = true, identsReadable = true;
    std::vector<std::pair<int, int>> shown;
    int track = 0;                                  // its address stands for the track

    static inline FakeReaper* current = nullptr;

    FakeReaper() { current = this; }
    ~FakeReaper() { current = nullptr; }

    Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID id, void** obj) override
    {
        if (std::memcmp (id, reaper::kHostApplicationId, 16) == 0)
        {
            *obj = static_cast<reaper::IReaperHostApplication*> (this);
            addRef();
            return Steinberg::kResultOk;
        }
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    Steinberg::uint32 PLUGIN_API addRef() override { return (Steinberg::uint32) ++references; }
    Steinberg::uint32 PLUGIN_API release() override { return (Steinberg::uint32) --references; }
    int references = 0;

    void* PLUGIN_API getReaperParent (Steinberg::uint32 kind) override { return kind == 1 && hasTrack ? &track : nullptr; }

    void* PLUGIN_API getReaperApi (const char* name) override
    {
        const std::string n (name);
        if (missing[n])
            return nullptr;
        if (n == "TrackFX_GetCount")
            return reinterpret_cast<void*> (+[] (void*) { return (int) current->chain.size(); });
        if (n == "TrackFX_GetRecCount")
            return reinterpret_cast<void*> (+[] (void*) { return (int) current->inputChain.size(); });
        if (n == "TrackFX_GetNamedConfigParm")
            return reinterpret_cast<void*> (+[] (void*, int fx, const char* parm, char* buffer, int size) { return current->ident (fx, parm, buffer, size); });
        if (n == "TrackFX_Show")
            return reinterpret_cast<void*> (+[] (void*, int fx, int flag) { current->shown.emplace_back (fx, flag); });
        return nullptr;
    }

    bool ident (int fx, const char* parm, char* buffer, int size) const
    {
        if (! identsReadable || std::string (parm) != "fx_ident")
            return false;
        const bool input = fx >= reaper::kRecordChainFlag;
        const auto& list = input ? inputChain : chain;
        const auto index = (size_t) (input ? fx - reaper::kRecordChainFlag : fx);
        if (index >= list.size())
            return false;
        std::strncpy (buffer, list[index].c_str(), (size_t) size - 1);
        return true;
    }
};

// A host that is not REAPER: it knows no REAPER interface.
struct OtherHost : Steinberg::FUnknown
{
    Steinberg::tresult PLUGIN_API queryInterface (const Steinberg::TUID, void** obj) override { *obj = nullptr; return Steinberg::kNoInterface; }
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
};

struct ReaperEmbedTest : ::testing::Test
{
    TirelAudioProcessor processor;
    ReaperEmbed& embed = *static_cast<ReaperEmbed*> (processor.getVST3ClientExtensions());
    reaper::IReaperUIEmbedInterface& ui = embed.embeddedUI;
    char drawingInfo[64] {};

    std::intptr_t send (int message, const void* parm2 = nullptr, const void* parm3 = nullptr)
    {
        return (std::intptr_t) ui.embed_message (message, (Steinberg::TPtrInt) parm2, (Steinberg::TPtrInt) parm3);
    }

    bool paint (FakeBitmap& bitmap) { return send (reaper::embedPaint, static_cast<reaper::Bitmap*> (&bitmap), drawingInfo) == 1; }

    void setBand (int band, int type, float freq, float gain, int channel = tl::Stereo)
    {
        const BandParams params (processor);
        params.set (band, "type", (float) type);
        params.set (band, "freq", freq);
        params.set (band, "gain", gain);
        params.set (band, "ch", (float) channel);
        params.set (band, "on", 1.0f);
    }

    // The row where column x is brightest: where the curve's line runs.
    static int brightestRow (const FakeBitmap& b, int x)
    {
        int best = 0;
        for (int y = 1; y < b.h; ++y)
            if (b.at (x, y).getBrightness() > b.at (x, best).getBrightness())
                best = y;
        return best;
    }
};

std::array<std::uint8_t, 16> bytesOf (std::array<std::uint32_t, 4> words)
{
    std::array<std::uint8_t, 16> bytes {};
    for (size_t w = 0; w < 4; ++w)
        for (size_t b = 0; b < 4; ++b)
            bytes[w * 4 + b] = (std::uint8_t) (words[w] >> (24 - 8 * b));
    return bytes;
}
} // namespace

TEST_F (ReaperEmbedTest, AnswersOnlyForItsInterface)
{
    EXPECT_EQ (processor.getVST3ClientExtensions(), &embed);              // one object per instance

    EXPECT_EQ (0, std::memcmp (reaper::kUIEmbedId, bytesOf ({ 0x049BF9E7, 0xBC74EAD0, 0xC4101E86, 0x7F725981 }).data(), 16));
    EXPECT_EQ (0, std::memcmp (reaper::kHostApplicationId, bytesOf ({ 0x79655E36, 0x77EE4267, 0xA573FEF7, 0x4912C27C }).data(), 16));

    // Any other interface, such as the base interface or REAPER's host side, is not answered.
    const Steinberg::int8 unknownId[16] { 0, 0, 0, 0, 0, 0, 0, 0, (Steinberg::int8) 0xC0, 0, 0, 0, 0, 0, 0, 0x46 };
    void* obj = &processor;
    EXPECT_EQ (embed.queryIEditController (reaper::kUIEmbedId, &obj), 0);
    EXPECT_EQ (obj, &ui);
    for (const auto* other : { unknownId, reaper::kHostApplicationId })
    {
        obj = &processor;
        EXPECT_EQ (embed.queryIEditController (other, &obj), -1);
        EXPECT_EQ (obj, nullptr);
    }

    EXPECT_EQ (ui.queryInterface (reaper::kUIEmbedId, &obj), Steinberg::kResultOk);
    EXPECT_EQ (obj, &ui);
    EXPECT_NE (ui.queryInterface (unknownId, &obj), Steinberg::kResultOk);
    EXPECT_EQ (obj, nullptr);

    // Counting only: the object lives inside its owner.
    const auto count = ui.addRef();
    EXPECT_EQ (ui.release(), count - 1);

    EXPECT_EQ (send (reaper::embedSupported), 1);
    for (const int other : { 1, 14, 16, 512, 514, -1 })
        EXPECT_EQ (send (other), 0) << other;
}

TEST_F (ReaperEmbedTest, SizeLimitsAreWrittenAtTheirPlaces)
{
    std::int32_t limits[10];
    std::fill (std::begin (limits), std::end (limits), 77);
    EXPECT_EQ (send (reaper::embedSizeLimits, nullptr, limits), 1);

    const std::int32_t expected[10] { 0, 0, 77, 77, 77, 77, 40, 24, 1000, 1000 };
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ (limits[i], expected[i]) << i;

    EXPECT_EQ (send (reaper::embedSizeLimits, limits, nullptr), 0);
}

TEST_F (ReaperEmbedTest, PaintRefusesMissingOrEmptyBitmaps)
{
    FakeBitmap bitmap (100, 40);
    EXPECT_EQ (send (reaper::embedPaint, nullptr, drawingInfo), 0);
    EXPECT_EQ (send (reaper::embedPaint, static_cast<reaper::Bitmap*> (&bitmap), nullptr), 0);

    for (auto size : { std::pair { 0, 40 }, std::pair { 100, 0 }, std::pair { -5, 40 } })
    {
        FakeBitmap empty (size.first, size.second);
        EXPECT_FALSE (paint (empty));
    }

    FakeBitmap noPixels (100, 40, false, 256, -100);          // a span that leaves no pixels
    EXPECT_FALSE (paint (noPixels));
}

TEST_F (ReaperEmbedTest, PaintsTheCurveWithinTheRowsAndItsFlippedMirror)
{
    setBand (0, tl::Bell, 1000.0f, 9.0f);
    FakeBitmap normal (200, 60), flipped (200, 60, true);
    ASSERT_TRUE (paint (normal));
    ASSERT_TRUE (paint (flipped));

    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ (normal.at (x, y).getARGB(), flipped.at (x, 59 - y).getARGB()) << x << ", " << y;

    // Nothing written past each row's width.
    EXPECT_EQ (normal.pixels[(size_t) normal.w], 0xDEADBEEFu);
    EXPECT_EQ (normal.at (0, 0).getARGB(), ui::bg.getARGB());

    // The curve beside the band's point follows the summed response; far from it, the 0 dB
    // line at row 30 (+12 dB would be row 3).
    const int x = (int) std::lround (2.0 + std::log (50.0) / std::log (1000.0) * 196.0) + 6;
    const double db = tl::summedDb (processor.curve(), tl::kMainCurveChannels, 20.0 * std::pow (1000.0, (x - 2) / 196.0));
    EXPECT_GT (db, 3.0);
    EXPECT_NEAR (brightestRow (normal, x), 30.0 - db / 12.0 * 27.0, 1.0);
    EXPECT_NEAR (brightestRow (normal, 4), 30, 1);
}

TEST_F (ReaperEmbedTest, DisplayScalingDrawsAtTheLogicalSize)
{
    FakeBitmap single (200, 60, false, 256), doubled (400, 120, false, 512);
    ASSERT_TRUE (paint (single));
    ASSERT_TRUE (paint (doubled));

    EXPECT_NEAR (brightestRow (single, 100), 30, 1);
    EXPECT_NEAR (brightestRow (doubled, 200), 60, 2);

    // Without a scaling answer the bitmap is drawn at 1.0.
    FakeBitmap unknown (200, 60, false, 0);
    ASSERT_TRUE (paint (unknown));
    EXPECT_EQ (unknown.pixels, single.pixels);
}

TEST_F (ReaperEmbedTest, BandPointsSideBandsAndBypass)
{
    setBand (3, tl::Bell, 1000.0f, 12.0f, tl::Side);                  // not on the curve, but its point is
    const float x1k = 2.0f + std::log (1000.0f / 20.0f) / std::log (1000.0f) * 196.0f;

    FakeBitmap tall (200, 24);                                         // H = 18: points drawn
    ASSERT_TRUE (paint (tall));
    EXPECT_EQ (tall.at ((int) x1k, 12).getARGB(), ui::bandColour (3).getARGB());
    EXPECT_NEAR (brightestRow (tall, 20), 12, 1);                      // the curve stays flat

    FakeBitmap low (200, 23);                                          // H = 17: no points
    ASSERT_TRUE (paint (low));
    EXPECT_NE (low.at ((int) x1k, 11).getARGB(), ui::bandColour (3).getARGB());

    // Bypassed: the same picture, faint.
    FakeBitmap lit (200, 60), faint (200, 60);
    ASSERT_TRUE (paint (lit));
    setParameter (processor, *processor.apvts.getParameter ("bypass"), 1.0f);
    ASSERT_TRUE (paint (faint));
    EXPECT_LT (faint.at (100, 30).getBrightness(), lit.at (100, 30).getBrightness() - 0.3f);
    EXPECT_NE (faint.at ((int) x1k, 30).getARGB(), ui::bandColour (3).getARGB());
}

TEST_F (ReaperEmbedTest, ModeMarkOnlyInLinearModesAndLargeEnough)
{
    auto topRightDiffers = [this] (int w, int h, int mode)
    {
        processor.mode = 0;
        FakeBitmap plain (w, h);
        paint (plain);
        processor.mode = mode;
        FakeBitmap marked (w, h);
        paint (marked);
        processor.mode = 0;
        return plain.pixels != marked.pixels;
    };

    EXPECT_TRUE (topRightDiffers (120, 40, 1));
    EXPECT_TRUE (topRightDiffers (120, 40, 2));
    EXPECT_TRUE (topRightDiffers (50, 16, 1));
    EXPECT_FALSE (topRightDiffers (49, 40, 1));
    EXPECT_FALSE (topRightDiffers (120, 15, 2));
    EXPECT_FALSE (topRightDiffers (120, 40, 3));
}

TEST_F (ReaperEmbedTest, ClickOpensTheWindowOfTheSoleInstance)
{
    FakeReaper reaper;
    EXPECT_EQ (send (reaper::embedLeftButtonDown), 1);                 // no host yet: nothing, still handled
    embed.setIHostApplication (&reaper);

    reaper.chain = { "VST3: ReaComp (Cockos)", "VST3: Tirel (Quillonsound)", "JS: utility" };
    EXPECT_EQ (send (reaper::embedLeftButtonDown), 1);
    ASSERT_EQ (reaper.shown.size(), 1u);
    EXPECT_EQ (reaper.shown[0], (std::pair { 1, 3 }));

    // In the input chain only.
    reaper.shown.clear();
    reaper.chain = { "VST3: ReaEQ (Cockos)" };
    reaper.inputChain = { "VST: other", "vst3: TIREL (Quillonsound)" };
    send (reaper::embedLeftButtonDown);
    ASSERT_EQ (reaper.shown.size(), 1u);
    EXPECT_EQ (reaper.shown[0].first, reaper::kRecordChainFlag + 1);

    // Two instances, or an unreadable identifier, or no track, or a missing function: nothing.
    reaper.shown.clear();
    reaper.chain = { "VST3: Tirel (Quillonsound)" };
    send (reaper::embedLeftButtonDown);
    reaper.inputChain.clear();
    reaper.identsReadable = false;
    send (reaper::embedLeftButtonDown);
    reaper.identsReadable = true;
    reaper.hasTrack = false;
    send (reaper::embedLeftButtonDown);
    reaper.hasTrack = true;
    reaper.missing["TrackFX_GetRecCount"] = true;
    send (reaper::embedLeftButtonDown);
    EXPECT_TRUE (reaper.shown.empty());
    reaper.missing.clear();

    // A host that is not REAPER, or none, forgets the one before.
    OtherHost other;
    embed.setIHostApplication (&other);
    send (reaper::embedLeftButtonDown);
    embed.setIHostApplication (nullptr);
    send (reaper::embedLeftButtonDown);
    EXPECT_TRUE (reaper.shown.empty());

    // Every reference taken is given back.
    EXPECT_EQ (reaper.references, 0);
    embed.setIHostApplication (&reaper);
    embed.setIHostApplication (&reaper);
    EXPECT_EQ (reaper.references, 1);
    embed.setIHostApplication (nullptr);
    EXPECT_EQ (reaper.references, 0);
}

TEST_F (ReaperEmbedTest, FindingTheSoleInstance)
{
    struct Case { std::vector<std::string> idents; int count; int expected; };
    const Case cases[] {
        { {}, 0, -1 },
        { { "a", "tirel", "b" }, 3, 1 },
        { { "a", "x-Tirel-x" }, 1, reaper::kRecordChainFlag },
        { { "Tirel", "TIREL" }, 2, -1 },
        { { "a", "b" }, 2, -1 },
        { { "a", "", "Tirel" }, 3, -1 },                                 // an unreadable identifier stops the search
    };

    for (const auto& c : cases)
    {
        const int index = ReaperEmbed::findSoleInstance (c.count, (int) c.idents.size() - c.count, [&] (int fx, char* buffer, int size)
        {
            const auto i = (size_t) (fx >= reaper::kRecordChainFlag ? c.count + fx - reaper::kRecordChainFlag : fx);
            std::strncpy (buffer, c.idents[i].c_str(), (size_t) size - 1);
            return ! c.idents[i].empty();
        });
        EXPECT_EQ (index, c.expected);
    }
}
