// Seeded random sequences of wave calls on the test PCM's paced, overrunning,
// disappearing, busy and pausing devices. After every step: each header that
// was queued comes back exactly once, done and out of the queue, before its
// handle's close notification; nothing comes back that was not queued;
// nothing is queued after a successful close. The sanitizer builds add: no
// memory or thread fault anywhere on the way.
//
// SORVAN_SEED=<n> replays one sequence; SORVAN_SEQUENCES=<n> runs more.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "AlsaTestSetup.h"

namespace sorvan::alsatest {
namespace {

using namespace std::chrono_literals;
using wavetest::Buffer;
using wavetest::Notification;

unsigned environment(const char* name, unsigned otherwise) {
    const char* value = std::getenv(name);
    return value != nullptr ? static_cast<unsigned>(std::strtoul(value, nullptr, 10)) : otherwise;
}

// What the sequences did, for the summary line.
struct Tally {
    unsigned steps = 0;
    unsigned opens = 0;
    unsigned queued = 0;
    unsigned refused = 0;  // MMSYSERR_NODRIVER: the device had gone
};

struct Header {
    std::unique_ptr<Buffer> buffer;
    bool queued = false;  // the add or write succeeded and it has not come back
    int returns = 0;
};

// One open handle, either direction, and what the test knows of it.
struct Stream {
    bool input = false;
    UINT_PTR handle = 0;
    std::deque<Header> headers;  // never freed before the sequence ends
    bool closed = false;
};

class Sequence {
  public:
    Sequence(unsigned seed, int steps, Tally& tally)
        : random_(seed), steps_(steps), tally_(tally) {}

    void run() {
        for (int step = 0; step < steps_ && !::testing::Test::HasFatalFailure(); ++step) {
            SCOPED_TRACE("step " + std::to_string(step));
            act();
            receive();
            ++tally_.steps;
        }
        for (auto& stream : streams_) closeForGood(stream);
        receive();
        for (const auto& stream : streams_) {
            for (const auto& header : stream.headers) EXPECT_FALSE(header.queued);
        }
    }

  private:
    int pick(int count) { return std::uniform_int_distribution(0, count - 1)(random_); }

    Stream* anyOpen() {
        std::vector<Stream*> open;
        for (auto& stream : streams_) {
            if (!stream.closed) open.push_back(&stream);
        }
        return open.empty() ? nullptr
                            : open[static_cast<std::size_t>(pick(static_cast<int>(open.size())))];
    }

    void act() {
        Stream* stream = anyOpen();
        switch (stream == nullptr || streams_.size() < 2 ? 0 : pick(10)) {
            case 0:
                open();
                break;
            case 1:
            case 2:
                queue(*stream);
                break;
            case 3:
                control(*stream);
                break;
            case 4:
                unprepareOne(*stream);
                break;
            case 5:
                close(*stream);
                break;
            case 6:
            case 7:
                // Long enough, now and then, for the flaky and unplugged devices' faults.
                std::this_thread::sleep_for(std::chrono::milliseconds(pick(50)));
                break;
            default:
                std::this_thread::sleep_for(std::chrono::milliseconds(pick(5)));
                break;
        }
    }

    void open() {
        static const char* const devices[] = {"default", "flaky", "unplugged", "taken", "pausing"};
        const std::string device = devices[pick(5)];
        const WORD channels = static_cast<WORD>(1 + pick(2));
        const WAVEFORMATEX format = wavetest::pcmFormat(channels, 44100, pick(2) ? 16 : 24);
        Stream stream;
        stream.input = pick(2) == 0;
        MMRESULT result = MMSYSERR_NOERROR;
        if (stream.input) {
            HWAVEIN in = nullptr;
            result = waveInOpen(&in, inputDevice(device), &format, window_.callback(), 0,
                                CALLBACK_WINDOW);
            stream.handle = wavetest::handleValue(in);
        } else {
            HWAVEOUT out = nullptr;
            result = waveOutOpen(&out, outputDevice(device), &format, window_.callback(), 0,
                                 CALLBACK_WINDOW);
            stream.handle = wavetest::handleValue(out);
        }
        if (device == "taken") {
            EXPECT_EQ(result, MMSYSERR_ALLOCATED);
            return;
        }
        ASSERT_EQ(result, MMSYSERR_NOERROR) << device;
        ++tally_.opens;
        frameSize_[stream.handle] = format.nBlockAlign;
        streams_.push_back(std::move(stream));
    }

