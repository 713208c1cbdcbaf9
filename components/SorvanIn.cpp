#include "components/SorvanIn.h"

#include <algorithm>
#include <limits>
#include <new>
#include <system_error>

#include "components/DeviceChange.h"
#include "components/LeftToDevice.h"

TSorvanIn::TSorvanIn(TComponent* AOwner) : TComponent(AOwner) {
    FHandle = AllocateHWnd(TWndMethod(this, &TSorvanIn::WndProc));
}

TSorvanIn::~TSorvanIn() {
    CloseDevice();
    // A refused reset or close may be passing: a device left open is never
    // closed by anyone else.
    for (int retry = 1; retry < CloseAttemptsOnDestruction && FOpen; ++retry) CloseDevice();
    FWaveFile.Complete();
    DeallocateHWnd(FHandle);
    // A device that would neither reset nor close may still write into the
    // buffers it holds, through headers in the slots: they are left to it, a
    // bounded leak, rather than freed under its feet.
    if (AnySlot(Slot::Use::retired)) LeaveToDevice(FSlots.release());
}

const TClassInfo& TSorvanIn::StaticClass() {
    static const TClassInfo info = [] {
        using namespace typinfo;
        // Forms may hold any integer: it is clamped before it reaches the
        // setter's narrower type.
        TPropInfo maxBuffers =
            IntegerProperty("MaxBuffers", &TSorvanIn::MaxBuffers, &TSorvanIn::SetMaxBuffers, 2);
        maxBuffers.SetOrd = [](TObject& o, std::int64_t v) {
            const auto clamped = std::clamp<std::int64_t>(v, MinBuffers, SlotCount);
            static_cast<TSorvanIn&>(o).SetMaxBuffers(static_cast<TSVIBuffers>(clamped));
        };
        TPropInfo bufferSize =
            IntegerProperty("BufferSize", &TSorvanIn::BufferSize, &TSorvanIn::SetInBuffSize, 2048);
        bufferSize.SetOrd = [](TObject& o, std::int64_t v) {
            const auto clamped = std::clamp<std::int64_t>(
                v, MinBufferSize, std::numeric_limits<TSVIBufferSize>::max());
            static_cast<TSorvanIn&>(o).SetInBuffSize(static_cast<TSVIBufferSize>(clamped));
        };

        return TClassInfo{
            .Name = "TSorvanIn",
            .Parent = &TComponent::StaticClass(),
            .Create = [](TComponent* owner) -> TComponent* { return new TSorvanIn(owner); },
            .Properties = {
                UnstoredSetProperty("capabilities", {"icStereo"}, &TSorvanIn::capabilities,
                                    &TSorvanIn::SetCaps),
                StringProperty("FileName", &TSorvanIn::FileName, &TSorvanIn::SetFileName),
                IntegerProperty("channels", &TSorvanIn::channels, &TSorvanIn::SetChannels, 1),
                IntegerProperty("samples", &TSorvanIn::samples, &TSorvanIn::SetSamples, 8000),
                IntegerProperty("SampleBits", &TSorvanIn::SampleBits, &TSorvanIn::SetBits, 8),
                std::move(maxBuffers),
                std::move(bufferSize),
                EnumProperty("device", {std::begin(TSVDevNames), std::end(TSVDevNames)},
                             &TSorvanIn::device, &TSorvanIn::SetWantedDev, wvMapper),
                ReadOnlyIntegerProperty("DeviceID", &TSorvanIn::DeviceIDValue),
                EventProperty("OnOpen", &TSorvanIn::OnOpen),
                EventProperty("OnData", &TSorvanIn::OnData),
                EventProperty("OnClose", &TSorvanIn::OnClose),
                EventProperty("OnDeviceChange", &TSorvanIn::OnDeviceChange),
            }};
    }();
    return info;
}

void TSorvanIn::open() {
    if (!OnOwnerThread()) {
        RefuseOffThread();
        return;
    }
    // A second device would take over DeviceID while the first still holds
    // the slots, so an open device is left as it is.
    if (FOpen) return;
    ForgetLastError();
    FGaps = {};
    const WAVEFORMATEX format = MakePcmFormat(FChannels, FSamples, FBits);
    FOpen = waveInOpen(&FDeviceID, WaveDeviceId(FDevice), &format, reinterpret_cast<DWORD_PTR>(FHandle), 0,
                       CALLBACK_WINDOW) == MMSYSERR_NOERROR;
    if (FOpen) FRecordFormat = format;
    // After a failed open DeviceID still holds the last, closed handle, which
    // the system may since have given to another device: it is not started.
    FCapturing = FOpen && waveInStart(FDeviceID) == MMSYSERR_NOERROR;
}

