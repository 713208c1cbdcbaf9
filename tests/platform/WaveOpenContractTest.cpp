// Opening and closing, handles, and the header calls.
#include <set>

#include "WaveContract.h"

namespace sorvan::wavetest {
namespace {

// The formats no device takes, each with what makes it bad.
std::vector<std::pair<const char*, WAVEFORMATEX>> badFormats(const WAVEFORMATEX& good) {
    std::vector<std::pair<const char*, WAVEFORMATEX>> formats;
    auto with = [&](const char* why, auto change) {
        WAVEFORMATEX format = good;
        change(format);
        formats.emplace_back(why, format);
    };
    with("tag", [](auto& f) { f.wFormatTag = 2; });
    with("no channels", [](auto& f) { f.nChannels = 0; });
    with("too many channels", [](auto& f) {
        f.nChannels = 0x7FFF;
        f.nBlockAlign = static_cast<WORD>(f.nChannels * f.wBitsPerSample / 8);
    });
    with("rate 0", [](auto& f) { f.nSamplesPerSec = 0; });
    with("12 bits", [](auto& f) {
        f.wBitsPerSample = 12;
        f.nBlockAlign = static_cast<WORD>(f.nChannels * 12 / 8);
    });
    with("block align", [](auto& f) { f.nBlockAlign = static_cast<WORD>(f.nBlockAlign + 1); });
    return formats;
}

TEST_P(WaveContract, OpenWithBadArgumentsWritesAndPostsNothing) {
    const auto marker = reinterpret_cast<HWAVEIN>(UINT_PTR{0x5A5A});
    HWAVEIN in = marker;
    const DWORD_PTR hwnd = window.callback();
    EXPECT_EQ(waveInOpen(&in, 0, nullptr, hwnd, 0, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInOpen(nullptr, 0, &format(), hwnd, 0, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInOpen(&in, waveInGetNumDevs(), &format(), hwnd, 0, CALLBACK_WINDOW),
              MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveInOpen(&in, 0, &format(), hwnd, 0, CALLBACK_WINDOW | 0x100), MMSYSERR_INVALFLAG);
    for (const auto& [why, bad] : badFormats(format())) {
        EXPECT_EQ(waveInOpen(&in, 0, &bad, hwnd, 0, CALLBACK_WINDOW), WAVERR_BADFORMAT) << why;
        HWAVEOUT out = nullptr;
        EXPECT_EQ(waveOutOpen(&out, 0, &bad, hwnd, 0, CALLBACK_WINDOW), WAVERR_BADFORMAT) << why;
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(in, marker);
    EXPECT_TRUE(window.take().empty());
}

TEST_P(WaveContract, AnOpenHandleIsNoDeviceNumber) {
    HWAVEIN open = openIn();
    HWAVEIN second = nullptr;
    EXPECT_EQ(waveInOpen(&second, static_cast<UINT>(handleValue(open)), &format(),
                         window.callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_BADDEVICEID);
    EXPECT_EQ(second, nullptr);
}

TEST_P(WaveContract, QueryOpensWritesAndPostsNothing) {
    HWAVEOUT out = nullptr;
    EXPECT_EQ(
        waveOutOpen(&out, 0, &format(), window.callback(), 0, CALLBACK_WINDOW | WAVE_FORMAT_QUERY),
        MMSYSERR_NOERROR);
    EXPECT_EQ(waveInOpen(nullptr, WAVE_MAPPER, &format(), 0, 0, WAVE_FORMAT_QUERY),
              MMSYSERR_NOERROR);
    WAVEFORMATEX bad = format();
    bad.nSamplesPerSec = 0;
    EXPECT_EQ(waveInOpen(nullptr, 0, &bad, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
    EXPECT_EQ(out, nullptr);
    EXPECT_TRUE(window.take().empty());
}

TEST_P(WaveContract, OpenIsNotifiedFirstAndCloseLast) {
    HWAVEOUT out = openOut();
    HWAVEIN in = openIn();
    const auto opened = window.take();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0].msg, MM_WOM_OPEN);
    EXPECT_EQ(opened[0].handle, handleValue(out));
    EXPECT_EQ(opened[1].msg, MM_WIM_OPEN);
    ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    passTime(std::chrono::milliseconds(20));
    const auto seen = window.take();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].msg, MM_WOM_CLOSE);
    EXPECT_EQ(seen[0].handle, handleValue(out));
    EXPECT_EQ(seen[0].param, 0);
    EXPECT_EQ(seen[1].msg, MM_WIM_CLOSE);
    EXPECT_EQ(seen[1].handle, handleValue(in));
}

TEST_P(WaveContract, NotificationsArriveOnlyWhenTheLoopRuns) {
    HWAVEIN in = nullptr;
    ASSERT_EQ(waveInOpen(&in, WAVE_MAPPER, &format(), window.callback(), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    const auto seen = window.take();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].msg, MM_WIM_OPEN);
    EXPECT_EQ(seen[0].handle, handleValue(in));
    EXPECT_EQ(seen[0].param, 0);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);
}

TEST_P(WaveContract, HandlesAreNeverReusedNorMistakenForDeviceNumbers) {
    std::set<UINT_PTR> seen;
    for (int round = 0; round < 20; ++round) {
        HWAVEOUT out = nullptr;
        ASSERT_EQ(waveOutOpen(&out, 0, &format(), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        const UINT_PTR value = handleValue(out);
        EXPECT_GT(value, 0xFFFFu);
        EXPECT_NE(value, UINT_PTR{0xFFFFFFFF});
        EXPECT_NE(value, ~UINT_PTR{0});
        EXPECT_TRUE(seen.insert(value).second);
        ASSERT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
    }
}

TEST_P(WaveContract, ClosedAndForeignHandlesAreInvalidEverywhere) {
    HWAVEIN in = openIn();
    HWAVEOUT out = openOut();
    ASSERT_EQ(waveInClose(in), MMSYSERR_NOERROR);
    Buffer& buffer = buffers.make(64);
    for (HWAVEIN stale : {in, reinterpret_cast<HWAVEIN>(out), HWAVEIN{}}) {
        EXPECT_EQ(waveInPrepareHeader(stale, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInStart(stale), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInStop(stale), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInReset(stale), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(waveInClose(stale), MMSYSERR_INVALHANDLE);
    }
    buffer.header.dwFlags = WHDR_PREPARED;
    EXPECT_EQ(waveInAddBuffer(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInUnprepareHeader(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutWrite(reinterpret_cast<HWAVEOUT>(in), buffer.hdr(), sizeof(WAVEHDR)),
              MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutReset(reinterpret_cast<HWAVEOUT>(in)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutClose(reinterpret_cast<HWAVEOUT>(in)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(buffer.header.dwFlags, WHDR_PREPARED);
}

TEST_P(WaveContract, CloseWithQueuedBuffersKeepsTheHandle) {
    HWAVEIN in = openIn();
    Buffer& buffer = preparedIn(in, 4096);
    ASSERT_EQ(waveInAddBuffer(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(in), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInStart(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(in), MMSYSERR_NOERROR);

    HWAVEOUT out = openOut();
    Buffer& block = preparedOut(out, 1 << 20);
    ASSERT_EQ(waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(out), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutReset(out), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(out), MMSYSERR_NOERROR);
}

TEST_P(WaveContract, PrepareAndUnprepareFollowTheHeadersState) {
    HWAVEIN in = openIn();
    Buffer& buffer = buffers.make(64);
    LPWAVEHDR header = buffer.hdr();
    EXPECT_EQ(waveInPrepareHeader(in, nullptr, sizeof(WAVEHDR)), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInPrepareHeader(in, header, sizeof(WAVEHDR) - 1), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInUnprepareHeader(in, header, 32 - 1), MMSYSERR_INVALPARAM);

    EXPECT_EQ(waveInUnprepareHeader(in, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(header->dwFlags, 0u);

    header->dwFlags = WHDR_DONE | WHDR_BEGINLOOP;
    ASSERT_EQ(waveInPrepareHeader(in, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(header->dwFlags, WHDR_PREPARED | WHDR_BEGINLOOP);

    // Already prepared: nothing changes, whatever the handle.
    header->dwFlags |= WHDR_DONE;
    EXPECT_EQ(waveInPrepareHeader(in, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInPrepareHeader(HWAVEIN{}, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(header->dwFlags, WHDR_PREPARED | WHDR_BEGINLOOP | WHDR_DONE);

    ASSERT_EQ(waveInUnprepareHeader(in, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(header->dwFlags, WHDR_BEGINLOOP | WHDR_DONE);

    Buffer& other = buffers.make(64);
    EXPECT_EQ(waveInPrepareHeader(HWAVEIN{}, other.hdr(), sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(other.header.dwFlags, 0u);
}

TEST_P(WaveContract, QueuedHeadersCannotBeUnpreparedOrQueuedAgain) {
    HWAVEIN in = openIn();
    Buffer& buffer = preparedIn(in, 4096);
    ASSERT_EQ(waveInAddBuffer(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(buffer.header.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
    EXPECT_EQ(waveInUnprepareHeader(in, buffer.hdr(), sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInAddBuffer(in, buffer.hdr(), sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInPrepareHeader(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(buffer.header.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
    ASSERT_EQ(waveInReset(in), MMSYSERR_NOERROR);
    EXPECT_EQ(buffer.header.dwFlags, WHDR_PREPARED | WHDR_DONE);
}

TEST_P(WaveContract, AddBufferChecksInItsOrder) {
    HWAVEIN in = openIn();
    Buffer& buffer = buffers.make(64);
    EXPECT_EQ(waveInAddBuffer(in, nullptr, sizeof(WAVEHDR)), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInAddBuffer(in, buffer.hdr(), 32 - 1), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInAddBuffer(in, buffer.hdr(), sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    buffer.header.dwFlags = WHDR_PREPARED | WHDR_INQUEUE;
    EXPECT_EQ(waveInAddBuffer(HWAVEIN{}, buffer.hdr(), sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    buffer.header.dwFlags = WHDR_PREPARED | WHDR_DONE;
    buffer.header.dwBytesRecorded = 7;
    EXPECT_EQ(waveInAddBuffer(HWAVEIN{}, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(buffer.header.dwBytesRecorded, 7u);
    ASSERT_EQ(waveInAddBuffer(in, buffer.hdr(), sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(buffer.header.dwBytesRecorded, 0u);
    EXPECT_EQ(buffer.header.dwFlags, WHDR_PREPARED | WHDR_INQUEUE);
}

TEST_P(WaveContract, WriteChecksInItsOrder) {
    HWAVEOUT out = openOut();
    Buffer& block = buffers.make(64);
    EXPECT_EQ(waveOutWrite(HWAVEOUT{}, nullptr, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutWrite(out, nullptr, sizeof(WAVEHDR)), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutWrite(out, block.hdr(), 32 - 1), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    block.header.dwFlags = WHDR_PREPARED;
    block.header.lpData = nullptr;
    EXPECT_EQ(waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    block.header.lpData = block.data.data();
    block.header.dwFlags = WHDR_PREPARED | WHDR_INQUEUE;
    EXPECT_EQ(waveOutWrite(out, block.hdr(), sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(window.take().size(), 1u);  // the open notification only
}

}  // namespace
}  // namespace sorvan::wavetest
