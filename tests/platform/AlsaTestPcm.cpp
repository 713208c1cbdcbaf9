// An ALSA PCM type for the driver's tests, loaded by ALSA from the
// configuration the tests write ("pcm_type.sorvan_test { lib ... }"):
// a device paced by the clock, like a sound card, that can overrun or
// disappear after a given number of frames.
//
// Like a card, its position moves a period at a time, at a tick of its clock
// once per period (its interrupt), and poll reports it ready at the tick that
// brings the application's avail_min, and from then on at once for as long as
// it stays ready. A reader that falls more than the
// buffer behind overruns, a writer that lets it play past what was written
// underruns: -EPIPE, as from a card.
//
//   pcm.card { type sorvan_test }                     paced; capture plays a byte ramp
//   pcm.flaky { type sorvan_test fault xrun after 4800 }  one xrun at frame 4800
//   pcm.unplugged { type sorvan_test fault gone after 4800 }  gone from frame 4800
//   pcm.taken { type sorvan_test busy true }             held by another program
//   pcm.speaker { type sorvan_test played_to "/x" }      on close, writes to /x how
//                                                         many frames had played
//   pcm.sized { type sorvan_test geometry_to "/x" }      on close, writes to /x its
//                                                         period and buffer in frames
//   pcm.ear { type sorvan_test heard_to "/x" }           on close, writes to /x the
//                                                         bytes it played, in order
//   pcm.pausing { type sorvan_test pausable true }       can pause (else it cannot)
//   pcm.sticky { type sorvan_test sticky true revents_to "/x" }  its descriptor stays
//                                                         readable while it is not ready, as
//                                                         the sound servers' plug-ins do;
//                                                         on close, writes to /x how often
//                                                         poll was asked what it meant
//   pcm.witness { type sorvan_test opened_to "/x" }     creates /x whenever it is opened
//   pcm.lagging { type sorvan_test lag 300 }            playback: never runs dry; its
//                                                         delay is what it holds plus 300
//                                                         frames, and stays 300 once it has
//                                                         played all (as PulseAudio's plug-in)
//   pcm.stalling { type sorvan_test stall 2205 after 4800 }  capture: once, the position
//                                                         stands still for 2205 frames' time
//                                                         and no xrun says so (frames lost,
//                                                         as a server drops them)
//
// The device plays a frame when it reports a position past it: frames a
// stop (drop) throws away before that were never heard.
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

enum class Fault { none, xrun, gone };

struct TestPcm {
    snd_pcm_ioplug_t io{};
    Fault fault = Fault::none;
    snd_pcm_uframes_t after = 0;  // frames the device moves before the fault
    std::chrono::steady_clock::time_point started;
    snd_pcm_uframes_t availMin = 1;  // the application's, from its software parameters
    snd_pcm_uframes_t base = 0;       // position last reported
    unsigned long long rampByte = 0;  // capture: next byte of the ramp
    bool faulted = false;
    bool busy = false;
    std::string playedTo;
    std::string geometryTo;
    snd_pcm_uframes_t played = 0;  // playback: frames played when last stopped
    bool pausable = false;
    snd_pcm_uframes_t pausedAt = 0;
    std::string heardTo;
    std::deque<unsigned char> unheard;  // playback: written, not yet played
    snd_pcm_uframes_t heardUpTo = 0;    // position up to which `unheard` was played
    std::vector<unsigned char> heard;
    bool sticky = false;
    std::string reventsTo;
    unsigned long reventsCalls = 0;
    snd_pcm_uframes_t stall = 0;  // frames' time the position stands still, once
    bool stalled = false;
    snd_pcm_uframes_t lag = 0;  // playback: a latency the delay adds, and never drops
    int timer = -1;
};

TestPcm& self(snd_pcm_ioplug_t* io) {
    return *static_cast<TestPcm*>(io->private_data);
}

