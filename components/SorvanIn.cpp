#include "components/SorvanIn.h"

#include <algorithm>
#include <limits>
#include <new>

TSorvanIn::TSorvanIn(TComponent* AOwner) : TComponent(AOwner) {
    FHandle = AllocateHWnd(TWndMethod(this, &TSorvanIn::WndProc));
}

TSorvanIn::~TSorvanIn() {
    close();
    CloseWAVFile();
    DeallocateHWnd(FHandle);
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
            }};
    }();
    return info;
}

void TSorvanIn::open() {
    // A second device would take over DeviceID while the first still holds
    // the slots, so an open device is left as it is.
    if (FOpen) return;
    ForgetLastError();
    const WAVEFORMATEX format = MakePcmFormat(FChannels, FSamples, FBits);
    const auto number = static_cast<UINT>(DeviceIndex(FDevice));
    FOpen = waveInOpen(&FDeviceID, number, &format, reinterpret_cast<DWORD_PTR>(FHandle), 0,
                       CALLBACK_WINDOW) == MMSYSERR_NOERROR;
    // After a failed open DeviceID still holds the last, closed handle, which
    // the system may since have given to another device: it is not started.
    FCapturing = FOpen && waveInStart(FDeviceID) == MMSYSERR_NOERROR;
}

void TSorvanIn::close() {
    if (FCapturing) {
        FCapturing = waveInStop(FDeviceID) != MMSYSERR_NOERROR;
        waveInReset(FDeviceID);
    } else if (FOpen && FCount > 0) {
        // Recording never started, yet the device holds the buffers queued on
        // the open notification: get them back before their memory goes.
        waveInReset(FDeviceID);
    }
    if (FOpen) {
        ReleaseBuffers();
        FOpen = waveInClose(FDeviceID) != MMSYSERR_NOERROR;
    }
}

TSVInCaps TSorvanIn::GetCaps() const {
    WAVEINCAPSA caps{};
    // Through UINT, so that the mapper is (UINT)-1 and not a full-width -1.
    const auto number = static_cast<UINT>(DeviceIndex(FDevice));
    if (waveInGetDevCapsA(number, &caps, sizeof caps) == MMSYSERR_NOERROR && caps.wChannels == 2) {
        return {icStereo};
    }
    return {};
}

void TSorvanIn::SetFileName(const std::string& value) {
    if (!FOpen) FFileName = value;
}

void TSorvanIn::SetChannels(std::int32_t value) {
    FChannels = value;
}

void TSorvanIn::SetSamples(std::int32_t value) {
    FSamples = value;
}

void TSorvanIn::SetBits(std::int32_t value) {
    FBits = value;
}

void TSorvanIn::SetMaxBuffers(TSVIBuffers value) {
    FMaxBuffers = std::clamp(value, MinBuffers, SlotCount);
}

void TSorvanIn::SetInBuffSize(TSVIBufferSize value) {
    FBufferSize = std::max(value, MinBufferSize);
}

void TSorvanIn::SetWantedDev(TSVDev value) {
    FDevice = value;
}

void TSorvanIn::CloseWAVFile() {
    FWaveFile.Complete();
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
            auto* header = reinterpret_cast<WAVEHDR*>(Message.LParam);
            if (FromCurrentDevice(Message) && SlotInUse(header) >= 0) HandleData(*header);
            break;
        }
        case MM_WIM_CLOSE:
            CloseWAVFile();
            if (OnClose) OnClose(this);
            break;
        default:
            Message.Result = DefWindowProcA(FHandle, Message.Msg, Message.WParam, Message.LParam);
    }
}

bool TSorvanIn::FromCurrentDevice(const TMessage& message) const {
    return FOpen && message.WParam == reinterpret_cast<WPARAM>(FDeviceID);
}

int TSorvanIn::SlotInUse(const WAVEHDR* header) const {
    for (int slot = 0; slot < FCount; ++slot) {
        if (header == &FHeaders[slot]) return slot;
    }
    return -1;
}

void TSorvanIn::QueueBuffers() {
    FCount = 0;
    while (FCount < FMaxBuffers) {
        const auto slot = static_cast<std::size_t>(FCount);
        // A refused allocation ends the queueing like a refused prepare.
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[FBufferSize]);
        if (!buffer) return;
        WAVEHDR& header = FHeaders[slot];
        header.lpData = buffer.get();
        header.dwBufferLength = static_cast<DWORD>(FBufferSize);
        header.dwFlags = 0;
        header.lpNext = nullptr;
        header.reserved = 0;
        if (waveInPrepareHeader(FDeviceID, &header, WaveHeaderSize) != MMSYSERR_NOERROR) {
            header.lpData = nullptr;
            return;
        }
        FBuffers[slot] = std::move(buffer);
        ++FCount;
        if (waveInAddBuffer(FDeviceID, &header, WaveHeaderSize) != MMSYSERR_NOERROR) return;
    }
}

void TSorvanIn::HandleData(WAVEHDR& header) {
    const HWAVEIN device = FDeviceID;
    const DWORD recorded = std::min(header.dwBytesRecorded, header.dwBufferLength);
    if (recorded != 0) {
        FWaveFile.Append({header.lpData, recorded});
        try {
            if (OnData) OnData(this, header.lpData, static_cast<std::int32_t>(recorded));
        } catch (...) {
            // A handler that throws must not take the buffer out of circulation.
            HandBack(header, device);
            throw;
        }
    }
    HandBack(header, device);
}

void TSorvanIn::HandBack(WAVEHDR& header, HWAVEIN device) {
    // The handler may have closed the device, and perhaps opened another:
    // only a slot still in use on the same device goes back.
    if (!FOpen || FDeviceID != device || SlotInUse(&header) < 0) return;
    if (waveInPrepareHeader(FDeviceID, &header, WaveHeaderSize) == MMSYSERR_NOERROR) {
        waveInAddBuffer(FDeviceID, &header, WaveHeaderSize);
    }
}

void TSorvanIn::ReleaseBuffers() {
    for (; FCount > 0; --FCount) {
        const auto slot = static_cast<std::size_t>(FCount - 1);
        waveInUnprepareHeader(FDeviceID, &FHeaders[slot], WaveHeaderSize);
        FBuffers[slot].reset();
        FHeaders[slot].lpData = nullptr;
    }
}

void TSorvanIn::OpenWAVFile() {
    if (FWaveFile.IsOpen()) return;
    FWaveFile.Create(FFileName, FChannels, FSamples, FBits);
}
