// Calls from any thread, whatever their arguments.
#include <atomic>
#include <thread>

#include "WaveContract.h"

namespace sorvan::wavetest {
namespace {

using std::chrono::milliseconds;

TEST_P(WaveContract, NotificationsReachTheWindowsThreadWhoeverCalls) {
    HWAVEIN in = nullptr;
    std::thread caller([&] {
        ASSERT_EQ(waveInOpen(&in, 0, &format(), window.callback(), 0, CALLBACK_WINDOW),
                  MMSYSERR_NOERROR);
    });
    caller.join();
    const auto seen = window.take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].msg, MM_WIM_OPEN);
    std::thread closer([&] { EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR); });
    closer.join();
    EXPECT_EQ(window.take().size(), 1u);
}

// One stream's whole life, again and again, with junk calls in between.
void churn(const WAVEFORMATEX& format, std::atomic<int>& failures) {
    std::vector<char> data(4096);
    for (int round = 0; round < 30; ++round) {
        HWAVEIN in = nullptr;
        HWAVEOUT out = nullptr;
        WAVEHDR inHeader{.lpData = data.data(), .dwBufferLength = 2048};
        WAVEHDR outHeader{.lpData = data.data() + 2048, .dwBufferLength = 2048};
        const MMRESULT results[] = {
            waveInOpen(&in, 0, &format, 0, 0, CALLBACK_NULL),
            waveOutOpen(&out, 0, &format, 0, 0, CALLBACK_NULL),
            waveInPrepareHeader(in, &inHeader, sizeof inHeader),
            waveInAddBuffer(in, &inHeader, sizeof inHeader),
            waveInStart(in),
            waveOutPrepareHeader(out, &outHeader, sizeof outHeader),
            waveOutWrite(out, &outHeader, sizeof outHeader),
            waveInReset(in),
            waveOutReset(out),
            waveInUnprepareHeader(in, &inHeader, sizeof inHeader),
            waveOutUnprepareHeader(out, &outHeader, sizeof outHeader),
            waveInClose(in),
            waveOutClose(out),
        };
        for (MMRESULT result : results) {
            if (result != MMSYSERR_NOERROR) ++failures;
        }
        // The same handles again, now stale, and arguments that make no sense.
        if (waveInAddBuffer(in, &inHeader, 3) != MMSYSERR_INVALPARAM) ++failures;
        if (waveOutWrite(out, nullptr, 0) != MMSYSERR_INVALHANDLE) ++failures;
        if (waveInStart(in) != MMSYSERR_INVALHANDLE) ++failures;
        if (waveOutGetDevCapsA(UINT_PTR{0x12345678}, nullptr, 0) != MMSYSERR_INVALPARAM) {
            ++failures;
        }
    }
}

TEST_P(WaveContract, ManyThreadsOpenUseAndCloseStreamsAtOnce) {
    std::atomic<int> failures = 0;
    std::atomic<bool> done = false;
    std::thread clock([&] {
        while (!done) passTime(milliseconds(1));
    });
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i) workers.emplace_back([&] { churn(format(), failures); });
    for (auto& worker : workers) worker.join();
    done = true;
    clock.join();
    EXPECT_EQ(failures, 0);
}

// Each thread remembers the streams it looked up last; a close on another
// thread must still make the handle stale here, while a call on it may
// still be running.
TEST_P(WaveContract, AHandleClosedOnAnotherThreadIsStaleOnThisOne) {
    HWAVEOUT out = openOut();
    Buffer& buffer = buffers.make(64);
    ASSERT_EQ(waveOutPrepareHeader(out, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutUnprepareHeader(out, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    HWAVEOUT next = nullptr;
    std::thread([&] {
        EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
        next = openOut();
    }).join();

    EXPECT_EQ(waveOutPrepareHeader(out, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutReset(out), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInPrepareHeader(reinterpret_cast<HWAVEIN>(next), buffer.hdr(), sizeof(WAVEHDR)),
              MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutPrepareHeader(next, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutUnprepareHeader(next, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(next), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace sorvan::wavetest
