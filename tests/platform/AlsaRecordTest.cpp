// TSorvanIn recording from a file PCM: the bytes of its input file come back
// unchanged through OnData and in the recording file.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "AlsaTestSetup.h"
#include "components/SorvanIn.h"
#include "framework/Forms.h"

namespace sorvan::alsatest {
namespace {

using namespace std::chrono_literals;

// The data chunk of a WAVE file; empty when there is none.
std::vector<char> waveData(const std::vector<char>& file) {
    for (std::size_t at = 12; at + 8 <= file.size();) {
        std::uint32_t size = 0;
        std::memcpy(&size, file.data() + at + 4, sizeof size);
        if (std::memcmp(file.data() + at, "data", 4) == 0) {
            const std::size_t end = std::min(file.size(), at + 8 + size);
            return {file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                    file.begin() + static_cast<std::ptrdiff_t>(end)};
        }
        at += 8 + size + size % 2;
    }
    return {};
}

std::vector<char> prefix(const std::vector<char>& bytes, std::size_t size) {
    return {bytes.begin(),
            bytes.begin() + static_cast<std::ptrdiff_t>(std::min(size, bytes.size()))};
}

TEST(AlsaRecording, TheInputFileComesBackThroughOnDataAndInTheRecording) {
    useTestDevices();
    // Five buffers and a bit, 16-bit stereo, not one byte repeating in step with a buffer.
    std::vector<char> source(5 * 4096 + 1000);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>(i * 7 + i / 251);
    writeFile(sourcePath(), source);

    TSorvanIn in(nullptr);
    in.SetChannels(2);
    in.SetSamples(44100);
    in.SetBits(16);
    in.SetInBuffSize(4096);
    in.SetMaxBuffers(3);
    in.SetWantedDev(static_cast<TSVDev>(wvDevice0 + inputDevice("recorder")));
    const std::string recording = temporaryPath("recording.wav");
    in.SetFileName(recording);
    std::vector<char> delivered;
    in.OnData = [&](TObject*, char* data, std::int32_t size) {
        delivered.insert(delivered.end(), data, data + size);
    };

    in.open();
    ASSERT_TRUE(in.IsCapturing());
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (delivered.size() < source.size() && std::chrono::steady_clock::now() < deadline) {
        Application->ProcessMessages();
        std::this_thread::sleep_for(1ms);
    }
    in.close();
    Application->ProcessMessages();

    EXPECT_EQ(prefix(delivered, source.size()), source);
    const std::vector<char> recorded = waveData(readFile(recording));
    EXPECT_EQ(recorded.size(), delivered.size());
    EXPECT_EQ(prefix(recorded, source.size()), source);
}

// A device that disappears while recording: every buffer comes back, the
// recording keeps what was captured, and the component still closes.
TEST(AlsaRecording, AnUnpluggedDeviceStillLetsTheComponentClose) {
    useTestDevices();
    TSorvanIn in(nullptr);
    in.SetChannels(2);
    in.SetSamples(44100);
    in.SetBits(16);
    in.SetInBuffSize(4410 * 4 * 3);  // longer than the device lasts
    in.SetWantedDev(static_cast<TSVDev>(wvDevice0 + inputDevice("unplugged")));
    const std::string recording = temporaryPath("unplugged.wav");
    in.SetFileName(recording);
    std::size_t delivered = 0;
    in.OnData = [&](TObject*, char*, std::int32_t size) {
        delivered += static_cast<std::size_t>(size);
    };

    in.open();
    ASSERT_TRUE(in.IsCapturing());
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (delivered == 0 && std::chrono::steady_clock::now() < deadline) {
        Application->ProcessMessages();
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_GT(delivered, 0u);
    in.close();
    Application->ProcessMessages();
    EXPECT_FALSE(in.IsOpen());
    EXPECT_EQ(waveData(readFile(recording)).size(), delivered);
}

}  // namespace
}  // namespace sorvan::alsatest
