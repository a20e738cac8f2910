#include "editor/TypedEntry.h"
#include "processor/Parameters.h"

#include <gtest/gtest.h>

TEST (TypedEntry, ReadsWhatUsersType)
{
    struct Case { const char* text; std::optional<double> value; };
    const Case cases[] = {
        { "2k", 2000.0 }, { "1,5k", 1500.0 }, { "1.5K", 1500.0 }, { "350", 350.0 }, { "2 k", 2000.0 },
        { "-4.5", -4.5 }, { "+3", 3.0 }, { "  12 dB", 12.0 }, { "2 kHz", 2000.0 }, { "350 Hz", 350.0 },
        { "0.7 Q", 0.7 }, { "12.5.3", 12.5 }, { "1.000,5", 1.0 }, { "1e3", 1000.0 }, { ".5k", 500.0 },
        { "-0,25k", -250.0 },
        { "k2", std::nullopt }, { "k", std::nullopt }, { "", std::nullopt }, { "abc", std::nullopt },
        { "1e999", std::nullopt }, { "inf", std::nullopt }, { "nan", std::nullopt }, { "+-3", std::nullopt },
        { "- 3", std::nullopt }, { "1e308k", std::nullopt },
    };

    for (const auto& c : cases)
    {
        const auto parsed = parseTyped (c.text);
        ASSERT_EQ (parsed.has_value(), c.value.has_value()) << c.text;
        if (parsed)
        {
            EXPECT_DOUBLE_EQ (*parsed, *c.value) << c.text;
        }
    }
}

TEST (TypedEntry, EditorTextsMatchTheParameterTexts)
{
    for (double hz : { 10.0, 31.5, 123.4567, 440.0, 999.9, 1000.0, 2500.0, 9990.0, 10000.0, 22000.0 })
        EXPECT_EQ (hzString (hz), hzText ((float) hz)) << hz;

    for (double db : { -24.0, -6.0, -0.04, 0.0, 0.04, 0.05, 0.06, 3.0, 30.0 })
        EXPECT_EQ (dbString (db), dbText ((float) db)) << db;

    EXPECT_EQ (hzString (1000.0), "1.00 kHz");
    EXPECT_EQ (hzString (123.4567), "123.457 Hz");
    EXPECT_EQ (dbString (3.0), "+3.0 dB");
}
