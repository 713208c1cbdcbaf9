// The driver contract: what the waveform audio core asks of a driver.
//
// The core (platform/wave/Calls.cpp and Stream.cpp) implements every
// waveIn*/waveOut* call: argument checks, handles, header flags, the queues
// of buffers and blocks, and the notifications. A driver only knows its devices and moves frames.
//
// How frames move
//   The core opens a device with Driver::open, giving the driver a
//   StreamHost. The driver keeps the host until its DriverStream is
//   destroyed, and from any thread of its own calls
//     - host.captureSpace() and host.captured(bytes) on an input stream:
//       the first lends the driver the free part of the head buffer, the
//       driver writes frames straight into it and the second commits them,
//       returning the buffer when it is full;
//     - host.capture(bytes) on an input stream: the same with a copy, for
//       a driver that has its frames elsewhere already;
//     - host.play(out) on an output stream: the core copies the next bytes
//       of the queued blocks into `out` and returns every block whose last
//       byte was taken (the block counts as played once the driver has it);
//     - host.playHeld(out) and host.heard(bytes) instead, for a driver that
//       knows what its device has played: a block is returned once the
//       device has played its last byte.
//   All take whole frames only and return how many bytes they moved. They
//   do nothing (and return 0 or an empty span) while the core has the
//   stream stopped, so a driver thread that races with a stop, reset or
//   close is harmless. While a buffer is lent, waveInStop and waveInReset
//   wait for captured() before they return it to the application, so the
//   driver must end a lend quickly (one read of at most a period) and
//   always end it, with captured(0) when nothing arrived.
//   host.pendingBytes() tells how much the queue can take (input) or still
//   holds (output), for a driver that moves frames "as fast as given".
//   host.deviceLost() tells the core the device is gone for good: the core
//   returns every queued header at once and refuses to move frames again.
//
// When the core calls the driver
//   start()       input: waveInStart; output: a write while not playing.
//   stop()        input: waveInStop/Reset; output: waveOutReset, paused
//                 or not, which throws away what the device holds.
//   pause()       output: waveOutPause while playing. What the device holds
//                 must play after resume(), not be thrown away: the blocks
//                 it came from were already returned.
//   resume()      output: waveOutRestart after a pause().
//   dataQueued()  a buffer or block was queued; a driver that sleeps while
//                 there is nothing to move wakes up here.
//   ~DriverStream the device is closed (or the open is rolled back).
//   The core never holds a lock of its own that the host's calls take while
//   it calls these, so they may wait for the driver's threads. After
//   stop(), pause() or the destructor returns, the driver must not call the
//   host again (until the next start() or resume()).
//
// Failures: a driver says why a call fails, in its own words, with
//   explainFailure (Failure.h) before it returns the code; the application
//   reads it with the code.
//
// Threads: every Driver and DriverStream method may be called from any
// thread; the core serialises the calls on one stream, not across streams.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform/WaveApi.h"
#include "platform/WaveGaps.h"
#include "platform/wave/Direction.h"
#include "platform/wave/Failure.h"

namespace sorvan::wave {

// What GetDevCapsA reports for one device.
struct DeviceInfo {
    std::string name;  // cut to MAXPNAMELEN - 1 characters by the core
    WORD channels = 2;
    DWORD formats = 0;  // WAVE_FORMAT_* bits
    DWORD support = 0;  // WAVECAPS_* bits, output devices only
    WORD manufacturerId = 0;
    WORD productId = 0;
    MMVERSION driverVersion = 0x0100;
    // The sound server a device is a plug-in to ("PipeWire", "PulseAudio"),
    // which mixes and resamples for it; empty for a device of its own.
    std::string soundServer;
};

// The core's side of one open stream, handed to Driver::open.
class StreamHost {
  public:
    // Input: lends the free whole-frame part of the head buffer; empty while
    // stopped, when no buffer is queued or while a lend is open. Each
    // non-empty space must be followed by exactly one captured() call from
    // the same thread, before any other host call.
    virtual std::span<std::byte> captureSpace() = 0;
    // Input: ends the lend, keeping the first `bytes` (whole frames) written
    // into the space; returns the bytes kept.
    virtual std::size_t captured(std::size_t bytes) = 0;
    // Input: copies whole frames into the queued buffers; frames arriving
    // while no buffer is queued are thrown away. Returns the bytes taken.
    virtual std::size_t capture(std::span<const std::byte> frames) = 0;
    // Output: fills `out` (whole frames) from the queued blocks; returns the
    // bytes written, 0 when nothing is queued or the stream is stopped.
    virtual std::size_t play(std::span<std::byte> out) = 0;
    // Output: as play(), but a block whose last byte was taken stays queued
    // until heard() reaches its end.
    virtual std::size_t playHeld(std::span<std::byte> out) { return play(out); }
    // Output: the device has played `bytes` more of what playHeld gave it
    // (or will never play them: dropped by a stop or an xrun). Returns, in
    // order, every block now played to its end.
    virtual void heard(std::size_t) {}
    // Input: free space left in the queued buffers; output: bytes still to
    // play. 0 while stopped.
    virtual std::size_t pendingBytes() = 0;
    // The length of the head buffer or block, 0 when none is queued: a
    // driver may size its transfers to the application's headers.
    virtual std::size_t headBytes() { return 0; }
    // A gap in the sound: the device lost frames (input) or ran dry (output),
    // by itself or because the application queued nothing in time. `frames`
    // as far as the driver can tell, 0 when it cannot.
    enum class Gap { device, late };
    virtual void gap(Gap, std::size_t /*frames*/) {}
    // The device is gone (unplugged): every queued header comes back done,
    // with its notification, and from now on the stream moves no frames and
    // refuses to start. Called from the driver's own thread with no lend
    // open; the driver calls the host no more after it.
    virtual void deviceLost() = 0;