    void queue(Stream& stream) {
        // Sizes up to a quarter second, some empty, some ending inside a frame.
        const std::size_t frame = frameSize_[stream.handle];
        std::size_t size = frame * static_cast<std::size_t>(pick(11025));
        if (pick(4) == 0) size += static_cast<std::size_t>(pick(static_cast<int>(frame)));
        if (pick(10) == 0) size = 0;
        // An empty block still has its data pointer, as a written block must.
        Header& header = stream.headers.emplace_back(
            Header{.buffer = std::make_unique<Buffer>(std::max<std::size_t>(size, 1),
                                                      static_cast<char>(pick(256)))});
        header.buffer->header.dwBufferLength = static_cast<DWORD>(size);
        LPWAVEHDR hdr = header.buffer->hdr();
        MMRESULT result = MMSYSERR_NOERROR;
        if (stream.input) {
            const auto in = reinterpret_cast<HWAVEIN>(stream.handle);
            result = waveInPrepareHeader(in, hdr, sizeof(WAVEHDR));
            if (result == MMSYSERR_NOERROR) result = waveInAddBuffer(in, hdr, sizeof(WAVEHDR));
        } else {
            const auto out = reinterpret_cast<HWAVEOUT>(stream.handle);
            result = waveOutPrepareHeader(out, hdr, sizeof(WAVEHDR));
            if (result == MMSYSERR_NOERROR) result = waveOutWrite(out, hdr, sizeof(WAVEHDR));
        }
        // A device gone refuses; an input buffer without a frame of room is
        // handed back at once, which the notification shows.
        EXPECT_TRUE(result == MMSYSERR_NOERROR || result == MMSYSERR_NODRIVER) << result;
        header.queued = result == MMSYSERR_NOERROR;
        ++(header.queued ? tally_.queued : tally_.refused);
    }

    void control(Stream& stream) {
        MMRESULT result = MMSYSERR_NOERROR;
        if (stream.input) {
            const auto in = reinterpret_cast<HWAVEIN>(stream.handle);
            switch (pick(3)) {
                case 0:
                    result = waveInStart(in);
                    break;
                case 1:
                    result = waveInStop(in);
                    EXPECT_EQ(result, MMSYSERR_NOERROR);
                    break;
                default:
                    result = waveInReset(in);
                    EXPECT_EQ(result, MMSYSERR_NOERROR);
                    expectNoneQueued(stream);
                    break;
            }
        } else {
            const auto out = reinterpret_cast<HWAVEOUT>(stream.handle);
            switch (pick(3)) {
                case 0:
                    result = waveOutPause(out);
                    break;
                case 1:
                    result = waveOutRestart(out);
                    break;
                default:
                    result = waveOutReset(out);
                    EXPECT_EQ(result, MMSYSERR_NOERROR);
                    expectNoneQueued(stream);
                    break;
            }
        }
        EXPECT_TRUE(result == MMSYSERR_NOERROR || result == MMSYSERR_NODRIVER) << result;
        if (result == MMSYSERR_NODRIVER) ++tally_.refused;
    }

    void unprepareOne(Stream& stream) {
        if (stream.headers.empty()) return;
        Header& header =
            stream.headers[static_cast<std::size_t>(pick(static_cast<int>(stream.headers.size())))];
        const MMRESULT result =
            stream.input ? waveInUnprepareHeader(reinterpret_cast<HWAVEIN>(stream.handle),
                                                 header.buffer->hdr(), sizeof(WAVEHDR))
                         : waveOutUnprepareHeader(reinterpret_cast<HWAVEOUT>(stream.handle),
                                                  header.buffer->hdr(), sizeof(WAVEHDR));
        if (result == MMSYSERR_NOERROR) {
            // Taken back: the device is done with it, whatever the window has seen yet.
            EXPECT_EQ(header.buffer->header.dwFlags & WHDR_INQUEUE, 0u);
        } else {
            EXPECT_EQ(result, WAVERR_STILLPLAYING);
        }
    }

