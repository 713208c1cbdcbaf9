// Device numbers, capabilities and volume.
#include <cstddef>
#include <cstring>

#include "WaveContract.h"

namespace sorvan::wavetest {
namespace {

constexpr UINT_PTR mapperAllOnes = ~UINT_PTR{0};
constexpr UINT_PTR mapperUint = WAVE_MAPPER;

// The 48-byte header of a 64-bit build, field by field.
TEST(WaveRecords, HeaderFieldsSitWhereTheSystemPutsThem) {
    if constexpr (sizeof(void*) == 8) {
        EXPECT_EQ(offsetof(WAVEHDR, dwBufferLength), 8u);
        EXPECT_EQ(offsetof(WAVEHDR, dwBytesRecorded), 12u);
        EXPECT_EQ(offsetof(WAVEHDR, dwUser), 16u);
        EXPECT_EQ(offsetof(WAVEHDR, dwFlags), 24u);
        EXPECT_EQ(offsetof(WAVEHDR, dwLoops), 28u);
        EXPECT_EQ(offsetof(WAVEHDR, lpNext), 32u);
        EXPECT_EQ(offsetof(WAVEHDR, reserved), 40u);
    }
    EXPECT_EQ(offsetof(WAVEOUTCAPSA, dwSupport), 48u);
    EXPECT_EQ(offsetof(WAVEFORMATEX, cbSize), 16u);
}

TEST_P(WaveContract, CapsNameEveryDeviceAndTheMapperTheDefaultOne) {
    ASSERT_GT(waveInGetNumDevs(), 0u);
    ASSERT_GT(waveOutGetNumDevs(), 0u);
    for (UINT id = 0; id < waveOutGetNumDevs(); ++id) {
        WAVEOUTCAPSA caps{};
        EXPECT_EQ(waveOutGetDevCapsA(id, &caps, sizeof caps), MMSYSERR_NOERROR);
        EXPECT_GT(caps.wChannels, 0);
        EXPECT_LT(std::strlen(caps.szPname), MAXPNAMELEN);
    }
    WAVEINCAPSA byUint{};
    WAVEINCAPSA byAllOnes{};
    EXPECT_EQ(waveInGetDevCapsA(mapperUint, &byUint, sizeof byUint), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInGetDevCapsA(mapperAllOnes, &byAllOnes, sizeof byAllOnes), MMSYSERR_NOERROR);
    EXPECT_EQ(std::memcmp(&byUint, &byAllOnes, sizeof byUint), 0);
    EXPECT_GT(byUint.wChannels, 0);
}

TEST_P(WaveContract, CapsOfAnOpenHandleAreItsDevices) {
    HWAVEOUT handle = openOut();
    WAVEOUTCAPSA byHandle{};
    WAVEOUTCAPSA byNumber{};
    EXPECT_EQ(waveOutGetDevCapsA(handleValue(handle), &byHandle, sizeof byHandle),
              MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutGetDevCapsA(0, &byNumber, sizeof byNumber), MMSYSERR_NOERROR);
    EXPECT_EQ(std::memcmp(&byHandle, &byNumber, sizeof byHandle), 0);

    // A handle of the other direction names no input device.
    WAVEINCAPSA caps{};
    EXPECT_EQ(waveInGetDevCapsA(handleValue(handle), &caps, sizeof caps), MMSYSERR_BADDEVICEID);

    ASSERT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutGetDevCapsA(handleValue(handle), &byHandle, sizeof byHandle),
              MMSYSERR_BADDEVICEID);
}

TEST_P(WaveContract, CapsRejectBadArgumentsAndCopyOnlyTheSizeGiven) {
    WAVEINCAPSA caps{};
    EXPECT_EQ(waveInGetDevCapsA(0, nullptr, sizeof caps), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInGetDevCapsA(waveInGetNumDevs(), &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveOutGetDevCapsA(waveOutGetNumDevs(), nullptr, 52), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutGetDevCapsA(0x7FFF, reinterpret_cast<LPWAVEOUTCAPSA>(&caps), 0),
              MMSYSERR_BADDEVICEID);

    WAVEOUTCAPSA full{};
    ASSERT_EQ(waveOutGetDevCapsA(0, &full, sizeof full), MMSYSERR_NOERROR);
    WAVEOUTCAPSA part;
    std::memset(&part, 0xAB, sizeof part);
    ASSERT_EQ(waveOutGetDevCapsA(0, &part, 10), MMSYSERR_NOERROR);
    EXPECT_EQ(std::memcmp(&part, &full, 10), 0);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&part);
    for (std::size_t i = 10; i < sizeof part; ++i) EXPECT_EQ(bytes[i], 0xAB) << i;
}

// Every output device, by number and by handle: what Set stores Get returns,
// within what the device's capabilities allow.
TEST_P(WaveContract, VolumeFollowsTheDevicesCapabilities) {
    for (UINT id = 0; id < waveOutGetNumDevs(); ++id) {
        WAVEOUTCAPSA caps{};
        ASSERT_EQ(waveOutGetDevCapsA(id, &caps, sizeof caps), MMSYSERR_NOERROR);
        const auto device = reinterpret_cast<HWAVEOUT>(UINT_PTR{id});
        DWORD volume = 0;
        if (!(caps.dwSupport & WAVECAPS_VOLUME)) {
            EXPECT_EQ(waveOutSetVolume(device, 0x1234), MMSYSERR_NOTSUPPORTED);
            EXPECT_EQ(waveOutGetVolume(device, &volume), MMSYSERR_NOTSUPPORTED);
            continue;
        }
        ASSERT_EQ(waveOutSetVolume(device, 0x80001234), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutGetVolume(device, &volume), MMSYSERR_NOERROR);
        const DWORD expected = (caps.dwSupport & WAVECAPS_LRVOLUME) ? 0x80001234 : 0x1234;
        EXPECT_EQ(volume, expected) << caps.szPname;
        EXPECT_EQ(waveOutGetVolume(device, nullptr), MMSYSERR_INVALPARAM);
    }
    HWAVEOUT handle = openOut();
    WAVEOUTCAPSA caps{};
    ASSERT_EQ(waveOutGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    if (caps.dwSupport & WAVECAPS_VOLUME) {
        DWORD volume = 0;
        // Whether a handle's volume is the device's or its stream's own is
        // the driver's; either way the handle reads back what it set.
        EXPECT_EQ(waveOutSetVolume(handle, 0x4321), MMSYSERR_NOERROR);
        EXPECT_EQ(waveOutGetVolume(handle, &volume), MMSYSERR_NOERROR);
        EXPECT_EQ(volume & 0xFFFF, 0x4321u);
    }
}

TEST_P(WaveContract, VolumeRejectsUnknownDevicesAndStaleHandles) {
    DWORD volume = 0;
    const auto pastLast = reinterpret_cast<HWAVEOUT>(UINT_PTR{waveOutGetNumDevs()});
    EXPECT_EQ(waveOutGetVolume(pastLast, &volume), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveOutSetVolume(pastLast, 0), MMSYSERR_BADDEVICEID);

    HWAVEOUT handle = openOut();
    ASSERT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutGetVolume(handle, &volume), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutSetVolume(handle, 0), MMSYSERR_INVALHANDLE);

    HWAVEIN input = openIn();
    EXPECT_EQ(waveOutSetVolume(reinterpret_cast<HWAVEOUT>(input), 0), MMSYSERR_INVALHANDLE);
}

TEST_P(WaveContract, MapperReachesTheDefaultOutputVolume) {
    WAVEOUTCAPSA caps{};
    ASSERT_EQ(waveOutGetDevCapsA(mapperAllOnes, &caps, sizeof caps), MMSYSERR_NOERROR);
    if (!(caps.dwSupport & WAVECAPS_VOLUME)) GTEST_SKIP() << "default output has no volume";
    const auto mapper = reinterpret_cast<HWAVEOUT>(mapperAllOnes);
    const auto mapper32 = reinterpret_cast<HWAVEOUT>(mapperUint);
    DWORD volume = 0;
    EXPECT_EQ(waveOutSetVolume(mapper, 0x00000777), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutGetVolume(mapper32, &volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume & 0xFFFF, 0x0777u);
}

}  // namespace
}  // namespace sorvan::wavetest
