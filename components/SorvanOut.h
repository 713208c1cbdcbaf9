// TSorvanOut: plays PCM blocks on a waveform-output device.
//
// Every block handed to playback is copied, queued and written to the device;
// when the device returns it (MM_WOM_DONE on the component's own window) the
// copy is freed and OnDone fires. The component also reports the selected
// device's capabilities and reads and sets its volume.
#pragma once

#include <cstdint>
#include <utility>

#include "components/PlaybackLateDones.h"
#include "components/PlaybackQueue.h"
#include "components/SorvanWave.h"
#include "components/StreamGaps.h"
#include "components/WaveCalls.h"
#include "framework/Classes.h"
#include "framework/Events.h"
#include "framework/Messages.h"
#include "framework/Sets.h"
#include "framework/Threads.h"
#include "framework/TypInfo.h"

// What an output device supports; ordinal n is bit n of TSVOutCaps.
enum TSVOutCap : std::uint8_t {
    ocStereo,
    ocLRVolume,
    ocPitch,
    ocPlaybackRate,
    ocSync,
    ocVolume,
    ocSampleAccurate,
};
using TSVOutCaps = TSet<TSVOutCap>;

// The identifiers of TSVOutCap by ordinal, as forms and the designer show them.
inline constexpr const char* TSVOutCapNames[] = {
    "ocStereo", "ocLRVolume", "ocPitch", "ocPlaybackRate", "ocSync", "ocVolume", "ocSampleAccurate",
};

// LastError() and LastErrorText() (from WaveOutCalls) tell why the last device call
// failed; they are not properties and never stored in forms.
//
// The component belongs to the thread that creates it (TThreadBound). Its
// methods that act (open, playback, reset, close, GetCaps, GetVolume,
// SetVolume and the format and device setters) called on any other thread
// are refused: nothing changes, open and playback return false, GetCaps and
// GetVolume return nothing, and LastError() reads MMSYSERR_HANDLEBUSY.
// Other threads reach it through Queue.
class TSorvanOut : public TComponent, public WaveOutCalls, public TThreadBound {
  public:
    explicit TSorvanOut(TComponent* AOwner);
    ~TSorvanOut() override;

    static const TClassInfo& StaticClass();
    const TClassInfo& ClassType() const override { return StaticClass(); }

    // Opens the device with notifications to this component's window; the
    // result is IsOpen(). OnOpen fires once the device confirms.
    bool open();
    // Copies size bytes from data, queues the copy and writes it to the
    // device; the result is IsPlaying(). A negative size, or a null data
    // pointer with a positive size, is refused: nothing is queued or changed
    // and the result is false.
    bool playback(const void* data, std::int32_t size);
    // Stops the device if blocks were handed over since the last stop; the
    // device returns them through MM_WOM_DONE, one OnDone each.
    void reset();
    // Stops the device, frees the queued blocks and closes the device.
    void close();

    bool IsOpen() const { return FOpen; }
    bool IsPlaying() const { return FPlaying; }

    // The gaps in the sound since the last open (kept after the close):
    // silence the device played because it ran dry by itself, or because
    // no block was queued in time. Not a property: never stored in forms.
    TSVGaps Gaps() const { return FOpen ? GapsOfDevice(FDeviceID) : FGaps; }

    // The selected device's capabilities, queried afresh on every read.
    TSVOutCaps GetCaps() const;
    TSVOutCaps capabilities() const { return GetCaps(); }
    // The property can be assigned, but it describes the device: the value is ignored.
    void SetCaps(TSVOutCaps value);

    // The left-channel volume of the selected device; 0 when the query fails.
    WORD GetVolume() const;
    WORD volume() const { return GetVolume(); }
    // Sets both channels of the selected device to value.
    void SetVolume(WORD value);

    std::int32_t channels() const { return FChannels; }
    void SetChannels(std::int32_t value);
    std::int32_t samples() const { return FSamples; }
    void SetSamples(std::int32_t value);
    std::int32_t SampleBits() const { return FSampleBits; }
    void SetBits(std::int32_t value);
    TSVDev device() const { return FDevice; }
    void SetWantedDev(TSVDev value);
    // The handle of the device last opened; it is kept after close.
    HWAVEOUT DeviceID() const { return FDeviceID; }

    void SetOnOpen(TNotifyEvent handler) { OnOpen = std::move(handler); }
    void SetOnDone(TNotifyEvent handler) { OnDone = std::move(handler); }
    void SetOnClose(TNotifyEvent handler) { OnClose = std::move(handler); }
    void SetOnDeviceChange(TNotifyEvent handler) { OnDeviceChange = std::move(handler); }

    // The method bound to the notification window.
    void WndProc(TMessage& Message);

    TNotifyEvent OnOpen;
    TNotifyEvent OnDone;
    TNotifyEvent OnClose;
    // A device came or went, or a default moved: the list is worth asking again.
    TNotifyEvent OnDeviceChange;

  private:
    // Removes header if it is queued and sender is the device that holds it;
    // then IsPlaying tells whether blocks remain.
    void RemoveBuffer(WAVEHDR* header, HWAVEOUT sender);
    // Unprepares and frees the block at `at`, which then names the entry that
    // followed it. A block that a device accepted and that would not
    // unprepare may still be read by that device: it stays queued, `at` moves
    // past it.
    void ReleaseBlock(PlaybackQueue::Position& at);
    // Releases every queued block that no device holds any more.
    void DrainQueue();
    // close without the thread check: destruction must close whatever happens.
    void CloseDevice();
    // Resets the device, noting whether it refused.
    void StopDevice();

    // How often destruction tries to get the blocks back from a device that
    // refuses to reset or close.
    static constexpr int CloseAttemptsOnDestruction = 3;
    // The number the capability and volume calls take for the selected device.
    UINT_PTR DeviceNumber() const;
    std::intptr_t DeviceIDValue() const { return reinterpret_cast<std::intptr_t>(FDeviceID); }

    HWND FHandle = nullptr;
    std::int32_t FChannels = 1;
    std::int32_t FSamples = 8000;
    std::int32_t FSampleBits = 8;
    TSVDev FDevice = wvMapper;
    bool FOpen = false;
    bool FPlaying = false;
    // The last reset was refused: the device may still hold blocks.
    bool FResetRefused = false;
    HWAVEOUT FDeviceID = nullptr;
    TSVGaps FGaps;  // of the last device, as it closed
    PlaybackQueue FQueue;
    PlaybackLateDones FLateDones;
};
