// TSorvanIn: records PCM audio from a waveform-input device and hands every
// filled buffer to OnData, optionally writing the same bytes to a WAVE file.
//
// open starts the device with an empty queue; everything else happens when
// the device's notifications reach the hidden window on the owning thread:
// the open notification queues the buffers (and creates the file), every
// data notification delivers one buffer and hands it back, and the close
// notification completes the file.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "components/SorvanWave.h"
#include "components/StreamGaps.h"
#include "components/WaveCalls.h"
#include "components/WavFile.h"
#include "framework/Classes.h"
#include "framework/Events.h"
#include "framework/Messages.h"
#include "framework/Sets.h"
#include "framework/Threads.h"
#include "framework/TypInfo.h"

enum TSVInCap : std::uint8_t { icStereo };
using TSVInCaps = TSet<TSVInCap>;

// Number of capture buffers, 1 to 9.
using TSVIBuffers = std::uint8_t;
// Length of one capture buffer in bytes, 16 to 2^31-1.
using TSVIBufferSize = std::int32_t;

using TSVDataEvent = TMethodPtr<void(TObject* Sender, char* data, std::int32_t size)>;

// LastError() and LastErrorText() (from WaveInCalls) tell why the last device call
// failed; they are not properties and never stored in forms.
//
// The component belongs to the thread that creates it (TThreadBound). Its
// methods that act (open, close, CloseWAVFile, GetCaps and the setters)
// called on any other thread are refused: nothing changes, and LastError()
// reads MMSYSERR_HANDLEBUSY. Other threads reach it through Queue.
class TSorvanIn : public TComponent, public WaveInCalls, public TThreadBound {
  public:
    static constexpr TSVIBuffers MinBuffers = 1;
    static constexpr TSVIBuffers SlotCount = 9;
    static constexpr TSVIBufferSize MinBufferSize = 16;

    explicit TSorvanIn(TComponent* AOwner);
    ~TSorvanIn() override;

    static const TClassInfo& StaticClass();
    const TClassInfo& ClassType() const override { return StaticClass(); }

    // Opens and starts the selected device; IsOpen and IsCapturing tell the
    // outcome. Refused (nothing happens) while the device is already open.
    void open();
    // Stops and resets the device, releases the buffers and closes the device.
    void close();
    bool IsOpen() const { return FOpen; }
    bool IsCapturing() const { return FCapturing; }

    // Asks the device that `device` selects now, open or not.
    TSVInCaps GetCaps() const;
    // The capabilities cannot be written; the value is ignored.
    void SetCaps(TSVInCaps) {}

    TSVInCaps capabilities() const { return GetCaps(); }
    const std::string& FileName() const { return FFileName; }
    std::int32_t channels() const { return FChannels; }
    std::int32_t samples() const { return FSamples; }
    std::int32_t SampleBits() const { return FBits; }
    TSVIBuffers MaxBuffers() const { return FMaxBuffers; }
    TSVIBufferSize BufferSize() const { return FBufferSize; }
    TSVDev device() const { return FDevice; }
    // The handle of the last device opened; null before the first open.
    HWAVEIN DeviceID() const { return FDeviceID; }

    // Ignored while the device is open; takes effect at the next open notification.
    void SetFileName(const std::string& value);
    void SetChannels(std::int32_t value);
    void SetSamples(std::int32_t value);
    void SetBits(std::int32_t value);
    // Values outside 1..9 are clamped into that range.
    void SetMaxBuffers(TSVIBuffers value);
    // Values below 16 are raised to 16.
    void SetInBuffSize(TSVIBufferSize value);
    void SetWantedDev(TSVDev value);
    void SetOnOpen(TNotifyEvent handler) { OnOpen = std::move(handler); }
    void SetOnData(TSVDataEvent handler) { OnData = std::move(handler); }
    void SetOnClose(TNotifyEvent handler) { OnClose = std::move(handler); }
    void SetOnDeviceChange(TNotifyEvent handler) { OnDeviceChange = std::move(handler); }

    // Completes and closes the recording file; nothing when none is open.
    void CloseWAVFile();

    // Why the last recording file could not be created, or stopped growing
    // before the recording ended: the system's error number (0 when nothing
    // failed) and its text. Not properties: never stored in forms.
    int FileError() const { return FWaveFile.Error(); }
    std::string FileErrorText() const;

    // The gaps in the sound since the last open (kept after the close):
    // frames the device dropped, and those lost because no buffer was
    // queued in time. Not a property: never stored in forms.
    TSVGaps Gaps() const { return FOpen ? GapsOfDevice(FDeviceID) : FGaps; }

    // Handles the device's notifications and device changes (OnDeviceChange);
    // any other message goes to DefWindowProcA.
    void WndProc(TMessage& Message);

    TNotifyEvent OnOpen;
    TSVDataEvent OnData;
    TNotifyEvent OnClose;
    // A device came or went, or a default moved: the list is worth asking again.
    TNotifyEvent OnDeviceChange;

  private:
    // One capture buffer and its header. The device keeps the header's
    // address while the buffer is queued.
    struct Slot {
        enum class Use : std::uint8_t {
            free,
            // allocated and prepared for the device; goes back after each delivery
            circulating,
            // taken out of circulation by close, but the device would not give
            // it back: freed once it does, or once the device is closed
            retired,
        };
        // The record is byte-packed; its pointer fields are kept at their
        // natural alignment all the same.
        alignas(alignof(void*)) WAVEHDR header{};
        std::unique_ptr<char[]> buffer;
        Use use = Use::free;
    };
    using Slots = std::array<Slot, SlotCount>;

    // How often destruction tries to get the buffers back from a device that
    // refuses to reset or close.
    static constexpr int CloseAttemptsOnDestruction = 3;

    // close without the thread check: destruction must close whatever happens.
    void CloseDevice();
    // Whether a notification comes from the device opened now.
    bool FromCurrentDevice(const TMessage& message) const;
    // The slot in use that holds this header; null for any other header.
    Slot* SlotInUse(const WAVEHDR* header);
    bool AnySlot(Slot::Use use) const;
    void QueueBuffers();
    void HandleData(Slot& slot);
    void HandBack(Slot& slot, HWAVEIN device);
    // Unprepares every slot in use, last first, and frees those the device
    // gave back; the others are retired.
    void ReleaseBuffers();
    // Unprepares one slot and frees its buffer; retires it when the device
    // may still hold it.
    void ReleaseBuffer(Slot& slot);
    static void FreeSlot(Slot& slot);
    void OpenWAVFile();

    // The handle as an integer, for the property table.
    std::intptr_t DeviceIDValue() const { return reinterpret_cast<std::intptr_t>(FDeviceID); }

    HWND FHandle = nullptr;
    std::int32_t FChannels = 1;
    std::int32_t FSamples = 8000;
    std::int32_t FBits = 8;
    TSVIBuffers FMaxBuffers = 2;
    TSVIBufferSize FBufferSize = 2048;
    TSVDev FDevice = wvMapper;
    bool FOpen = false;
    bool FCapturing = false;
    HWAVEIN FDeviceID = nullptr;
    TSVGaps FGaps;  // of the last device, as it closed
    // The format the device opened last records in.
    WAVEFORMATEX FRecordFormat = MakePcmFormat(1, 8000, 8);
    std::string FFileName;
    // Apart from the component, so that a device that never gives a buffer
    // back can keep the slots it holds after the component is gone.
    std::unique_ptr<Slots> FSlots = std::make_unique<Slots>();
    WavFile FWaveFile;
    // Expires with the component: code that called a handler returns at once
    // when the handler destroyed the component.
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};
