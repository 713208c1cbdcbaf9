// The alsa driver on the PCMs of the test configuration: what it offers,
// what it takes, and that frames reach and leave ALSA unchanged.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "AlsaTestSetup.h"
#include "WaveTestSupport.h"
#include "platform/alsa/Devices.h"
#include "platform/alsa/Gain.h"

namespace sorvan::alsatest {
namespace {

using namespace std::chrono_literals;
using wavetest::Buffer;
using wavetest::Notification;
using wavetest::pcmFormat;

class AlsaDriver : public ::testing::Test {
  protected:
    void SetUp() override { useTestDevices(); }

    // Plays `blocks` on the tape device and returns the bytes ALSA wrote.
    std::vector<char> playOnTape(const WAVEFORMATEX& format, std::vector<Buffer*> blocks,
                                 DWORD volume = 0xFFFFFFFF) {
        HWAVEOUT out = nullptr;
        EXPECT_EQ(
            waveOutOpen(&out, outputDevice("tape"), &format, window.callback(), 0, CALLBACK_WINDOW),
            MMSYSERR_NOERROR);
        EXPECT_EQ(waveOutSetVolume(out, volume), MMSYSERR_NOERROR);
        for (Buffer* block : blocks) {
            EXPECT_EQ(waveOutPrepareHeader(out, block->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
            EXPECT_EQ(waveOutWrite(out, block->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        }
        const auto seen = collect(window, blocks.size() + 1);
        EXPECT_EQ(seen.size(), blocks.size() + 1);
        for (std::size_t i = 1; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].msg, MM_WOM_DONE);
            EXPECT_EQ(seen[i].param, blocks[i - 1]->param()) << "block " << i - 1;
        }
        EXPECT_EQ(waveOutSetVolume(out, 0xFFFFFFFF), MMSYSERR_NOERROR);
        EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
        return readFile(tapePath());
    }

    wavetest::NotificationWindow window;
};

std::vector<char> pattern(std::size_t size, unsigned seed) {
    std::vector<char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) >> 3);
    return bytes;
}

// Every PCM opened to be listed would hold up the first open: a sound
// server's plug-in connects to its server.
TEST_F(AlsaDriver, OpeningTheMapperOpensNoOtherDevice) {
    std::filesystem::remove(temporaryPath("witness"));
    useTestDevices();
    const WAVEFORMATEX format = wavetest::pcmFormat(2, 44100, 16);
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    EXPECT_FALSE(std::filesystem::exists(temporaryPath("witness")));
    EXPECT_GT(waveInGetNumDevs(), 1u);
    EXPECT_TRUE(std::filesystem::exists(temporaryPath("witness")));
}

TEST_F(AlsaDriver, OffersTheDefaultFirstThenTheHintedDevicesThatOpen) {
    const std::vector<std::string> expected = {"default", "silence",   "tape",  "recorder",
                                               "flaky",   "unplugged", "taken", "speaker",
                                               "ear",     "pausing",   "sticky", "lagging", "witness", "stalling"};
    ASSERT_EQ(waveInGetNumDevs(), expected.size());
    ASSERT_EQ(waveOutGetNumDevs(), expected.size());
    for (UINT id = 0; id < expected.size(); ++id) {
        WAVEINCAPSA in{};
        WAVEOUTCAPSA out{};
        ASSERT_EQ(waveInGetDevCapsA(id, &in, sizeof in), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutGetDevCapsA(id, &out, sizeof out), MMSYSERR_NOERROR);
        EXPECT_EQ(in.szPname, expected[id]);
        EXPECT_EQ(out.szPname, expected[id]);
        EXPECT_EQ(out.dwSupport, DWORD{WAVECAPS_VOLUME | WAVECAPS_LRVOLUME});
    }
    WAVEOUTCAPSA mapped{};
    ASSERT_EQ(waveOutGetDevCapsA(WAVE_MAPPER, &mapped, sizeof mapped), MMSYSERR_NOERROR);
    EXPECT_STREQ(mapped.szPname, "default");
}

TEST_F(AlsaDriver, WithoutAWorkingDefaultTheMapperOpensDeviceZero) {
    useTestDevices(false);
    WAVEINCAPSA first{};
    WAVEINCAPSA mapped{};
    ASSERT_EQ(waveInGetDevCapsA(0, &first, sizeof first), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInGetDevCapsA(WAVE_MAPPER, &mapped, sizeof mapped), MMSYSERR_NOERROR);
    EXPECT_STREQ(first.szPname, "silence");
    EXPECT_STREQ(mapped.szPname, "silence");
    const WAVEFORMATEX format = pcmFormat(2, 44100, 16);
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    useTestDevices();
}

TEST_F(AlsaDriver, CapsComeFromTheHardwareParameters) {
    // The test PCM takes 1 to 8 channels at 8 to 192 kHz: every standard format.
    WAVEINCAPSA caps{};
    ASSERT_EQ(waveInGetDevCapsA(inputDevice("default"), &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.wChannels, 8);
    EXPECT_EQ(caps.dwFormats, DWORD{0xFFFFF});
}

// The null PCM takes any channel count ALSA can name; a device offers no more
// than 1024, so a width given as -1 (65535 channels) is refused, not recorded.
TEST_F(AlsaDriver, ChannelsAreBoundedWhereThePcmTakesAnyCount) {
    const UINT device = inputDevice("silence");
    WAVEINCAPSA caps{};
    ASSERT_EQ(waveInGetDevCapsA(device, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.wChannels, 1024);
    for (const WORD channels : {WORD{1025}, WORD{0xFFFF}}) {
        const WAVEFORMATEX format = pcmFormat(channels, 8000, 8);
        HWAVEIN in = nullptr;
        EXPECT_EQ(waveInOpen(&in, device, &format, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT)
            << channels;
        EXPECT_EQ(in, nullptr);
    }
    const WAVEFORMATEX widest = pcmFormat(1024, 8000, 8);
    EXPECT_EQ(waveInOpen(nullptr, device, &widest, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
}

TEST_F(AlsaDriver, ADeviceHeldElsewhereKeepsItsNumberButCannotOpen) {
    WAVEOUTCAPSA caps{};
    const UINT device = outputDevice("taken");
    ASSERT_EQ(waveOutGetDevCapsA(device, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.dwFormats, 0u);
    const WAVEFORMATEX format = pcmFormat(2, 44100, 16);
    HWAVEOUT out = nullptr;
    EXPECT_EQ(waveOutOpen(&out, device, &format, 0, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    EXPECT_EQ(waveOutOpen(nullptr, device, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_ALLOCATED);
}

TEST_F(AlsaDriver, TakesTheFourSampleSizesAndRefusesWhatTheDeviceCannotDo) {
    const UINT device = outputDevice("default");
    for (WORD bits : {8, 16, 24, 32}) {
        const WAVEFORMATEX format = pcmFormat(2, 44100, bits);
        EXPECT_EQ(waveOutOpen(nullptr, device, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR)
            << bits;
        HWAVEIN in = nullptr;
        ASSERT_EQ(waveInOpen(&in, inputDevice("default"), &format, 0, 0, CALLBACK_NULL),
                  MMSYSERR_NOERROR)
            << bits;
        EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    }
    // Below the test PCM's lowest rate, and more channels than it has.
    const WAVEFORMATEX slow = pcmFormat(2, 4000, 16);
    EXPECT_EQ(waveOutOpen(nullptr, device, &slow, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
    HWAVEOUT out = nullptr;
    EXPECT_EQ(waveOutOpen(&out, device, &slow, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
    EXPECT_EQ(out, nullptr);
    const WAVEFORMATEX wide = pcmFormat(9, 44100, 16);
    EXPECT_EQ(waveOutOpen(nullptr, device, &wide, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
}

TEST_F(AlsaDriver, PlayedBytesReachTheFileUnchangedAndInOrder) {
    // 24-bit packed stereo, blocks that end inside a period and one empty block.
    const WAVEFORMATEX format = pcmFormat(2, 48000, 24);
    Buffer first(6 * 1000);
    Buffer empty(1);
    empty.header.dwBufferLength = 0;
    Buffer second(6 * 4321);
    first.data = pattern(first.data.size(), 1);
    second.data = pattern(second.data.size(), 7);
    first.header.lpData = first.data.data();
    second.header.lpData = second.data.data();
    std::vector<char> expected = first.data;
    expected.insert(expected.end(), second.data.begin(), second.data.end());
    EXPECT_EQ(playOnTape(format, {&first, &empty, &second}), expected);
}

// DONE comes once the device has played the last frame: closing right
// after it loses nothing of the sound.
TEST_F(AlsaDriver, CloseAfterTheLastBlockLetsTheDevicePlayItOut) {
    const WAVEFORMATEX format = pcmFormat(2, 44100, 16);
    HWAVEOUT out = nullptr;
    ASSERT_EQ(
        waveOutOpen(&out, outputDevice("speaker"), &format, window.callback(), 0, CALLBACK_WINDOW),
        MMSYSERR_NOERROR);
    Buffer block(2205 * 4);
    ASSERT_EQ(waveOutPrepareHeader(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(collect(window, 2).size(), 2u);
    ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    const std::vector<char> played = readFile(playedPath());
    EXPECT_EQ(std::string(played.begin(), played.end()), "2205");
}

TEST_F(AlsaDriver, VolumeReadsBackWhatWasSetAndScalesWhatIsPlayed) {
    const UINT device = outputDevice("tape");
    const auto id = reinterpret_cast<HWAVEOUT>(UINT_PTR{device});
    DWORD volume = 0;
    for (DWORD set : {DWORD{0x12345678}, DWORD{0xFFFF0000}, DWORD{0}}) {
        ASSERT_EQ(waveOutSetVolume(id, set), MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutGetVolume(id, &volume), MMSYSERR_NOERROR);
        EXPECT_EQ(volume, set);
    }
    // Left at half, right at a quarter; 16-bit stereo.
    const WAVEFORMATEX format = pcmFormat(2, 44100, 16);
    Buffer block(4 * 3);
    const std::int16_t samples[] = {16384, 16384, -32768, -32768, 1000, -1000};
    std::memcpy(block.data.data(), samples, sizeof samples);
    const std::vector<char> written = playOnTape(format, {&block}, 0x40008000);
    ASSERT_EQ(written.size(), sizeof samples);
    std::int16_t scaled[6];
    std::memcpy(scaled, written.data(), sizeof scaled);
    EXPECT_EQ(scaled[0], 8192);
    EXPECT_EQ(scaled[1], 4096);
    EXPECT_EQ(scaled[2], -16384);
    EXPECT_EQ(scaled[3], -8192);
    EXPECT_EQ(scaled[4], 500);
    EXPECT_EQ(scaled[5], -250);
}

TEST(AlsaGain, ScalesEverySampleSizeAroundItsOwnSilence) {
    // 8 bits: unsigned around 128; 24 bits: three bytes, sign in the third.
    std::vector<std::byte> u8 = {std::byte{228}, std::byte{28}};
    alsa::applyVolume(u8, pcmFormat(2, 8000, 8), 0x80008000);
    EXPECT_EQ(u8[0], std::byte{178});
    EXPECT_EQ(u8[1], std::byte{78});

    std::vector<std::byte> s24 = {std::byte{0x01}, std::byte{0x00}, std::byte{0xFF}};  // -65535
    alsa::applyVolume(s24, pcmFormat(1, 8000, 24), 0x00008000);
    EXPECT_EQ(s24, (std::vector<std::byte>{std::byte{0x00}, std::byte{0x80}, std::byte{0xFF}}));

    std::vector<std::byte> s32(4, std::byte{0xFF});  // -1
    alsa::applyVolume(s32, pcmFormat(1, 8000, 32), 0);
    EXPECT_EQ(s32, std::vector<std::byte>(4, std::byte{0}));
}

TEST_F(AlsaDriver, TheNullPcmFillsBuffersWithSilenceAsFastAsTheyCome) {
    const WAVEFORMATEX format = pcmFormat(2, 48000, 16);
    HWAVEIN in = nullptr;
    ASSERT_EQ(
        waveInOpen(&in, inputDevice("silence"), &format, window.callback(), 0, CALLBACK_WINDOW),
        MMSYSERR_NOERROR);
    std::vector<std::unique_ptr<Buffer>> buffers;
    for (int i = 0; i < 3; ++i) {
        buffers.push_back(std::make_unique<Buffer>(48000 * 4 + 2, 'x'));
        ASSERT_EQ(waveInPrepareHeader(in, buffers.back()->hdr(), sizeof(WAVEHDR)),
                  MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(in, buffers.back()->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    // Three seconds of audio: far sooner than three seconds.
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    const auto seen = collect(window, 4);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    ASSERT_EQ(seen.size(), 4u);
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(seen[i].param, buffers[i - 1]->param());
        EXPECT_EQ(seen[i].bytesRecorded, 48000u * 4);
        const auto& data = buffers[i - 1]->data;
        EXPECT_EQ(std::count(data.begin(), data.end() - 2, '\0'), 48000 * 4);
    }
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

// A PCM the list leaves out joins its end by name, plays, and has a volume
// of its own; a listed name keeps its number; a name that does not open
// changes nothing. None of the test PCMs has a mixer, so no volume set on
// them outlives the program.
TEST_F(AlsaDriver, TakesInANamedPcmItsListLeavesOut) {
    const auto driver = wave::currentDriver();
    const std::size_t listed = driver->deviceCount(wave::Direction::output);
    std::size_t index = 99;
    EXPECT_EQ(driver->addNamedDevice(wave::Direction::output, "tape", index), MMSYSERR_NOERROR);
    EXPECT_EQ(index, outputDevice("tape"));
    EXPECT_EQ(driver->addNamedDevice(wave::Direction::output, "no_such_pcm", index),
              MMSYSERR_NODRIVER);
    EXPECT_EQ(driver->addNamedDevice(wave::Direction::input, "", index), MMSYSERR_NODRIVER);
    EXPECT_EQ(driver->deviceCount(wave::Direction::output), listed);

    ASSERT_EQ(driver->addNamedDevice(wave::Direction::output, "resampled", index),
              MMSYSERR_NOERROR);
    EXPECT_EQ(index, listed);
    EXPECT_EQ(waveOutGetNumDevs(), listed + 1);
    WAVEOUTCAPSA caps{};
    ASSERT_EQ(waveOutGetDevCapsA(index, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "resampled");
    const auto id = reinterpret_cast<HWAVEOUT>(UINT_PTR{index});
    DWORD volume = 0;
    ASSERT_EQ(waveOutSetVolume(id, 0x40004000), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutGetVolume(id, &volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0x40004000u);
    const WAVEFORMATEX format = pcmFormat(2, 44100, 16);
    HWAVEOUT out = nullptr;
    ASSERT_EQ(waveOutOpen(&out, static_cast<UINT>(index), &format, 0, 0, CALLBACK_NULL),
              MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    for (std::size_t device = 0; device <= index; ++device)
        EXPECT_FALSE(driver->volumePersists(device)) << device;

    // Held by another program: taken in all the same, and busy when opened.
    const std::size_t inputs = driver->deviceCount(wave::Direction::input);
    ASSERT_EQ(driver->addNamedDevice(wave::Direction::input, "taken", index), MMSYSERR_NOERROR);
    EXPECT_LT(index, inputs);
}

// Names taken in while another thread reads the list and the volumes: every
// number it sees names a device, and each added device has its own volume.
TEST_F(AlsaDriver, NamesJoinTheListWhileOtherThreadsReadIt) {
    const auto driver = wave::currentDriver();
    std::atomic<bool> adding{true};
    std::thread reader([&] {
        while (adding) {
            const UINT count = waveOutGetNumDevs();
            WAVEOUTCAPSA caps{};
            EXPECT_EQ(waveOutGetDevCapsA(count - 1, &caps, sizeof caps), MMSYSERR_NOERROR);
            DWORD volume = 0;
            EXPECT_EQ(waveOutGetVolume(reinterpret_cast<HWAVEOUT>(UINT_PTR{count - 1}), &volume),
                      MMSYSERR_NOERROR);
        }
    });
    // Two PCMs the list leaves out, taken in once and found again after.
    const std::size_t listed = driver->deviceCount(wave::Direction::output);
    for (int round = 0; round < 4; ++round) {
        for (const std::string pcm : {"null", "resampled"}) {
            std::size_t index = 0;
            EXPECT_EQ(driver->addNamedDevice(wave::Direction::output, pcm, index),
                      MMSYSERR_NOERROR);
            EXPECT_EQ(index, listed + (pcm == "null" ? 0 : 1));
        }
    }
    adding = false;
    reader.join();
    EXPECT_EQ(driver->deviceCount(wave::Direction::output), listed + 2);
}

TEST(AlsaMixer, TheControlOfAPcmIsItsCardsWhicheverWayTheCardIsNamed) {
    EXPECT_EQ(alsa::controlOf("default"), "default");
    EXPECT_EQ(alsa::controlOf("plughw:CARD=PCH,DEV=0"), "hw:CARD=PCH");
    EXPECT_EQ(alsa::controlOf("default:CARD=USB"), "hw:CARD=USB");
    EXPECT_EQ(alsa::controlOf("hw:0,0"), "hw:0");
    EXPECT_EQ(alsa::controlOf("plughw:1"), "hw:1");
    EXPECT_EQ(alsa::controlOf("dmix:PCH,0"), "hw:PCH");
    // No card in these: a slave PCM, a file, a definition written in place.
    EXPECT_EQ(alsa::controlOf("plug:mic"), "");
    EXPECT_EQ(alsa::controlOf("file:'/tmp/x'"), "");
    EXPECT_EQ(alsa::controlOf("hw:{CARD 0}"), "");
    EXPECT_EQ(alsa::controlOf("mic"), "");
}

}  // namespace
}  // namespace sorvan::alsatest
