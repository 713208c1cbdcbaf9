// How the commands read durations, rates and sample formats as users of
// arecord and sox write them, and how the progress line shrinks to fit.
#include <gtest/gtest.h>

#include "tools/sorvan/CliError.h"
#include "tools/sorvan/FormatNames.h"
#include "tools/sorvan/NumberChecks.h"
#include "tools/sorvan/ProgressLine.h"

namespace {

TEST(Duration, SecondsMinutesAndUnits) {
    EXPECT_EQ(ParseDuration("90"), 90.0);
    EXPECT_EQ(ParseDuration("2.5"), 2.5);
    EXPECT_EQ(ParseDuration("5s"), 5.0);
    EXPECT_EQ(ParseDuration("250ms"), 0.25);
    EXPECT_EQ(ParseDuration("1:30"), 90.0);
    EXPECT_EQ(ParseDuration("0:00.5"), 0.5);
    EXPECT_EQ(ParseDuration("1:02:03"), 3723.0);
    for (const char* bad : {"", "s", "ms", "1:", ":30", "1:60", "1:-5", "1.5:00", "1:2:3:4",
                            "1:30ms", "five", "nan"})
        EXPECT_FALSE(ParseDuration(bad).has_value()) << bad;
}

// One second is "1 second"; a number that only rounds to 1 is one too.
TEST(Duration, InWordsWithTheRightNumber) {
    EXPECT_EQ(SecondsInWords(1), "1 second");
    EXPECT_EQ(SecondsInWords(1.004), "1 second");
    EXPECT_EQ(SecondsInWords(0.5), "0.5 seconds");
    EXPECT_EQ(SecondsInWords(2.25), "2.25 seconds");
    EXPECT_EQ(SecondsInWords(90), "90 seconds");
    EXPECT_EQ(SecondsInWords(0), "0 seconds");
    EXPECT_EQ(SecondsInWords(24347.5), "24347.5 seconds");
}

TEST(Rate, HertzAndKilohertz) {
    EXPECT_EQ(ParseRate("44100"), 44100);
    EXPECT_EQ(ParseRate("44.1k"), 44100);
    EXPECT_EQ(ParseRate("48k"), 48000);
    EXPECT_EQ(ParseRate("22.05K"), 22050);
    for (const char* bad : {"", "k", "44.1", "44.10005k", "fast", "4e", "nan"})
        EXPECT_FALSE(ParseRate(bad).has_value()) << bad;
}

TEST(SampleFormatName, ArecordNamesAndShorthands) {
    const NamedFormat cd = FormatNamed("cd");
    EXPECT_EQ(cd.bits, 16);
    EXPECT_EQ(cd.rate, 44100);
    EXPECT_EQ(cd.channels, 2);
    EXPECT_EQ(FormatNamed("DAT").rate, 48000);
    EXPECT_EQ(FormatNamed("U8").bits, 8);
    EXPECT_EQ(FormatNamed("s16_le").bits, 16);
    EXPECT_EQ(FormatNamed("S24_3LE").bits, 24);
    EXPECT_FALSE(FormatNamed("S32_LE").rate.has_value());
    EXPECT_THROW(FormatNamed("S16_BE"), CliError);
    EXPECT_THROW(FormatNamed("FLOAT_LE"), CliError);
}

// -D takes a device the way aplay -L and users spell it.
TEST(ProgressLine, ShrinksToTheTerminalAndKeepsTheTimeLongest) {
    const std::string full = ProgressLine::Format("recording", 61.25, 90.0, 1536 * 1024, 0.5);
    EXPECT_LT(full.size(), 200u);
    for (const int columns : {200, 80, 50, 30, 12}) {
        const std::string line =
            ProgressLine::Format("recording", 61.25, 90.0, 1536 * 1024, 0.5, columns);
        EXPECT_LT(static_cast<int>(line.size()), columns) << line;
        EXPECT_TRUE(line.starts_with(std::string("recording 1:01.3").substr(0, columns - 1)))
            << line;
    }
    EXPECT_EQ(ProgressLine::Format("recording", 61.25, 90.0, 1536 * 1024, 0.5, 200), full);
    EXPECT_NE(ProgressLine::Format("recording", 61.25, 90.0, 1536 * 1024, 0.5, 50).find("dBFS"),
              std::string::npos)
        << "the level stays while it fits";
}

}  // namespace
