#include "platform/pulse/PulseStream.h"

#include <algorithm>

#include "platform/pulse/Format.h"
#include "platform/pulse/PulseDriver.h"
#include "platform/pulse/Volume.h"

namespace sorvan::pulse {

namespace {

std::atomic<std::uint64_t> xruns{0};

// Blocks and buffers below a millisecond would have the server wake the
// stream more often than it can keep up with; above two seconds the
// server's own limits apply.
constexpr pa_usec_t shortestFragment = 1'000;
constexpr pa_usec_t longestFragment = 2'000'000;
constexpr pa_usec_t usualFragment = 10'000;
// Playback keeps this many blocks at the server.
constexpr std::uint32_t blocksAhead = 4;
// A tail that has not played by its reckoned end is looked at again this soon.
constexpr pa_usec_t tailRecheck = 2'000;
constexpr int stallsMeanDry = 3;

pa_channel_map mapOf(const WAVEFORMATEX& format) {
    pa_channel_map map{};
    // Wave files order their channels as WAVEFORMATEXTENSIBLE's masks do.
    pa_channel_map_init_extend(&map, format.nChannels, PA_CHANNEL_MAP_WAVEEX);
    return map;
}

MMRESULT resultOf(int error) {
    switch (error) {
        case PA_ERR_INVALID:
        case PA_ERR_NOTSUPPORTED:
            return WAVERR_BADFORMAT;
        default:
            return MMSYSERR_NODRIVER;
    }
}

void unrefOperation(pa_operation* operation) {
    if (operation != nullptr) pa_operation_unref(operation);
}

}  // namespace

std::uint64_t xrunCount() {
    return xruns.load(std::memory_order_relaxed);
}

MMRESULT PulseStream::open(std::shared_ptr<Connection> connection, wave::Direction direction,
                           std::string device, const WAVEFORMATEX& format, wave::StreamHost& host,
                           std::unique_ptr<wave::DriverStream>& stream) {
    std::unique_ptr<PulseStream> opened(
        new PulseStream(std::move(connection), direction, std::move(device), format, host));
    MMRESULT result = MMSYSERR_NOERROR;
    {
        Connection::Lock lock(*opened->connection_);
        result = opened->connect();
    }
    if (result == MMSYSERR_NOERROR) stream = std::move(opened);
    return result;
}

PulseStream::PulseStream(std::shared_ptr<Connection> connection, wave::Direction direction,
                         std::string device, const WAVEFORMATEX& format, wave::StreamHost& host)
    : connection_(std::move(connection)),
      direction_(direction),
      device_(std::move(device)),
      spec_(specOf(format)),
      map_(mapOf(format)),
      frameSize_(format.nBlockAlign),
      host_(host),
      fragment_(pa_usec_to_bytes(usualFragment, &spec_)) {}

PulseStream::~PulseStream() {
    Connection::Lock lock(*connection_);
    moving_ = false;
    disconnect();
}

MMRESULT PulseStream::connect() {
    pa_context* context = connection_->context();
    if (!connection_->alive()) return MMSYSERR_NODRIVER;
    const char* name = direction_ == wave::Direction::input ? "Recording" : "Playback";
    stream_ = pa_stream_new(context, name, &spec_, &map_);
    if (stream_ == nullptr) return resultOf(pa_context_errno(context));
    pa_stream_set_state_callback(stream_, &onState, this);
    const pa_buffer_attr attr = attributes();
    // Recording runs from the open, so that the first buffer after a start
    // does not wait for the source to wake up; what comes before the start
    // is thrown away.
    auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY);
    if (direction_ == wave::Direction::output) {
        flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_START_CORKED);
    }
    // A device chosen by number is that device; the default is the server's to route.
    if (!device_.empty()) flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_DONT_MOVE);
    const char* device = device_.empty() ? nullptr : device_.c_str();
    int e = 0;
    if (direction_ == wave::Direction::input) {
        pa_stream_set_read_callback(stream_, &onReadable, this);
        e = pa_stream_connect_record(stream_, device, &attr, flags);
    } else {
        pa_stream_set_write_callback(stream_, &onWritable, this);
        pa_stream_set_underflow_callback(stream_, &onUnderflow, this);
        flags = static_cast<pa_stream_flags_t>(flags | PA_STREAM_INTERPOLATE_TIMING |
                                               PA_STREAM_AUTO_TIMING_UPDATE);
        pa_cvolume volume{};
        if (volume_) volume = serverVolumeOf(*volume_, map_);
        e = pa_stream_connect_playback(stream_, device, &attr, flags, volume_ ? &volume : nullptr,
                                       nullptr);
    }
    pa_stream_state_t state = PA_STREAM_UNCONNECTED;
    while (e == 0 && (state = pa_stream_get_state(stream_)) != PA_STREAM_READY &&
           PA_STREAM_IS_GOOD(state)) {
        connection_->waitForSignal();
    }
    if (e < 0 || state != PA_STREAM_READY) {
        const MMRESULT result = resultOf(pa_context_errno(context));
        disconnect();
        return result;
    }
    timer_ = pa_context_rttime_new(context, PA_USEC_INVALID, &onTimer, this);
    timerDue_ = PA_USEC_INVALID;
    written_ = heard_ = sinceDry_ = 0;
    triggered_ = dry_ = lateAfterDry_ = false;
    stalls_ = 0;
    return MMSYSERR_NOERROR;
}