// Readable at once and until read: poll must not block a stream that is not running.
void armReadable(TestPcm& pcm) {
    const itimerspec soon{{0, 0}, {0, 1}};
    timerfd_settime(pcm.timer, 0, &soon, nullptr);
}

int swParams(snd_pcm_ioplug_t* io, snd_pcm_sw_params_t* params) {
    snd_pcm_uframes_t availMin = 1;
    if (snd_pcm_sw_params_get_avail_min(params, &availMin) == 0) self(io).availMin = availMin;
    return 0;
}

// The frames up to `position` have played.
void hear(snd_pcm_ioplug_t* io, TestPcm& pcm, snd_pcm_uframes_t position) {
    if (pcm.heardTo.empty() || position <= pcm.heardUpTo) return;
    const auto bytes = static_cast<std::size_t>(
        snd_pcm_frames_to_bytes(io->pcm, static_cast<snd_pcm_sframes_t>(position - pcm.heardUpTo)));
    const std::size_t count = std::min(bytes, pcm.unheard.size());
    pcm.heard.insert(pcm.heard.end(), pcm.unheard.begin(),
                     pcm.unheard.begin() + static_cast<std::ptrdiff_t>(count));
    pcm.unheard.erase(pcm.unheard.begin(),
                      pcm.unheard.begin() + static_cast<std::ptrdiff_t>(count));
    pcm.heardUpTo = position;
}

// What a stop or prepare throws away was never heard.
void forgetUnheard(TestPcm& pcm) {
    pcm.unheard.clear();
    pcm.heardUpTo = 0;
}

