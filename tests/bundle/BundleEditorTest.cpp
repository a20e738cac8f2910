#include "BundleFixture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <atomic>
#include <malloc.h>
#include <thread>

using namespace tlbundle;

namespace
{
// A host with the plug-in's editor open in a window of its own, as a DAW shows it.
struct HostedEditor : Playback
{
    std::unique_ptr<juce::AudioProcessorEditor> open()
    {
        std::unique_ptr<juce::AudioProcessorEditor> editor (plugin->createEditorIfNeeded());
        if (editor != nullptr)
        {
            editor->setTopLeftPosition (40, 40);
            editor->addToDesktop (0);
            editor->setVisible (true);
        }
        return editor;
    }

    // Twenty-four bands on every routing, set through the host's parameters.
    void representativeSetting()
    {
        struct Band { const char* type; const char* freq; const char* gain; const char* channel; };
        static constexpr Band bands[] {
            { "Low Cut", "30", "0", "Stereo" },   { "Low Shelf", "90", "3", "Stereo" },  { "Bell", "180", "-4", "Mid" },
            { "Bell", "320", "2.5", "Side" },     { "Bell", "550", "-2", "Left" },        { "Bell", "800", "1.5", "Right" },
            { "Notch", "1200", "0", "Stereo" },   { "Bell", "1800", "4.5", "Stereo" },    { "Tilt", "1000", "1", "Side" },
            { "Bell", "2600", "-3.5", "Mid" },    { "Bell", "3500", "2", "Stereo" },      { "Bell", "4200", "-1", "Left" },
            { "High Shelf", "9000", "2.5", "Stereo" }, { "Bell", "6000", "-2.5", "Right" }, { "High Cut", "18000", "0", "Stereo" },
            { "Bell", "60", "2", "Side" },        { "Bell", "120", "-1.5", "Stereo" },    { "Bell", "240", "1", "Mid" },
            { "Bell", "700", "-5", "Stereo" },    { "Bell", "1400", "1", "Left" },         { "Bell", "5200", "3", "Side" },
            { "Bell", "7500", "-2", "Stereo" },   { "Bell", "11000", "1.5", "Right" },     { "Low Cut", "35", "0", "Side" },
        };

        for (int b = 0; b < 24; ++b)
        {
            const auto prefix = "Band " + juce::String (b + 1) + " ";
            set (prefix + "Type", bands[b].type);
            set (prefix + "Freq", bands[b].freq);
            set (prefix + "Gain", bands[b].gain);
            set (prefix + "Channel", bands[b].channel);
            set (prefix + "On", "On");
        }
    }

    void runMessageLoop (int ms) { juce::MessageManager::getInstance()->runDispatchLoopUntil (ms); }

    // What the screen shows in a rectangle: the X server's own pixels, plug-in window included.
    static juce::Image screenshot (juce::Rectangle<int> area)
    {
        juce::Image image (juce::Image::RGB, area.getWidth(), area.getHeight(), true);
        auto* display = XOpenDisplay (nullptr);
        if (display == nullptr)
            return image;

        if (auto* x = XGetImage (display, DefaultRootWindow (display), area.getX(), area.getY(),
                                 (unsigned) area.getWidth(), (unsigned) area.getHeight(), AllPlanes, ZPixmap))
        {
            for (int py = 0; py < area.getHeight(); ++py)
                for (int px = 0; px < area.getWidth(); ++px)
                {
                    const auto pixel = XGetPixel (x, px, py);
                    image.setPixelAt (px, py, juce::Colour ((juce::uint8) ((pixel >> 16) & 0xff), (juce::uint8) ((pixel >> 8) & 0xff),
                                                            (juce::uint8) (pixel & 0xff)));
                }
            XDestroyImage (x);
        }

        XCloseDisplay (display);
        return image;
    }
};
} // namespace

TEST_F (HostedEditor, OpensInAWindowAndDrawsTheSetting)
{
    representativeSetting();
    auto tone = sine (997.0, kBlock * 100, 0.25f);
    juce::AudioBuffer<float> first (tone.getArrayOfWritePointers(), 2, 0, kBlock * 20);
    play (first);

    auto editor = open();
    ASSERT_NE (editor, nullptr);
    EXPECT_EQ (editor->getWidth(), 900);
    EXPECT_EQ (editor->getHeight(), 600);
    EXPECT_TRUE (editor->isShowing());

    // Let the plug-in's window appear and its timer draw a few times while the tone plays on,
    // about as fast as it would in real time.
    for (int start = kBlock * 20; start < tone.getNumSamples(); start += kBlock * 2)
    {
        juce::AudioBuffer<float> slice (tone.getArrayOfWritePointers(), 2, start, kBlock * 2);
        play (slice);
        runMessageLoop (20);
    }

    const auto image = screenshot (editor->getScreenBounds());
    auto folder = juce::File::getCurrentWorkingDirectory().getChildFile ("snapshots");
    folder.createDirectory();
    const auto file = folder.getChildFile ("host_editor.png");
    file.deleteFile();
    {
        juce::FileOutputStream out (file);
        ASSERT_TRUE (out.openedOk());
        ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (image, out));
    }

    // The editor's own background in a corner, and the graph's panel below the header.
    EXPECT_EQ (image.getPixelAt (4, 300).getARGB(), 0xFF0D0B12u);
    EXPECT_EQ (image.getPixelAt (46, 60).getARGB(), 0xFF15121Cu);
}

TEST_F (HostedEditor, OpensAndClosesWhileAudioRuns)
{
    representativeSetting();

    std::atomic<bool> running { true };
    std::atomic<long> blocks { 0 };
    std::atomic<bool> finite { true };
    std::thread audio ([&]
    {
        juce::AudioBuffer<float> block (2, kBlock);
        juce::MidiBuffer midi;
        juce::Random random (3);
        while (running)
        {
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < kBlock; ++i)
                    block.setSample (ch, i, random.nextFloat() * 0.5f - 0.25f);
            plugin->processBlock (block, midi);
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < kBlock; ++i)
                    if (! std::isfinite (block.getSample (ch, i)))
                        finite = false;
            ++blocks;
            std::this_thread::sleep_for (std::chrono::microseconds (500));
        }
    });

    auto cycle = [&]
    {
        auto editor = open();
        ASSERT_NE (editor, nullptr);
        runMessageLoop (40);
    };

    // After a few cycles every cache is warm; the next forty must not keep memory.
    for (int i = 0; i < 10; ++i)
        cycle();
    const auto before = mallinfo2().uordblks;
    for (int i = 0; i < 40; ++i)
        cycle();
    runMessageLoop (100);
    const auto after = mallinfo2().uordblks;

    running = false;
    audio.join();

    EXPECT_GT (blocks.load(), 100);
    EXPECT_TRUE (finite.load());
    EXPECT_LT ((long) after - (long) before, 1l << 20) << "heap grew by " << ((long) after - (long) before) << " bytes";
}
