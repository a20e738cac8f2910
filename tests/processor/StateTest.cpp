#include "processor/Parameters.h"
#include "processor/PluginProcessor.h"
#include "processor/XmlText.h"
#include "ProcessorTestUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace
{
using tltest::setPlain;

struct StateTest : ::testing::Test
{
    TirelAudioProcessor processor;

    float get (TirelAudioProcessor& p, const juce::String& id)
    {
        auto* param = p.apvts.getParameter (id);
        return param->convertFrom0to1 (param->getValue());
    }

    static juce::MemoryBlock save (TirelAudioProcessor& p)
    {
        juce::MemoryBlock block;
        p.getStateInformation (block);
        return block;
    }

    static void load (TirelAudioProcessor& p, const juce::MemoryBlock& block)
    {
        p.setStateInformation (block.getData(), (int) block.getSize());
    }

    // A chunk in the host's binary wrapping around the given XML text, as it stands.
    static juce::MemoryBlock chunk (const juce::String& xmlText)
    {
        juce::MemoryBlock block;
        juce::MemoryOutputStream out (block, false);
        out.writeInt (0x21324356);
        out.writeInt ((int) xmlText.getNumBytesAsUTF8() + 1);
        out.write (xmlText.toRawUTF8(), xmlText.getNumBytesAsUTF8() + 1);
        return block;
    }

    // Every parameter's plain value, in order.
    static std::vector<float> values (TirelAudioProcessor& p)
    {
        std::vector<float> v;
        for (auto* param : p.getParameters())
            v.push_back (dynamic_cast<juce::RangedAudioParameter*> (param)->convertFrom0to1 (param->getValue()));
        return v;
    }

    void makeNonDefault (TirelAudioProcessor& p)
    {
        setPlain (p, "b01_on", 1.0f);
        setPlain (p, "b01_gain", 6.5f);
        setPlain (p, "b07_type", 5.0f);
        setPlain (p, "b07_slope", 1.0f);
        setPlain (p, "b24_freq", 12345.0f);
        setPlain (p, "b24_ch", 2.0f);
        setPlain (p, "scale", -40.0f);
        setPlain (p, "match", 0.0f);
        setPlain (p, "monitor", 3.0f);
    }
};
} // namespace

TEST_F (StateTest, ChunkBytesAreTheFrameworkXmlWrapping)
{
    const auto block = save (processor);
    const auto* bytes = static_cast<const unsigned char*> (block.getData());
    ASSERT_GT (block.getSize(), 9u);

    EXPECT_EQ (juce::ByteOrder::littleEndianInt (bytes), 0x21324356u);
    EXPECT_EQ (std::string (reinterpret_cast<const char*> (bytes), 4), "VC2!");
    EXPECT_EQ (juce::ByteOrder::littleEndianInt (bytes + 4), (juce::uint32) block.getSize() - 9);
    EXPECT_EQ (bytes[block.getSize() - 1], 0);

    const juce::String text = juce::String::fromUTF8 (reinterpret_cast<const char*> (bytes + 8), (int) block.getSize() - 9);
    EXPECT_TRUE (text.startsWith ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    EXPECT_FALSE (text.containsChar ('\n'));

    const auto xml = juce::parseXML (text);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "STATE");
    EXPECT_EQ (xml->getIntAttribute ("stateVersion"), 1);
    EXPECT_EQ (xml->getNumChildElements(), 174);

    juce::StringArray ids, expected;
    for (auto* child : xml->getChildIterator())
    {
        EXPECT_EQ (child->getTagName(), "PARAM");
        EXPECT_TRUE (child->hasAttribute ("value"));
        ids.add (child->getStringAttribute ("id"));
    }
    for (auto* p : processor.getParameters())
        expected.add (dynamic_cast<juce::RangedAudioParameter*> (p)->getParameterID());
    ids.sort (false);
    expected.sort (false);
    EXPECT_EQ (ids, expected);

    // Saving stamps the copy, not the live tree.
    EXPECT_FALSE (processor.apvts.state.hasProperty ("stateVersion"));
}

