// The sample arithmetic behind the peak meter and the progress line.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tools/sorvan/PcmFormat.h"
#include "tools/sorvan/ProgressLine.h"

namespace {

std::vector<std::byte> Bytes(std::initializer_list<int> values) {
    std::vector<std::byte> bytes;
    for (const int value : values) bytes.push_back(static_cast<std::byte>(value));
    return bytes;
}

TEST(PeakLevel, ReadsEachSampleWidthAsWavStoresIt) {
    // 8-bit is unsigned around 128; the others are signed little-endian.
    EXPECT_DOUBLE_EQ(PeakLevel(Bytes({128, 128}), 8), 0.0);
    EXPECT_DOUBLE_EQ(PeakLevel(Bytes({128, 0}), 8), 1.0);
    EXPECT_DOUBLE_EQ(PeakLevel(Bytes({128, 192}), 8), 0.5);
    EXPECT_DOUBLE_EQ(PeakLevel(Bytes({0x00, 0x40, 0x00, 0x00}), 16), 0.5);
    EXPECT_DOUBLE_EQ(PeakLevel(Bytes({0x00, 0x80}), 16), 1.0);
    EXPECT_DOUBLE_EQ(PeakLevel(Bytes({0x00, 0x00, 0xC0}), 24), 0.5);
    EXPECT_DOUBLE_EQ(PeakLevel(Bytes({0x00, 0x00, 0x00, 0x80}), 32), 1.0);
    EXPECT_DOUBLE_EQ(PeakLevel(Bytes({0x00, 0x00, 0x00, 0x20}), 32), 0.25);
}

TEST(PeakLevel, IgnoresAPartialSampleAndUnknownWidths) {
    EXPECT_DOUBLE_EQ(PeakLevel(Bytes({0x00, 0x20, 0xFF}), 16), 0.25);
    EXPECT_DOUBLE_EQ(PeakLevel(Bytes({0x00, 0x80, 0, 0, 0}), 40), 0.0);
}

TEST(PeakLevel, InDbfs) {
    EXPECT_NEAR(ToDbfs(0.5), -6.02, 0.01);
    EXPECT_DOUBLE_EQ(ToDbfs(1.0), 0.0);
    EXPECT_TRUE(std::isinf(ToDbfs(0.0)));
}

TEST(ProgressLine, ShowsElapsedRemainingBytesAndLevel) {
    EXPECT_EQ(
        ProgressLine::Format("recording", 61.25, 90.0, 3 * 1024 * 1024 / 2, 0.5),
        "recording 1:01.3 / 1:30.0 (0:28.8 left)  1.5 MiB  [##################  ]  -6.0 dBFS");
    EXPECT_EQ(ProgressLine::Format("recording", 2.0, std::nullopt, 512, 0.0),
              "recording 0:02.0 (Ctrl-C to stop)  0.5 KiB  [                    ]  -inf dBFS");
}

TEST(PcmFormat, SizesAndWords) {
    const PcmFormat format{.channels = 2, .rate = 44100, .bits = 24};
    EXPECT_EQ(format.BlockAlign(), 6);
    EXPECT_EQ(format.BytesPerSecond(), 264600u);
    EXPECT_DOUBLE_EQ(format.Seconds(132300), 0.5);
    EXPECT_EQ(format.Describe(), "44100 Hz, 2 channels, 24-bit");
    EXPECT_EQ((PcmFormat{.channels = 1, .rate = 8000, .bits = 8}).Describe(),
              "8000 Hz, 1 channel, 8-bit");
}

}  // namespace