int start(snd_pcm_ioplug_t* io) {
    TestPcm& pcm = self(io);
    if (pcm.fault == Fault::gone && pcm.faulted) return -ENODEV;
    pcm.started = std::chrono::steady_clock::now();
    // One tick per period, the first a period after the start.
    const long periodNs = static_cast<long>(
        (static_cast<long long>(io->period_size) * 1'000'000'000 + io->rate - 1) / io->rate);
    const timespec period{periodNs / 1'000'000'000, periodNs % 1'000'000'000};
    const itimerspec ticks{period, period};
    timerfd_settime(pcm.timer, 0, &ticks, nullptr);
    return 0;
}

// Whole periods only, like a card whose position moves at its interrupts.
snd_pcm_uframes_t framesSinceStart(const TestPcm& pcm, const snd_pcm_ioplug_t* io) {
    const auto elapsed = std::chrono::steady_clock::now() - pcm.started;
    const auto frames =
        static_cast<snd_pcm_uframes_t>(std::chrono::duration<double>(elapsed).count() * io->rate);
    return io->period_size > 0 ? frames - frames % io->period_size : frames;
}

bool running(const snd_pcm_ioplug_t* io) {
    return io->state == SND_PCM_STATE_RUNNING || io->state == SND_PCM_STATE_DRAINING;
}

int stop(snd_pcm_ioplug_t* io) {
    TestPcm& pcm = self(io);
    if (io->stream == SND_PCM_STREAM_PLAYBACK) {
        const snd_pcm_uframes_t written = io->appl_ptr;
        pcm.played = std::min(framesSinceStart(pcm, io), written);
    }
    armReadable(pcm);
    forgetUnheard(pcm);
    return 0;
}

int prepare(snd_pcm_ioplug_t* io) {
    TestPcm& pcm = self(io);
    if (pcm.fault == Fault::gone && pcm.faulted) return -ENODEV;
    pcm.base = 0;
    armReadable(pcm);
    forgetUnheard(pcm);
    return 0;
}

int pause(snd_pcm_ioplug_t* io, int enable) {
    TestPcm& pcm = self(io);
    if (pcm.fault == Fault::gone && pcm.faulted) return -ENODEV;
    if (enable) {
        const snd_pcm_uframes_t written = io->appl_ptr;
        pcm.pausedAt = std::min(framesSinceStart(pcm, io), written);
        pcm.base = pcm.pausedAt;
        hear(io, pcm, pcm.pausedAt);
    } else {
        const auto played =
            std::chrono::duration<double>(static_cast<double>(pcm.pausedAt) / io->rate);
        pcm.started = std::chrono::steady_clock::now() -
                      std::chrono::duration_cast<std::chrono::steady_clock::duration>(played);
    }
    return 0;
}

snd_pcm_sframes_t pointer(snd_pcm_ioplug_t* io) {
    TestPcm& pcm = self(io);
    if (pcm.fault == Fault::gone && pcm.faulted) {
        snd_pcm_ioplug_set_state(io, SND_PCM_STATE_DISCONNECTED);
        return -ENODEV;
    }
    if (!running(io)) return static_cast<snd_pcm_sframes_t>(pcm.base);
    if (pcm.stall > 0 && !pcm.stalled && framesSinceStart(pcm, io) >= pcm.after) {
        pcm.stalled = true;
        pcm.started += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(static_cast<double>(pcm.stall) / io->rate));
    }
    // Never back, not even by the rounding of a resumed pause.
    snd_pcm_uframes_t position = std::max(framesSinceStart(pcm, io), pcm.base);
    if (pcm.fault != Fault::none && !pcm.faulted && position >= pcm.after) {
        pcm.faulted = true;
        if (pcm.fault == Fault::gone) snd_pcm_ioplug_set_state(io, SND_PCM_STATE_DISCONNECTED);
        return pcm.fault == Fault::gone ? -ENODEV : -EPIPE;
    }
    if (io->stream == SND_PCM_STREAM_CAPTURE) {
        if (position > io->appl_ptr + io->buffer_size) return -EPIPE;
    } else if (position > io->appl_ptr) {
        // A drain ends where the frames do; anything else has run dry,
        // having played all it was given.
        if (io->state != SND_PCM_STATE_DRAINING && pcm.lag == 0) {
            hear(io, pcm, io->appl_ptr);
            return -EPIPE;
        }
        position = io->appl_ptr;
    }
    pcm.base = position;
    hear(io, pcm, position);
    return static_cast<snd_pcm_sframes_t>(position);
}

snd_pcm_sframes_t transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                           snd_pcm_uframes_t offset, snd_pcm_uframes_t size) {
    TestPcm& pcm = self(io);
    if (pcm.fault == Fault::gone && pcm.faulted) return -ENODEV;
    // Interleaved: the first area's address covers every channel.
    auto* bytes =
        static_cast<unsigned char*>(areas[0].addr) + offset * snd_pcm_frames_to_bytes(io->pcm, 1);
    const auto count = static_cast<std::size_t>(snd_pcm_frames_to_bytes(io->pcm, size));
    if (io->stream == SND_PCM_STREAM_CAPTURE) {
        for (std::size_t i = 0; i < count; ++i)
            bytes[i] = static_cast<unsigned char>(pcm.rampByte++);
    } else if (!pcm.heardTo.empty()) {
        pcm.unheard.insert(pcm.unheard.end(), bytes, bytes + count);
    }
    return static_cast<snd_pcm_sframes_t>(size);
}

int delay(snd_pcm_ioplug_t* io, snd_pcm_sframes_t* frames) {
    const snd_pcm_sframes_t position = pointer(io);
    if (position < 0) return static_cast<int>(position);
    *frames = static_cast<snd_pcm_sframes_t>(io->appl_ptr - static_cast<snd_pcm_uframes_t>(position) +
                                             self(io).lag);
    return 0;
}