TEST_F (StateTest, RoundTripReproducesEveryParameterAndProperty)
{
    makeNonDefault (processor);
    processor.apvts.state.setProperty ("uiScale", 1.5, nullptr);
    processor.apvts.state.setProperty ("presetName", "Vocal air", nullptr);
    processor.apvts.state.setProperty ("mode", 2, nullptr);

    TirelAudioProcessor other;
    load (other, save (processor));

    EXPECT_EQ (values (other), values (processor));
    EXPECT_EQ ((double) other.apvts.state["uiScale"], 1.5);
    EXPECT_EQ (other.apvts.state["presetName"].toString(), "Vocal air");
    EXPECT_EQ (other.mode.load(), 2);
    EXPECT_EQ ((int) other.apvts.state["stateVersion"], 1);
    EXPECT_FALSE (other.undoManager.canUndo());
}

TEST_F (StateTest, LoadingLimitsAndMigrates)
{
    struct Case { const char* xml; int mode; float b01Gain; float b02Freq; float monitor; };
    const Case cases[] = {
        // Lower-case root; no "mode": Zero Latency.
        { "<state><PARAM id=\"b01_gain\" value=\"4\"/></state>", 0, 4.0f, 1000.0f, 0.0f },
        // Out-of-range values are limited; "mode" 7 is Linear HQ.
        { "<STATE mode=\"7\"><PARAM id=\"b01_gain\" value=\"99\"/><PARAM id=\"b02_freq\" value=\"3\"/><PARAM id=\"monitor\" value=\"4.7\"/></STATE>",
          2, 30.0f, 10.0f, 4.0f },
        { "<STATE mode=\"-3\" stateVersion=\"5\"><PARAM id=\"b02_freq\" value=\"50000\"/></STATE>", 0, 0.0f, 22000.0f, 0.0f },
        // A value that is no finite number takes the default; a nonsense mode is Zero Latency.
        { "<STATE mode=\"nan\"><PARAM id=\"b01_gain\" value=\"nan\"/><PARAM id=\"b02_freq\" value=\"inf\"/></STATE>", 0, 0.0f, 1000.0f, 0.0f },
        { "<STATE mode=\"1e300\"><PARAM id=\"b01_gain\" value=\"-1e999\"/><PARAM id=\"unknown\" value=\"1\"/></STATE>", 2, 0.0f, 1000.0f, 0.0f },
    };

    for (const auto& c : cases)
    {
        TirelAudioProcessor p;
        setPlain (p, "b01_gain", 0.0f);
        load (p, chunk (c.xml));

        EXPECT_EQ (p.mode.load(), c.mode) << c.xml;
        EXPECT_NEAR (get (p, "b01_gain"), c.b01Gain, 1e-4f) << c.xml;
        EXPECT_NEAR (get (p, "b02_freq"), c.b02Freq, c.b02Freq * 1e-5f) << c.xml;
        EXPECT_EQ (get (p, "monitor"), c.monitor) << c.xml;
        EXPECT_EQ ((int) p.apvts.state["stateVersion"], 1) << c.xml;

        for (float v : values (p))
            EXPECT_TRUE (std::isfinite (v)) << c.xml;
    }
}

TEST_F (StateTest, RepeatedNamesLoadAndSaveConsistently)
{
    // The first attribute of a name and the first PARAM of a parameter count; other children
    // never name parameters.
    load (processor, chunk ("<STATE><PARAM id=\"b01_on\" id=\"b01_gain\" value=\"1\"/>"
                            "<PARAM id=\"b02_gain\" value=\"3\"/><PARAM id=\"b02_gain\" value=\"-3\"/>"
                            "<PARAMS id=\"b03_gain\" value=\"5\"/></STATE>"));
    EXPECT_EQ (get (processor, "b01_on"), 1.0f);
    EXPECT_EQ (get (processor, "b01_gain"), 0.0f);
    EXPECT_EQ (get (processor, "b02_gain"), 3.0f);
    EXPECT_EQ (get (processor, "b03_gain"), 0.0f);

    TirelAudioProcessor other;
    load (other, save (processor));
    EXPECT_EQ (values (other), values (processor));
}