  protected:
    ~StreamHost() = default;
};

// One open device. Destroying it closes the device.
class DriverStream {
  public:
    virtual ~DriverStream() = default;
    virtual MMRESULT start() = 0;
    virtual MMRESULT stop() = 0;
    // A driver whose device holds nothing of its own may pause by stopping.
    virtual MMRESULT pause() { return stop(); }
    virtual MMRESULT resume() { return start(); }
    virtual void dataQueued() {}

    // waveOutGetVolume/waveOutSetVolume given this stream's handle, for a
    // system that keeps a volume per stream: nullopt leaves the call to the
    // device's volume (Driver::getVolume/setVolume), as for a device number.
    virtual std::optional<MMRESULT> getVolume(DWORD&) { return std::nullopt; }
    virtual std::optional<MMRESULT> setVolume(DWORD) { return std::nullopt; }
};

class Driver {
  public:
    virtual ~Driver() = default;

    virtual std::size_t deviceCount(Direction direction) = 0;
    // index < deviceCount(direction); the core checks it first.
    virtual DeviceInfo device(Direction direction, std::size_t index) = 0;
    // The device WAVE_MAPPER stands for; only asked when there is one.
    virtual std::size_t defaultDevice(Direction direction) = 0;
    // The same, or none when there is no device at all. A driver whose list
    // takes long to make may answer without making all of it.
    virtual std::optional<std::size_t> mapperDevice(Direction direction) {
        const std::size_t count = deviceCount(direction);
        if (count == 0) return std::nullopt;
        return std::min(defaultDevice(direction), count - 1);
    }

    // Called after the core's own checks (PCM tag, channels 1..device's,
    // rate > 0, bits 8/16/24/32, nBlockAlign = channels * bits / 8), both for
    // WAVE_FORMAT_QUERY and before open: MMSYSERR_NOERROR or WAVERR_BADFORMAT.
    virtual MMRESULT checkFormat(Direction direction, std::size_t index,
                                 const WAVEFORMATEX& format) = 0;
    // Whether open() itself refuses a format the device does not take
    // (WAVERR_BADFORMAT), so that the core asks checkFormat only for
    // WAVE_FORMAT_QUERY: a driver whose check opens the device saves an open.
    virtual bool opensOnlyWhatItTakes() const { return false; }

    // Opens the device for `format` (already checked). The stream calls
    // `host` only between start() and stop() (the core calls start() on
    // waveInStart, and for output on the first write). On failure returns its
    // code and leaves `stream` empty.
    virtual MMRESULT open(Direction direction, std::size_t index, const WAVEFORMATEX& format,
                          StreamHost& host, std::unique_ptr<DriverStream>& stream) = 0;
    // As open(), for WAVE_MAPPER, whose default is device `index` now. A
    // system that routes a stream to its default and moves it when the
    // default changes opens it that way; the others open device `index`.
    virtual MMRESULT openDefault(Direction direction, std::size_t index,
                                 const WAVEFORMATEX& format, StreamHost& host,
                                 std::unique_ptr<DriverStream>& stream) {
        return open(direction, index, format, host, stream);
    }

    // Output volume, low word left, high word right. The core checks the
    // WAVECAPS_VOLUME bit first and keeps only the low word without
    // WAVECAPS_LRVOLUME.
    virtual MMRESULT getVolume(std::size_t outputIndex, DWORD& volume) = 0;
    virtual MMRESULT setVolume(std::size_t outputIndex, DWORD volume) = 0;

    // The system the driver speaks to as its users know it, with its
    // version ("PulseAudio (on PipeWire 0.3.65) 15.0.0"); empty when the
    // driver's name says it all.
    virtual std::string system() { return {}; }

    // Whether a volume set through an open handle is that stream's alone (a
    // sound server keeps one per stream) rather than the device's.
    virtual bool streamsHaveOwnVolume() const { return false; }

    // Whether the devices are the built-in virtual ones rather than sound
    // hardware; programs tell their users so.
    virtual bool isVirtual() const { return false; }

    // Whether a volume set on output device `outputIndex` outlives the
    // program: true where the system keeps it (a sound card's mixer), false
    // where the driver scales the samples itself and forgets it at exit.
    virtual bool volumePersists(std::size_t) { return false; }

    // Takes in a device its list leaves out, by the name the sound system
    // knows it by (an ALSA PCM name such as "plughw:1" or "dmix:CARD=PCH").
    // On success `index` is its number: it joins the end of the list, the
    // others keep theirs, and a name already listed gives its own number.
    // MMSYSERR_NOTSUPPORTED from a driver that takes no names; for a name
    // that does not open, the reason as an open would give it
    // (MMSYSERR_NODRIVER for no such device) and, unless there is no such
    // device, why in explainFailure.
    virtual MMRESULT addNamedDevice(Direction, const std::string&, std::size_t&) {
        return MMSYSERR_NOTSUPPORTED;
    }

    // Why the device the system itself takes as the default for `direction`
    // is not among this driver's devices (it does not open now), in words a
    // user understands: "ALSA's \"default\" cannot be opened (Host is down)".
    // Empty when it is listed, or when the driver cannot tell. With no device
    // at all in that direction, this is the reason every call naming one gets.
    virtual std::string whyNoDefault(Direction) { return {}; }
};

}  // namespace sorvan::wave