    void close(Stream& stream) {
        const MMRESULT result = stream.input
                                    ? waveInClose(reinterpret_cast<HWAVEIN>(stream.handle))
                                    : waveOutClose(reinterpret_cast<HWAVEOUT>(stream.handle));
        if (result == MMSYSERR_NOERROR) {
            stream.closed = true;
            expectNoneQueued(stream);
        } else {
            EXPECT_EQ(result, WAVERR_STILLPLAYING);
        }
    }

    void closeForGood(Stream& stream) {
        if (stream.closed) return;
        if (stream.input) {
            EXPECT_EQ(waveInReset(reinterpret_cast<HWAVEIN>(stream.handle)), MMSYSERR_NOERROR);
        } else {
            EXPECT_EQ(waveOutReset(reinterpret_cast<HWAVEOUT>(stream.handle)), MMSYSERR_NOERROR);
        }
        close(stream);
        EXPECT_TRUE(stream.closed);
    }

    // Nothing the device holds: every header's flags say so.
    void expectNoneQueued(const Stream& stream) {
        for (const auto& header : stream.headers) {
            EXPECT_EQ(header.buffer->header.dwFlags & WHDR_INQUEUE, 0u);
        }
    }

    void receive() {
        for (const Notification& n : window_.take()) {
            Stream* stream = nullptr;
            for (auto& s : streams_) {
                if (s.handle == n.handle) stream = &s;
            }
            ASSERT_NE(stream, nullptr) << "a notification for no handle of this sequence";
            EXPECT_FALSE(closedSeen_.contains(n.handle)) << "a notification after the close";
            if (n.msg == MM_WIM_CLOSE || n.msg == MM_WOM_CLOSE) {
                closedSeen_[n.handle] = true;
                for (const auto& header : stream->headers) EXPECT_FALSE(header.queued);
            } else if (n.msg == MM_WIM_DATA || n.msg == MM_WOM_DONE) {
                auto found =
                    std::find_if(stream->headers.begin(), stream->headers.end(),
                                 [&](const Header& h) { return h.buffer->param() == n.param; });
                ASSERT_NE(found, stream->headers.end()) << "a header this handle never had";
                EXPECT_TRUE(found->queued) << "returned twice, or never queued";
                EXPECT_EQ(n.flags & (WHDR_DONE | WHDR_INQUEUE), DWORD{WHDR_DONE});
                EXPECT_EQ(n.bytesRecorded % frameSize_[n.handle], 0u);
                found->queued = false;
                ++found->returns;
            }
        }
    }

    std::mt19937 random_;
    const int steps_;
    Tally& tally_;
    wavetest::NotificationWindow window_;
    std::deque<Stream> streams_;
    std::map<UINT_PTR, std::size_t> frameSize_;
    std::map<UINT_PTR, bool> closedSeen_;
};

TEST(AlsaRandomSequences, EveryHeaderComesBackOnceAndNothingStaysQueuedAfterClose) {
    useTestDevices();
    const unsigned sequences = environment("SORVAN_SEQUENCES", 4);
    const unsigned firstSeed = environment("SORVAN_SEED", std::random_device{}());
    const bool replaying = std::getenv("SORVAN_SEED") != nullptr;
    Tally tally;
    unsigned run = 0;
    for (; run < (replaying ? 1 : sequences) && !::testing::Test::HasFailure(); ++run) {
        const unsigned seed = firstSeed + run;
        SCOPED_TRACE("replay with SORVAN_SEED=" + std::to_string(seed));
        Sequence(seed, 60, tally).run();
        if (::testing::Test::HasFailure()) std::cout << "failing seed " << seed << '\n';
    }
    std::cout << run << " sequences from seed " << firstSeed << ": " << tally.steps << " steps, "
              << tally.opens << " opens, " << tally.queued << " headers queued, " << tally.refused
              << " calls refused by a lost device\n";
}

}  // namespace
}  // namespace sorvan::alsatest
