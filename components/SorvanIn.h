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
#include "components/WaveCalls.h"
#include "components/WavFile.h"
#include "framework/Classes.h"
#include "framework/Events.h"
#include "framework/Messages.h"
#include "framework/Sets.h"
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
class TSorvanIn : public TComponent, public WaveInCalls {
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

    // Completes and closes the recording file; nothing when none is open.
    void CloseWAVFile();

    // Handles the device's notifications; any other message goes to DefWindowProcA.
    void WndProc(TMessage& Message);

    TNotifyEvent OnOpen;
    TSVDataEvent OnData;
    TNotifyEvent OnClose;

  private:
    // Whether a notification comes from the device opened now.
    bool FromCurrentDevice(const TMessage& message) const;
    // The slot in use that holds this header; -1 for any other header.
    int SlotInUse(const WAVEHDR* header) const;
    void QueueBuffers();
    void HandleData(WAVEHDR& header);
    void HandBack(WAVEHDR& header, HWAVEIN device);
    void ReleaseBuffers();
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
    std::string FFileName;
    // Slots 0..FCount-1 hold a prepared buffer owned by FBuffers.
    std::int32_t FCount = 0;
    // The device keeps these addresses while a slot is queued, so the
    // component is never copied or moved. The record is byte-packed; its
    // pointer fields are kept at their natural alignment all the same.
    alignas(alignof(void*)) std::array<WAVEHDR, SlotCount> FHeaders{};
    std::array<std::unique_ptr<char[]>, SlotCount> FBuffers;
    WavFile FWaveFile;
};
