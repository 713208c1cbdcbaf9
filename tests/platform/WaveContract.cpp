#include "WaveContract.h"

namespace sorvan::wavetest {

void WaveContract::SetUp() {
    GetParam().setUp();
}

void WaveContract::TearDown() {
    // Whatever a failed test left open is returned and closed before its
    // buffers go away.
    for (HWAVEIN handle : inputs_) {
        waveInReset(handle);
        waveInClose(handle);
    }
    for (HWAVEOUT handle : outputs_) {
        waveOutReset(handle);
        waveOutClose(handle);
    }
    pumpMessages();
    GetParam().tearDown();
}

HWAVEIN WaveContract::openIn(UINT id) {
    HWAVEIN handle = nullptr;
    EXPECT_EQ(waveInOpen(&handle, id, &format(), window.callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    inputs_.push_back(handle);
    return handle;
}

HWAVEOUT WaveContract::openOut(UINT id) {
    HWAVEOUT handle = nullptr;
    EXPECT_EQ(waveOutOpen(&handle, id, &format(), window.callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    outputs_.push_back(handle);
    return handle;
}

Buffer& WaveContract::preparedIn(HWAVEIN handle, std::size_t size) {
    Buffer& buffer = buffers.make(size);
    EXPECT_EQ(waveInPrepareHeader(handle, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    return buffer;
}

Buffer& WaveContract::preparedOut(HWAVEOUT handle, std::size_t size, char fill) {
    Buffer& buffer = buffers.make(size, fill);
    EXPECT_EQ(waveOutPrepareHeader(handle, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    return buffer;
}

bool WaveContract::waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto step = std::chrono::milliseconds(1);
    for (auto waited = std::chrono::milliseconds(0); waited < limit; waited += step) {
        pumpMessages();
        if (done()) return true;
        passTime(step);
    }
    pumpMessages();
    return done();
}

std::vector<Notification> WaveContract::collect(std::size_t count) {
    std::vector<Notification> seen;
    waitUntil([&] {
        for (auto& notification : window.take()) seen.push_back(notification);
        return seen.size() >= count;
    });
    return seen;
}

}  // namespace sorvan::wavetest
