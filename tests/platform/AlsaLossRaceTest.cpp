// A device that disappears while its owner resets, closes or destroys: many
// rounds, each closing at another moment around the loss. Every header comes
// back exactly once, close always succeeds, and the PCM, eventfd and thread
// of every stream are gone afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <thread>

#include "AlsaTestSetup.h"
#include "components/SorvanIn.h"
#include "components/SorvanOut.h"
#include "framework/Forms.h"

namespace sorvan::alsatest {
namespace {

using namespace std::chrono_literals;
using wavetest::Buffer;
using wavetest::Notification;
using wavetest::pcmFormat;

const WAVEFORMATEX format = pcmFormat(2, 44100, 16);
constexpr int rounds = 30;

std::size_t entries(const char* folder) {
    const std::filesystem::directory_iterator listing(folder);
    return static_cast<std::size_t>(std::distance(begin(listing), end(listing)));
}

// The open files and threads of the process, to see that nothing stays behind.
struct Resources {
    std::size_t files = entries("/proc/self/fd");
    std::size_t threads = entries("/proc/self/task");
    bool operator==(const Resources&) const = default;
};

// The device goes after 100 ms; the owner cleans up somewhere between 60 and 140.
std::chrono::milliseconds aroundTheLoss(std::mt19937& random) {
    return std::chrono::milliseconds(std::uniform_int_distribution(60, 140)(random));
}

// Pumps until the close notification; what came, in order.
std::vector<Notification> untilClosed(wavetest::NotificationWindow& window, UINT closeMsg) {
    std::vector<Notification> seen;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while ((seen.empty() || seen.back().msg != closeMsg) &&
           std::chrono::steady_clock::now() < deadline) {
        for (const auto& n : window.take()) seen.push_back(n);
        std::this_thread::sleep_for(1ms);
    }
    return seen;
}

void expectEachReturnedOnce(const std::vector<Notification>& seen, UINT doneMsg,
                            const std::vector<std::unique_ptr<Buffer>>& headers) {
    std::map<LPARAM, int> returned;
    for (const auto& n : seen) {
        if (n.msg == doneMsg) ++returned[n.param];
    }
    for (const auto& header : headers) {
        EXPECT_EQ(returned[header->param()], 1);
        EXPECT_EQ(header->header.dwFlags & WHDR_INQUEUE, 0u);
    }
}

class AlsaLoss : public ::testing::Test {
  protected:
    void SetUp() override {
        useTestDevices();
        std::cout << "seed " << seed << '\n';
        // What ALSA sets up once per process is not left behind by a stream.
        HWAVEOUT out = nullptr;
        ASSERT_EQ(waveOutOpen(&out, inputDevice("unplugged"), &format, 0, 0, CALLBACK_NULL),
                  MMSYSERR_NOERROR);
        ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    }
    const unsigned seed = std::random_device{}();
    std::mt19937 random{seed};
};

TEST_F(AlsaLoss, ResetAndCloseAroundTheLossReturnEveryHeaderOnceAndFreeEverything) {
    const UINT device = inputDevice("unplugged");
    const Resources before;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        wavetest::NotificationWindow window;
        std::vector<std::unique_ptr<Buffer>> headers;
        for (int i = 0; i < 3; ++i) headers.push_back(std::make_unique<Buffer>(4 * 2205));
        if (round % 2 == 0) {
            HWAVEIN in = nullptr;
            ASSERT_EQ(waveInOpen(&in, device, &format, window.callback(), 0, CALLBACK_WINDOW),
                      MMSYSERR_NOERROR);
            for (auto& buffer : headers) {
                ASSERT_EQ(waveInPrepareHeader(in, buffer->hdr(), sizeof(WAVEHDR)),
                          MMSYSERR_NOERROR);
                ASSERT_EQ(waveInAddBuffer(in, buffer->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
            }
            ASSERT_EQ(waveInStart(in), MMSYSERR_NOERROR);
            std::this_thread::sleep_for(aroundTheLoss(random));
            EXPECT_EQ(waveInStop(in), MMSYSERR_NOERROR);
            EXPECT_EQ(waveInReset(in), MMSYSERR_NOERROR);
            for (auto& buffer : headers) {
                EXPECT_EQ(waveInUnprepareHeader(in, buffer->hdr(), sizeof(WAVEHDR)),
                          MMSYSERR_NOERROR);
            }
            ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);
            expectEachReturnedOnce(untilClosed(window, MM_WIM_CLOSE), MM_WIM_DATA, headers);
        } else {
            HWAVEOUT out = nullptr;
            ASSERT_EQ(waveOutOpen(&out, device, &format, window.callback(), 0, CALLBACK_WINDOW),
                      MMSYSERR_NOERROR);
            for (auto& block : headers) {
                ASSERT_EQ(waveOutPrepareHeader(out, block->hdr(), sizeof(WAVEHDR)),
                          MMSYSERR_NOERROR);
                ASSERT_EQ(waveOutWrite(out, block->hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
            }
            std::this_thread::sleep_for(aroundTheLoss(random));
            EXPECT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
            for (auto& block : headers) {
                EXPECT_EQ(waveOutUnprepareHeader(out, block->hdr(), sizeof(WAVEHDR)),
                          MMSYSERR_NOERROR);
            }
            ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
            expectEachReturnedOnce(untilClosed(window, MM_WOM_CLOSE), MM_WOM_DONE, headers);
        }
    }
    EXPECT_EQ(Resources{}, before);
}

// The components, destroyed (which closes) at any moment around the loss,
// leave no device behind and nothing that writes into freed memory.
TEST_F(AlsaLoss, ComponentsDestroyedAroundTheLossLeaveNothingBehind) {
    const auto device = static_cast<TSVDev>(wvDevice0 + inputDevice("unplugged"));
    const Resources before;
    const std::vector<char> sound(4 * 4410, 1);
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        const auto until = std::chrono::steady_clock::now() + aroundTheLoss(random);
        if (round % 2 == 0) {
            auto in = std::make_unique<TSorvanIn>(nullptr);
            in->SetChannels(2);
            in->SetSamples(44100);
            in->SetBits(16);
            in->SetInBuffSize(4 * 1000);
            in->SetWantedDev(device);
            in->open();
            ASSERT_TRUE(in->IsCapturing());
            while (std::chrono::steady_clock::now() < until) {
                Application->ProcessMessages();
                std::this_thread::sleep_for(1ms);
            }
        } else {
            auto out = std::make_unique<TSorvanOut>(nullptr);
            out->SetChannels(2);
            out->SetSamples(44100);
            out->SetBits(16);
            out->SetWantedDev(device);
            ASSERT_TRUE(out->open());
            for (int i = 0; i < 4; ++i) out->playback(sound.data(), static_cast<int>(sound.size()));
            while (std::chrono::steady_clock::now() < until) {
                Application->ProcessMessages();
                std::this_thread::sleep_for(1ms);
            }
        }
        Application->ProcessMessages();
    }
    EXPECT_EQ(Resources{}, before);
}

}  // namespace
}  // namespace sorvan::alsatest