int pollRevents(snd_pcm_ioplug_t* io, struct pollfd*, unsigned int, unsigned short* revents) {
    TestPcm& pcm = self(io);
    ++pcm.reventsCalls;
    bool ready = true;
    if (running(io)) {
        // Worked out here rather than asked of ALSA, which holds the PCM's
        // lock while it calls this: frames (capture) or room (playback) for
        // the application's avail_min. An xrun is ready too, to be found.
        const auto frames = static_cast<long long>(framesSinceStart(pcm, io));
        const auto appl = static_cast<long long>(io->appl_ptr);
        const long long avail = io->stream == SND_PCM_STREAM_CAPTURE
                                    ? frames - appl
                                    : static_cast<long long>(io->buffer_size) - (appl - frames);
        ready = avail >= static_cast<long long>(std::max<snd_pcm_uframes_t>(pcm.availMin, 1));
        // A card's poll is ready while the card is: the tick stays unread
        // until it is not, and the next poll then waits for the next tick.
        if (!ready && !pcm.sticky) {
            std::uint64_t ticks = 0;
            [[maybe_unused]] const auto got = read(pcm.timer, &ticks, sizeof ticks);
        }
    }
    *revents = ready ? (io->stream == SND_PCM_STREAM_CAPTURE ? POLLIN : POLLOUT) : 0;
    return 0;
}

int closePcm(snd_pcm_ioplug_t* io) {
    TestPcm* pcm = &self(io);
    if (!pcm->playedTo.empty()) {
        if (FILE* out = std::fopen(pcm->playedTo.c_str(), "w")) {
            std::fprintf(out, "%lu", static_cast<unsigned long>(pcm->played));
            std::fclose(out);
        }
    }
    if (!pcm->geometryTo.empty()) {
        if (FILE* out = std::fopen(pcm->geometryTo.c_str(), "w")) {
            std::fprintf(out, "%lu %lu", static_cast<unsigned long>(io->period_size),
                         static_cast<unsigned long>(io->buffer_size));
            std::fclose(out);
        }
    }
    if (!pcm->reventsTo.empty()) {
        if (FILE* out = std::fopen(pcm->reventsTo.c_str(), "w")) {
            std::fprintf(out, "%lu", pcm->reventsCalls);
            std::fclose(out);
        }
    }
    if (!pcm->heardTo.empty()) {
        if (FILE* out = std::fopen(pcm->heardTo.c_str(), "wb")) {
            if (!pcm->heard.empty()) std::fwrite(pcm->heard.data(), 1, pcm->heard.size(), out);
            std::fclose(out);
        }
    }
    close(pcm->timer);
    delete pcm;
    return 0;
}

// ALSA tells whether a device can pause by whether its plugin has the callback.
const snd_pcm_ioplug_callback_t& callbacks(bool pausable, bool lagging) {
    static const auto make = [](bool withPause, bool withDelay = false) {
        snd_pcm_ioplug_callback_t t{};
        t.start = start;
        t.stop = stop;
        t.pointer = pointer;
        t.transfer = transfer;
        t.close = closePcm;
        t.prepare = prepare;
        t.poll_revents = pollRevents;
        t.sw_params = swParams;
        if (withPause) t.pause = pause;
        if (withDelay) t.delay = delay;
        return t;
    };
    static const snd_pcm_ioplug_callback_t plain = make(false);
    static const snd_pcm_ioplug_callback_t pausing = make(true);
    static const snd_pcm_ioplug_callback_t late = make(false, true);
    if (lagging) return late;
    return pausable ? pausing : plain;
}