void PulseStream::disconnect() {
    if (timer_ != nullptr) {
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(connection_->loop());
        api->time_free(timer_);
        timer_ = nullptr;
    }
    if (stream_ == nullptr) return;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
}

pa_buffer_attr PulseStream::attributes() const {
    constexpr std::uint32_t serverChooses = static_cast<std::uint32_t>(-1);
    const auto fragment = static_cast<std::uint32_t>(fragment_);
    if (direction_ == wave::Direction::input) {
        return {.maxlength = serverChooses,
                .tlength = serverChooses,
                .prebuf = serverChooses,
                .minreq = serverChooses,
                .fragsize = fragment};
    }
    // Playback starts once a block is there, so a gap costs one block's wait.
    return {.maxlength = serverChooses,
            .tlength = fragment * blocksAhead,
            .prebuf = fragment,
            .minreq = fragment,
            .fragsize = serverChooses};
}

// A buffer of up to the usual fragment is one fragment. A longer one is cut
// into the fewest equal fragments of at most that length, so that it still
// ends at a fragment's end while a stop finds no more than a usual fragment
// unsent at the server.
std::size_t PulseStream::fragmentFor(std::size_t bufferBytes) const {
    const std::size_t usual = pa_usec_to_bytes(usualFragment, &spec_);
    if (bufferBytes <= usual) return bufferBytes;
    const std::size_t fragments = (bufferBytes + usual - 1) / usual;
    const std::size_t frames = bufferBytes / frameSize_ / fragments;
    return frames * frameSize_;
}

void PulseStream::fit(std::size_t bytes) {
    const std::size_t least = pa_usec_to_bytes(shortestFragment, &spec_);
    const std::size_t most = pa_usec_to_bytes(longestFragment, &spec_);
    bytes = std::clamp(bytes - bytes % frameSize_, least, most);
    // A new size makes the server set the stream up again, which costs a
    // gap; sizes within a quarter of the one in place are not worth it.
    const std::size_t change = bytes > fragment_ ? bytes - fragment_ : fragment_ - bytes;
    if (change <= fragment_ / 4 || stream_ == nullptr) return;
    fragment_ = bytes;
    const pa_buffer_attr attr = attributes();
    unrefOperation(pa_stream_set_buffer_attr(stream_, &attr, nullptr, nullptr));
}

MMRESULT PulseStream::start() {
    Connection::Lock lock(*connection_);
    if (lost_) return MMSYSERR_NODRIVER;
    if (moving_) return MMSYSERR_NOERROR;
    if (stream_ == nullptr) {
        if (const MMRESULT result = connect(); result != MMSYSERR_NOERROR) {
            lost_ = result == MMSYSERR_NODRIVER;
            return result;
        }
    }
    if (direction_ == wave::Direction::input) {
        if (const std::size_t head = host_.headBytes(); head > 0) fit(fragmentFor(head));
        keepNewest(fragment_);
        wantsData_.store(true);
    } else {
        // The first block is queued after the start; fill() fits the buffer to it.
        wantsData_.store(true);
    }
    if (!cork(false)) {
        wantsData_.store(false);
        return MMSYSERR_NODRIVER;
    }
    moving_ = true;
    return MMSYSERR_NOERROR;
}

MMRESULT PulseStream::stop() {
    Connection::Lock lock(*connection_);
    moving_ = false;
    wantsData_.store(false);
    if (stream_ == nullptr || lost_) return MMSYSERR_NOERROR;
    if (direction_ == wave::Direction::output) {
        disconnect();
        return MMSYSERR_NOERROR;
    }
    cork(true);
    connection_->await(pa_stream_flush(stream_, nullptr, nullptr));
    return MMSYSERR_NOERROR;
}

MMRESULT PulseStream::pause() {
    Connection::Lock lock(*connection_);
    if (!moving_) return MMSYSERR_NOERROR;
    moving_ = false;
    wantsData_.store(false);
    if (timer_ != nullptr) setTimer(PA_USEC_INVALID);
    cork(true);
    return MMSYSERR_NOERROR;
}

