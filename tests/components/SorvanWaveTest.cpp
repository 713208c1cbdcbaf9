// The device numbers and PCM format blocks both components hand to the platform.
#include <gtest/gtest.h>

#include "components/SorvanWave.h"

TEST(DeviceIndex, MapsTheMapperAndTenDevices) {
    EXPECT_EQ(DeviceIndex(wvMapper), -1);
    EXPECT_EQ(DeviceIndex(wvDevice0), 0);
    EXPECT_EQ(DeviceIndex(wvDevice9), 9);
    // A raw byte past the enumeration falls back to the mapper.
    EXPECT_EQ(DeviceIndex(static_cast<TSVDev>(11)), -1);
    EXPECT_EQ(DeviceIndex(static_cast<TSVDev>(255)), -1);
}

TEST(MakePcmFormat, DerivesAlignmentAndByteRate) {
    const WAVEFORMATEX defaults = MakePcmFormat(1, 8000, 8);
    EXPECT_EQ(defaults.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(defaults.nChannels, 1);
    EXPECT_EQ(defaults.nSamplesPerSec, 8000u);
    EXPECT_EQ(defaults.nBlockAlign, 1);
    EXPECT_EQ(defaults.nAvgBytesPerSec, 8000u);
    EXPECT_EQ(defaults.wBitsPerSample, 8);
    EXPECT_EQ(defaults.cbSize, 0);

    const WAVEFORMATEX stereo16 = MakePcmFormat(2, 22050, 16);
    EXPECT_EQ(stereo16.nBlockAlign, 4);
    EXPECT_EQ(stereo16.nAvgBytesPerSec, 4u * 22050);

    // 12 bits of one channel round down to a single byte per frame.
    const WAVEFORMATEX twelve = MakePcmFormat(1, 11025, 12);
    EXPECT_EQ(twelve.nBlockAlign, 1);
    EXPECT_EQ(twelve.nAvgBytesPerSec, 11025u);

    // Only the low 16 bits of channels and bits reach the block.
    const WAVEFORMATEX wide = MakePcmFormat(0x10002, 8000, 0x10010);
    EXPECT_EQ(wide.nChannels, 2);
    EXPECT_EQ(wide.wBitsPerSample, 16);
    EXPECT_EQ(wide.nBlockAlign, 4);
}