TEST_F (StateTest, PartialChunkChangesOnlyWhatItNames)
{
    makeNonDefault (processor);
    const auto before = values (processor);

    load (processor, chunk ("<STATE><PARAM id=\"b07_slope\" value=\"5\"/><PARAM id=\"delta\" value=\"1\"/></STATE>"));

    auto expected = before;
    expected[6 * 7 + 5] = 5.0f;    // b07_slope
    expected[172] = 1.0f;          // delta
    EXPECT_EQ (values (processor), expected);

    // The live tree still has a child for every parameter.
    EXPECT_EQ (processor.apvts.copyState().getNumChildren(), 174);
}

TEST_F (StateTest, BadChunksLeaveTheInstanceUnchanged)
{
    makeNonDefault (processor);
    processor.mode = 1;
    const auto before = values (processor);
    const auto good = save (processor);

    const auto withBytes = [] (juce::MemoryBlock b, size_t at, unsigned char byte) { static_cast<unsigned char*> (b.getData())[at] = byte; return b; };
    const auto truncated = [&good] (size_t size) { return juce::MemoryBlock (good.getData(), size); };

    struct Case { const char* what; juce::MemoryBlock data; };
    const Case cases[] = {
        { "empty", {} },
        { "eight bytes", truncated (8) },
        { "header only", truncated (9) },
        { "cut in the middle", truncated (good.getSize() / 2) },
        { "wrong magic", withBytes (good, 0, 'X') },
        { "zero length", withBytes (withBytes (withBytes (withBytes (good, 4, 0), 5, 0), 6, 0), 7, 0) },
        { "negative length", withBytes (good, 7, 0xff) },
        { "foreign root", chunk ("<PLUGINSTATE><PARAM id=\"b01_gain\" value=\"-12\"/></PLUGINSTATE>") },
        { "processing instruction inside, on which the parser would never return",
          chunk ("<STATE><PARAM id=\"b01_gain\" value=\"-12\"/><?x?>text</STATE>") },
        { "text breaking off inside a UTF-8 sequence", [] {
              const char text[] = "<STATE mode=\"0\"><PARAM id=\"b01_gain\" value=\"-12\"/></STATE>\xe2";
              juce::MemoryBlock b; juce::MemoryOutputStream out (b, false);
              out.writeInt (0x21324356); out.writeInt ((int) sizeof (text) - 1); out.write (text, sizeof (text) - 1);
              return b; }() },
        { "not xml", [] { juce::MemoryBlock b; juce::MemoryOutputStream out (b, false); out.writeInt (0x21324356); out.writeInt (5); out.write ("\x01\x02\x03\x04\x05", 5); out.writeByte (0); return b; }() },
    };

    for (const auto& c : cases)
    {
        processor.setStateInformation (c.data.getData(), (int) c.data.getSize());
        EXPECT_EQ (values (processor), before) << c.what;
        EXPECT_EQ (processor.mode.load(), 1) << c.what;
    }

    processor.setStateInformation (nullptr, 0);
    EXPECT_EQ (values (processor), before);
}