MMRESULT PulseStream::resume() {
    {
        Connection::Lock lock(*connection_);
        if (lost_) return MMSYSERR_NODRIVER;
        if (moving_ || stream_ == nullptr) return MMSYSERR_NOERROR;
        if (!cork(false)) return MMSYSERR_NODRIVER;
        moving_ = true;
        // The core takes frames again once this returns, and says so through dataQueued.
        wantsData_.store(true);
    }
    return MMSYSERR_NOERROR;
}

bool PulseStream::cork(bool corked) {
    pa_operation* operation = pa_stream_cork(stream_, corked ? 1 : 0, nullptr, nullptr);
    unrefOperation(operation);
    return operation != nullptr;
}

// Input: the core calls this once a start is complete, the first time the
// host takes frames, so what start() kept is handed over here.
void PulseStream::dataQueued() {
    if (!wantsData_.exchange(false)) return;
    Connection::Lock lock(*connection_);
    if (direction_ == wave::Direction::input) {
        capture();
    } else {
        fill();
    }
}

void PulseStream::capture() {
    const void* data = nullptr;
    std::size_t size = 0;
    while (pa_stream_readable_size(stream_) > 0) {
        if (pa_stream_peek(stream_, &data, &size) < 0 || size == 0) return;
        if (moving_) {
            if (data == nullptr) {
                // A hole: the server lost these frames.
                xruns.fetch_add(1, std::memory_order_relaxed);
                host_.gap(wave::StreamHost::Gap::device, size / frameSize_);
            } else {
                host_.capture(std::span(static_cast<const std::byte*>(data), size - size % frameSize_));
            }
        }
        pa_stream_drop(stream_);
    }
}

// What came before the start is not part of this recording, but for about
// its last fragment: a source sends its first frames in a burst as a
// stream begins, and the next may be a graph cycle or two away.
void PulseStream::keepNewest(std::size_t bytes) {
    const void* data = nullptr;
    std::size_t size = 0;
    std::size_t readable = pa_stream_readable_size(stream_);
    while (readable > bytes && pa_stream_peek(stream_, &data, &size) == 0 && size > 0 &&
           readable - std::min(readable, size) >= bytes) {
        pa_stream_drop(stream_);
        readable -= size;
    }
}

void PulseStream::fill() {
    if (!moving_ || stream_ == nullptr) return;
    reportHeard();
    // A fresh stream's first block tells the size of the application's blocks.
    if (written_ == 0) {
        if (const std::size_t head = host_.headBytes(); head > 0) fit(head);
    }
    for (;;) {
        if (!moveFrames()) break;  // the server is full: it asks again when it has room
        // The queue is empty. While the server has blocks to play it asks
        // again as it plays them, and takes the next block then; only one
        // about to run dry has the next block queued brought here at once.
        if (!runningShort()) break;
        wantsData_.store(true);
        if (host_.pendingBytes() == 0 || !wantsData_.exchange(false)) break;
    }
    // A sound shorter than the start threshold has to be started by hand.
    if (!triggered_ && sinceDry_ > 0 && sinceDry_ < fragment_ && host_.pendingBytes() == 0) {
        triggered_ = true;
        unrefOperation(pa_stream_trigger(stream_, nullptr, nullptr));
    }
    watchTail();
}

bool PulseStream::moveFrames() {
    std::size_t room = pa_stream_writable_size(stream_);
    if (room == static_cast<std::size_t>(-1)) return false;
    while (room >= frameSize_) {
        void* data = nullptr;
        std::size_t size = room;
        if (pa_stream_begin_write(stream_, &data, &size) < 0 || data == nullptr) return false;
        size = std::min(size, room);
        size -= size % frameSize_;
        const std::size_t given = host_.playHeld(std::span(static_cast<std::byte*>(data), size));
        if (given == 0) {
            pa_stream_cancel_write(stream_);
            return true;
        }
        if (pa_stream_write(stream_, data, given, nullptr, 0, PA_SEEK_RELATIVE) < 0) return false;
        written_ += given;
        sinceDry_ += given;
        dry_ = false;
        if (lateAfterDry_) host_.gap(wave::StreamHost::Gap::late, 0);
        lateAfterDry_ = false;
        room -= given;
    }
    return host_.pendingBytes() == 0;
}

bool PulseStream::runningShort() const {
    return dry_ || written_ - heard_ <= 2 * std::uint64_t{fragment_};
}

void PulseStream::reportHeard() {
    if (heard_ >= written_) return;
    pa_usec_t time = 0;
    if (pa_stream_get_time(stream_, &time) < 0) return;
    std::uint64_t played = pa_usec_to_bytes(time, &spec_);
    played = std::min<std::uint64_t>(played - played % frameSize_, written_);
    if (played <= heard_) return;
    host_.heard(static_cast<std::size_t>(played - heard_));
    heard_ = played;
}