void TSorvanIn::close() {
    if (!OnOwnerThread()) {
        RefuseOffThread();
        return;
    }
    CloseDevice();
}

void TSorvanIn::CloseDevice() {
    if (FCapturing) {
        FCapturing = waveInStop(FDeviceID) != MMSYSERR_NOERROR;
        waveInReset(FDeviceID);
    } else if (FOpen && (AnySlot(Slot::Use::circulating) || AnySlot(Slot::Use::retired))) {
        // Recording never started, or an earlier reset was refused, and the
        // device may hold buffers: get them back before their memory goes.
        waveInReset(FDeviceID);
    }
    if (FOpen) {
        ReleaseBuffers();
        FGaps = GapsOfDevice(FDeviceID);
        FOpen = waveInClose(FDeviceID) != MMSYSERR_NOERROR;
        // A closed device holds nothing any more.
        if (!FOpen) {
            for (Slot& slot : *FSlots) FreeSlot(slot);
        }
    }
}

TSVInCaps TSorvanIn::GetCaps() const {
    if (!OnOwnerThread()) {
        RefuseOffThread();
        return {};
    }
    WAVEINCAPSA caps{};
    if (waveInGetDevCapsA(WaveDeviceId(FDevice), &caps, sizeof caps) == MMSYSERR_NOERROR && caps.wChannels == 2) {
        return {icStereo};
    }
    return {};
}

void TSorvanIn::SetFileName(const std::string& value) {
    if (!OnOwnerThread()) {
        RefuseOffThread();
    } else if (!FOpen) {
        FFileName = value;
    }
}

void TSorvanIn::SetChannels(std::int32_t value) {
    if (OnOwnerThread() || RefuseOffThread()) FChannels = value;
}

void TSorvanIn::SetSamples(std::int32_t value) {
    if (OnOwnerThread() || RefuseOffThread()) FSamples = value;
}

void TSorvanIn::SetBits(std::int32_t value) {
    if (OnOwnerThread() || RefuseOffThread()) FBits = value;
}

void TSorvanIn::SetMaxBuffers(TSVIBuffers value) {
    if (OnOwnerThread() || RefuseOffThread())
        FMaxBuffers = std::clamp(value, MinBuffers, SlotCount);
}

void TSorvanIn::SetInBuffSize(TSVIBufferSize value) {
    if (OnOwnerThread() || RefuseOffThread()) FBufferSize = std::max(value, MinBufferSize);
}

void TSorvanIn::SetWantedDev(TSVDev value) {
    if (OnOwnerThread() || RefuseOffThread()) FDevice = value;
}

void TSorvanIn::CloseWAVFile() {
    if (OnOwnerThread() || RefuseOffThread()) FWaveFile.Complete();
}

std::string TSorvanIn::FileErrorText() const {
    return FileError() == 0 ? std::string() : std::generic_category().message(FileError());
}

void TSorvanIn::WndProc(TMessage& Message) {
    switch (Message.Msg) {
        case MM_WIM_OPEN:
            // An open notification that follows a close belongs to a device
            // that no longer holds anything: nothing is queued to it.
            if (FromCurrentDevice(Message)) QueueBuffers();
            if (!FFileName.empty()) OpenWAVFile();
            if (OnOpen) OnOpen(this);
            break;
        case MM_WIM_DATA: {
            // Buffers returned by the stop and reset of a close, or by a
            // device closed since, are no longer ours to touch.
            Slot* slot = FromCurrentDevice(Message)
                             ? SlotInUse(reinterpret_cast<WAVEHDR*>(Message.LParam))
                             : nullptr;
            if (slot == nullptr) break;
            if (slot->use == Slot::Use::retired) {
                // Given back at last after a close that could not get it:
                // its bytes come after the close and are dropped.
                ReleaseBuffer(*slot);
            } else {
                HandleData(*slot);
            }
            break;
        }
        case MM_WIM_CLOSE:
            FWaveFile.Complete();
            if (OnClose) OnClose(this);
            break;
        case WM_DEVICECHANGE:
            NotifyDeviceChange(this, OnDeviceChange, Message);
            break;
        default:
            Message.Result = DefWindowProcA(FHandle, Message.Msg, Message.WParam, Message.LParam);
    }
}