int readSettings(snd_config_t* conf, TestPcm& pcm) {
    snd_config_iterator_t i = nullptr;
    snd_config_iterator_t next = nullptr;
    snd_config_for_each(i, next, conf) {
        snd_config_t* entry = snd_config_iterator_entry(i);
        const char* id = nullptr;
        if (snd_config_get_id(entry, &id) < 0) continue;
        const std::string key = id;
        if (key == "comment" || key == "type" || key == "hint") continue;
        if (key == "fault") {
            const char* value = nullptr;
            if (snd_config_get_string(entry, &value) < 0) return -EINVAL;
            pcm.fault = std::strcmp(value, "xrun") == 0   ? Fault::xrun
                        : std::strcmp(value, "gone") == 0 ? Fault::gone
                                                          : Fault::none;
        } else if (key == "played_to") {
            const char* value = nullptr;
            if (snd_config_get_string(entry, &value) < 0) return -EINVAL;
            pcm.playedTo = value;
        } else if (key == "geometry_to") {
            const char* value = nullptr;
            if (snd_config_get_string(entry, &value) < 0) return -EINVAL;
            pcm.geometryTo = value;
        } else if (key == "heard_to") {
            const char* value = nullptr;
            if (snd_config_get_string(entry, &value) < 0) return -EINVAL;
            pcm.heardTo = value;
        } else if (key == "revents_to") {
            const char* value = nullptr;
            if (snd_config_get_string(entry, &value) < 0) return -EINVAL;
            pcm.reventsTo = value;
        } else if (key == "sticky") {
            pcm.sticky = snd_config_get_bool(entry) > 0;
        } else if (key == "opened_to") {
            const char* value = nullptr;
            if (snd_config_get_string(entry, &value) < 0) return -EINVAL;
            if (FILE* out = std::fopen(value, "w")) std::fclose(out);
        } else if (key == "lag") {
            long value = 0;
            if (snd_config_get_integer(entry, &value) < 0) return -EINVAL;
            pcm.lag = static_cast<snd_pcm_uframes_t>(value);
        } else if (key == "stall") {
            long value = 0;
            if (snd_config_get_integer(entry, &value) < 0) return -EINVAL;
            pcm.stall = static_cast<snd_pcm_uframes_t>(value);
        } else if (key == "pausable") {
            pcm.pausable = snd_config_get_bool(entry) > 0;
        } else if (key == "busy") {
            pcm.busy = snd_config_get_bool(entry) > 0;
        } else if (key == "after") {
            long value = 0;
            if (snd_config_get_integer(entry, &value) < 0) return -EINVAL;
            pcm.after = static_cast<snd_pcm_uframes_t>(value);
        } else {
            return -EINVAL;
        }
    }
    return 0;
}

int constrain(snd_pcm_ioplug_t* io) {
    static const unsigned int access[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
    static const unsigned int formats[] = {SND_PCM_FORMAT_U8, SND_PCM_FORMAT_S16_LE,
                                           SND_PCM_FORMAT_S24_3LE, SND_PCM_FORMAT_S32_LE};
    int e = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, 1, access);
    if (e == 0) e = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, 4, formats);
    if (e == 0) e = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 8);
    if (e == 0) e = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_RATE, 8000, 192000);
    if (e == 0)
        e = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64, 1 << 20);
    if (e == 0) e = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64);
    return e;
}

}  // namespace

extern "C" {

SND_PCM_PLUGIN_DEFINE_FUNC(sorvan_test) {
    (void)root;
    auto* pcm = new TestPcm;
    if (int e = readSettings(conf, *pcm); e < 0 || pcm->busy) {
        delete pcm;
        return e < 0 ? e : -EBUSY;
    }
    pcm->timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    armReadable(*pcm);
    pcm->io.version = SND_PCM_IOPLUG_VERSION;
    pcm->io.name = "Sorvan test PCM";
    pcm->io.callback = &callbacks(pcm->pausable, pcm->lag > 0);
    pcm->io.private_data = pcm;
    pcm->io.poll_fd = pcm->timer;
    pcm->io.poll_events = POLLIN;  // the timer ticks, whatever the direction
    if (int e = snd_pcm_ioplug_create(&pcm->io, name, stream, mode); e < 0) {
        close(pcm->timer);
        delete pcm;
        return e;
    }
    if (int e = constrain(&pcm->io); e < 0) {
        snd_pcm_ioplug_delete(&pcm->io);
        return e;
    }
    *pcmp = pcm->io.pcm;
    return 0;
}

SND_PCM_PLUGIN_SYMBOL(sorvan_test)
}