// Setting the timer wakes the loop, so a timer already due before the
// time wanted is left alone: it finds the tail not played yet and is set
// again, once per tail rather than once per block.
void PulseStream::watchTail() {
    if (timer_ == nullptr) return;
    if (!moving_ || heard_ >= written_) {
        setTimer(PA_USEC_INVALID);
        return;
    }
    const pa_usec_t due =
        pa_rtclock_now() + std::max(pa_bytes_to_usec(written_ - heard_, &spec_), tailRecheck);
    if (timerDue_ == PA_USEC_INVALID || timerDue_ > due) setTimer(due);
}

void PulseStream::setTimer(pa_usec_t due) {
    if (due == timerDue_) return;
    timerDue_ = due;
    pa_context_rttime_restart(connection_->context(), timer_, due);
}

void PulseStream::tailDue() {
    timerDue_ = PA_USEC_INVALID;
    if (!moving_) return;
    const std::uint64_t before = heard_;
    reportHeard();
    stalls_ = heard_ == before ? stalls_ + 1 : 0;
    // A stream that ran dry stops its clock short of the end by the sink's
    // latency, which the timer has waited out by now; a clock that stands
    // still with nothing more to write has run dry unreported.
    if (heard_ < written_ && (dry_ || stalls_ >= stallsMeanDry) && host_.pendingBytes() == 0) {
        host_.heard(static_cast<std::size_t>(written_ - heard_));
        heard_ = written_;
    }
    watchTail();
}

void PulseStream::stateChanged() {
    const pa_stream_state_t state = pa_stream_get_state(stream_);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) lose();
    connection_->signal();
}

void PulseStream::underflow() {
    // With frames waiting the fault is ours; without, the application was late.
    // Without, it is a gap only once a block comes after the silence: a
    // sound that simply ended is none.
    if (moving_ && host_.pendingBytes() > 0) {
        xruns.fetch_add(1, std::memory_order_relaxed);
        host_.gap(wave::StreamHost::Gap::device, 0);
    } else if (moving_) {
        lateAfterDry_ = true;
    }
    sinceDry_ = 0;
    triggered_ = false;
    dry_ = true;
    // The server asks for nothing more until it is given frames.
    fill();
}

void PulseStream::lose() {
    lost_ = true;
    if (!moving_) return;
    moving_ = false;
    wantsData_.store(false);
    host_.deviceLost();
}

std::optional<MMRESULT> PulseStream::getVolume(DWORD& volume) {
    if (direction_ != wave::Direction::output) return std::nullopt;
    Connection::Lock lock(*connection_);
    if (stream_ == nullptr) {
        volume = volume_.value_or(0xFFFFFFFF);
        return MMSYSERR_NOERROR;
    }
    struct Answer {
        bool found = false;
        DWORD volume = 0;
    } answer;
    const auto got = [](pa_context*, const pa_sink_input_info* info, int eol, void* out) {
        if (eol != 0 || info == nullptr) return;
        auto& a = *static_cast<Answer*>(out);
        a.found = true;
        a.volume = waveVolumeOf(info->volume, info->channel_map);
    };
    connection_->await(pa_context_get_sink_input_info(connection_->context(),
                                                      pa_stream_get_index(stream_), got, &answer));
    if (!answer.found) return MMSYSERR_NODRIVER;
    volume = answer.volume;
    return MMSYSERR_NOERROR;
}

std::optional<MMRESULT> PulseStream::setVolume(DWORD volume) {
    if (direction_ != wave::Direction::output) return std::nullopt;
    Connection::Lock lock(*connection_);
    volume_ = volume;
    // A stream reset since is opened again with it.
    if (stream_ == nullptr) return MMSYSERR_NOERROR;
    const pa_cvolume levels = serverVolumeOf(volume, map_);
    int success = 0;
    const auto done = [](pa_context*, int ok, void* out) { *static_cast<int*>(out) = ok; };
    connection_->await(pa_context_set_sink_input_volume(
        connection_->context(), pa_stream_get_index(stream_), &levels, done, &success));
    return success != 0 ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
}

void PulseStream::onState(pa_stream*, void* self) {
    static_cast<PulseStream*>(self)->stateChanged();
}

void PulseStream::onReadable(pa_stream*, std::size_t, void* self) {
    static_cast<PulseStream*>(self)->capture();
}

void PulseStream::onWritable(pa_stream*, std::size_t, void* self) {
    static_cast<PulseStream*>(self)->fill();
}

void PulseStream::onUnderflow(pa_stream*, void* self) {
    static_cast<PulseStream*>(self)->underflow();
}

void PulseStream::onTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
    static_cast<PulseStream*>(self)->tailDue();
}

}  // namespace sorvan::pulse