bool TSorvanIn::FromCurrentDevice(const TMessage& message) const {
    return FOpen && message.WParam == reinterpret_cast<WPARAM>(FDeviceID);
}

TSorvanIn::Slot* TSorvanIn::SlotInUse(const WAVEHDR* header) {
    for (Slot& slot : *FSlots) {
        if (header == &slot.header) return slot.use == Slot::Use::free ? nullptr : &slot;
    }
    return nullptr;
}

bool TSorvanIn::AnySlot(Slot::Use use) const {
    return std::any_of(FSlots->begin(), FSlots->end(),
                       [use](const Slot& slot) { return slot.use == use; });
}

namespace {

// The whole frames of BufferSize, so that OnData never gets more than
// BufferSize bytes; at least one frame: a buffer with room for less than one
// frame would come back empty at once, for ever.
DWORD CaptureBufferLength(TSVIBufferSize bufferSize, DWORD frameSize) {
    const DWORD frames = static_cast<DWORD>(bufferSize) / frameSize;
    return std::max<DWORD>(frames, 1) * frameSize;
}

}  // namespace

void TSorvanIn::QueueBuffers() {
    const DWORD length =
        CaptureBufferLength(FBufferSize, std::max<DWORD>(FRecordFormat.nBlockAlign, 1));
    for (std::size_t queued = 0; queued < FMaxBuffers; ++queued) {
        Slot& slot = (*FSlots)[queued];
        // A refused allocation ends the queueing like a refused prepare.
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[length]);
        if (!buffer) return;
        WAVEHDR& header = slot.header;
        header.lpData = buffer.get();
        header.dwBufferLength = length;
        header.dwFlags = 0;
        header.lpNext = nullptr;
        header.reserved = 0;
        if (waveInPrepareHeader(FDeviceID, &header, WaveHeaderSize) != MMSYSERR_NOERROR) {
            header.lpData = nullptr;
            return;
        }
        slot.buffer = std::move(buffer);
        slot.use = Slot::Use::circulating;
        if (waveInAddBuffer(FDeviceID, &header, WaveHeaderSize) != MMSYSERR_NOERROR) return;
    }
}

void TSorvanIn::HandleData(Slot& slot) {
    const HWAVEIN device = FDeviceID;
    const std::weak_ptr<bool> alive = FAlive;
    WAVEHDR& header = slot.header;
    const DWORD recorded = std::min(header.dwBytesRecorded, header.dwBufferLength);
    if (recorded != 0) {
        FWaveFile.Append({header.lpData, recorded});
        try {
            if (OnData) OnData(this, header.lpData, static_cast<std::int32_t>(recorded));
        } catch (...) {
            // A handler that throws must not take the buffer out of circulation.
            if (!alive.expired()) HandBack(slot, device);
            throw;
        }
        if (alive.expired()) return;
    }
    HandBack(slot, device);
}

void TSorvanIn::HandBack(Slot& slot, HWAVEIN device) {
    // The handler may have closed the device, and perhaps opened another:
    // only a slot still circulating on the same device goes back.
    if (!FOpen || FDeviceID != device || slot.use != Slot::Use::circulating) return;
    if (waveInPrepareHeader(FDeviceID, &slot.header, WaveHeaderSize) == MMSYSERR_NOERROR) {
        waveInAddBuffer(FDeviceID, &slot.header, WaveHeaderSize);
    }
}

void TSorvanIn::ReleaseBuffers() {
    for (auto slot = FSlots->rbegin(); slot != FSlots->rend(); ++slot) {
        if (slot->use != Slot::Use::free) ReleaseBuffer(*slot);
    }
}

void TSorvanIn::ReleaseBuffer(Slot& slot) {
    // Whatever the code, a buffer that would not unprepare may still be
    // queued: the device could write into it.
    if (waveInUnprepareHeader(FDeviceID, &slot.header, WaveHeaderSize) == MMSYSERR_NOERROR) {
        FreeSlot(slot);
    } else {
        slot.use = Slot::Use::retired;
    }
}

void TSorvanIn::FreeSlot(Slot& slot) {
    slot.buffer.reset();
    slot.header.lpData = nullptr;
    slot.use = Slot::Use::free;
}

void TSorvanIn::OpenWAVFile() {
    if (FWaveFile.IsOpen()) return;
    // The format the device records in: properties changed since open
    // would describe bytes the file does not hold.
    FWaveFile.Create(FFileName, FRecordFormat.nChannels,
                     static_cast<std::int32_t>(FRecordFormat.nSamplesPerSec),
                     FRecordFormat.wBitsPerSample);
}