//==============================================================================
TEST_F (StateTest, CompareSwitchesBetweenTwoCompleteSettings)
{
    setPlain (processor, "b01_gain", 6.0f);
    processor.undoManager.beginNewTransaction();

    processor.selectCompare (1);                // B starts as a copy of A
    EXPECT_EQ (get (processor, "b01_gain"), 6.0f);
    EXPECT_FALSE (processor.undoManager.canUndo());

    setPlain (processor, "b01_gain", -6.0f);
    processor.apvts.state.setProperty ("presetName", "B", nullptr);

    processor.selectCompare (0);
    EXPECT_EQ (processor.getCompareIndex(), 0);
    EXPECT_EQ (get (processor, "b01_gain"), 6.0f);
    EXPECT_FALSE (processor.apvts.state.hasProperty ("presetName"));
    EXPECT_FALSE (processor.undoManager.canUndo());

    processor.selectCompare (1);
    EXPECT_EQ (get (processor, "b01_gain"), -6.0f);
    EXPECT_EQ (processor.apvts.state["presetName"].toString(), "B");
    EXPECT_FALSE (processor.undoManager.canUndo());

    processor.selectCompare (1);                // already there: nothing happens
    EXPECT_EQ (get (processor, "b01_gain"), -6.0f);
}

TEST_F (StateTest, CompareNeverChangesTheProcessingMode)
{
    processor.mode = 0;
    processor.apvts.state.setProperty ("mode", 0, nullptr);
    processor.selectCompare (1);

    processor.mode = 1;                          // Linear Phase chosen while editing B
    processor.apvts.state.setProperty ("mode", 1, nullptr);
    processor.selectCompare (0);                 // A was stored in Zero Latency

    EXPECT_EQ (processor.mode.load(), 1);
    EXPECT_EQ ((int) processor.apvts.state["mode"], 1);
}

TEST_F (StateTest, CopyStoresTheLiveStateIntoTheOtherSlot)
{
    setPlain (processor, "b03_gain", 3.0f);
    processor.selectCompare (1);
    setPlain (processor, "b03_gain", -3.0f);
    processor.selectCompare (0);                 // A: +3, B: -3

    setPlain (processor, "b03_gain", 9.0f);
    processor.undoManager.beginNewTransaction();
    setPlain (processor, "b03_q", 2.0f);
    processor.copyToOtherCompareSlot();          // B becomes a copy of the live A

    EXPECT_EQ (processor.getCompareIndex(), 0);
    EXPECT_EQ (get (processor, "b03_gain"), 9.0f);

    processor.selectCompare (1);
    EXPECT_EQ (get (processor, "b03_gain"), 9.0f);
    EXPECT_NEAR (get (processor, "b03_q"), 2.0f, 1e-5f);
}

TEST_F (StateTest, LoadingKeepsTheCompareSlots)
{
    setPlain (processor, "b01_gain", 2.0f);
    processor.selectCompare (1);
    setPlain (processor, "b01_gain", 4.0f);

    TirelAudioProcessor other;
    setPlain (other, "b01_gain", -8.0f);
    load (processor, save (other));
    EXPECT_EQ (get (processor, "b01_gain"), -8.0f);

    processor.selectCompare (0);
    EXPECT_EQ (get (processor, "b01_gain"), 2.0f);
}

TEST (XmlText, OnlyTextTheParserHandles)
{
    struct Case { const char* text; bool parsable; };
    const Case cases[] {
        { "<STATE a=\"1\"/>", true },
        { "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n\r\n<STATE/>", true },
        { " \n<?xml version=\"1.0\"?><STATE/>", true },
        { "<STATE><?x?>text</STATE>", false },
        { "<?xml version=\"1.0\"?><STATE><?x?></STATE>", false },
        { "<?xml version=\"1.0\"", false },
        { "<STATE a=\"\xff\"/>", false },
        { "", false },
    };

    for (const auto& c : cases)
        EXPECT_EQ (isParsableXmlText (c.text, (int) std::strlen (c.text)), c.parsable) << c.text;

    // The text ends at its first zero byte, as the parser reads it.
    const char withZero[] = "<STATE/>\0<?x?>";
    EXPECT_TRUE (isParsableXmlText (withZero, (int) sizeof (withZero) - 1));
}
