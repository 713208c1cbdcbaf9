#include "components/SorvanOut.h"

#include <string>
#include <vector>

#include "components/DeviceChange.h"
#include "components/LeftToDevice.h"

TSorvanOut::TSorvanOut(TComponent* AOwner) : TComponent(AOwner) {
    FHandle = AllocateHWnd(TWndMethod(this, &TSorvanOut::WndProc));
}

TSorvanOut::~TSorvanOut() {
    CloseDevice();
    // A refused reset or close may be passing: a device left open is never
    // closed by anyone else. One that keeps refusing keeps its blocks (below).
    for (int retry = 1; retry < CloseAttemptsOnDestruction && FOpen; ++retry) CloseDevice();
    // Blocks handed over while the device was closed were never written, and
    // close drains the queue only while the device is open.
    DrainQueue();
    // A closed device holds nothing, so what is left can go. A device that
    // would not close may still read the blocks it holds: they are left to
    // it, a bounded leak, rather than freed under its feet.
    PlaybackQueue::Position at = FQueue.First();
    while (at.entry != nullptr) {
        WAVEHDR* const header = at.entry;
        if (FOpen && BlockOf(header).holder != nullptr) {
            LeaveToDevice(&BlockOf(header));
            at = PlaybackQueue::Next(at);
            continue;
        }
        at = FQueue.Unlink(at);
        FreePlaybackBlock(header);
    }
    DeallocateHWnd(FHandle);
}

const TClassInfo& TSorvanOut::StaticClass() {
    using C = TSorvanOut;
    static const TClassInfo info{
        .Name = "TSorvanOut",
        .Parent = &TComponent::StaticClass(),
        .Create = [](TComponent* owner) -> TComponent* { return new TSorvanOut(owner); },
        .Properties =
            {
                typinfo::UnstoredSetProperty(
                    "capabilities",
                    std::vector<std::string>(std::begin(TSVOutCapNames), std::end(TSVOutCapNames)),
                    &C::capabilities, &C::SetCaps),
                typinfo::IntegerProperty("volume", &C::volume, &C::SetVolume, std::nullopt, false),
                typinfo::IntegerProperty("channels", &C::channels, &C::SetChannels, 1),
                typinfo::IntegerProperty("samples", &C::samples, &C::SetSamples, 8000),
                typinfo::IntegerProperty("SampleBits", &C::SampleBits, &C::SetBits, 8),
                typinfo::EnumProperty(
                    "device",
                    std::vector<std::string>(std::begin(TSVDevNames), std::end(TSVDevNames)),
                    &C::device, &C::SetWantedDev, wvMapper),
                typinfo::ReadOnlyIntegerProperty("DeviceID", &C::DeviceIDValue),
                typinfo::EventProperty("OnOpen", &C::OnOpen),
                typinfo::EventProperty("OnDone", &C::OnDone),
                typinfo::EventProperty("OnClose", &C::OnClose),
                typinfo::EventProperty("OnDeviceChange", &C::OnDeviceChange),
            },
    };
    return info;
}

bool TSorvanOut::open() {
    // A second device would take over DeviceID while the first still plays
    // the queued blocks and nobody would ever close it: an open device is
    // left as it is.
    if (!OnOwnerThread()) return RefuseOffThread();
    if (FOpen) return true;
    ForgetLastError();
    FGaps = {};
    const WAVEFORMATEX format = MakePcmFormat(FChannels, FSamples, FSampleBits);
    FOpen =
        waveOutOpen(&FDeviceID, WaveDeviceId(FDevice), &format,
                    reinterpret_cast<DWORD_PTR>(FHandle), 0, CALLBACK_WINDOW) == MMSYSERR_NOERROR;
    return FOpen;
}

bool TSorvanOut::playback(const void* data, std::int32_t size) {
    if (!OnOwnerThread()) return RefuseOffThread();
    if (size < 0 || (data == nullptr && size > 0)) return false;
    WAVEHDR* const header = NewPlaybackBlock(data, size);
    // Linked before the device sees it, and kept whatever the device says:
    // a block that never reaches the device is freed by close or destruction.
    FQueue.Append(header);
    waveOutPrepareHeader(FDeviceID, header, WaveHeaderSize);
    if (waveOutWrite(FDeviceID, header, WaveHeaderSize) == MMSYSERR_NOERROR) {
        BlockOf(header).holder = FDeviceID;
    }
    FPlaying = !FQueue.Empty();
    return FPlaying;
}

void TSorvanOut::reset() {
    if (!OnOwnerThread()) {
        RefuseOffThread();
        return;
    }
    if (!FPlaying) return;
    StopDevice();
    FPlaying = false;
}

void TSorvanOut::close() {
    if (!OnOwnerThread()) {
        RefuseOffThread();
        return;
    }
    CloseDevice();
}

void TSorvanOut::CloseDevice() {
    // After a refused reset the device may still be playing what it was
    // given, though FPlaying is off: it is asked again.
    if (FPlaying || FResetRefused) StopDevice();
    FPlaying = false;
    if (!FOpen) return;
    DrainQueue();
    FPlaying = !FQueue.Empty();
    FGaps = GapsOfDevice(FDeviceID);
    FOpen = waveOutClose(FDeviceID) != MMSYSERR_NOERROR;
    if (!FOpen) FResetRefused = false;
}

void TSorvanOut::StopDevice() {
    FResetRefused = waveOutReset(FDeviceID) != MMSYSERR_NOERROR;
}

void TSorvanOut::RemoveBuffer(WAVEHDR* header, HWAVEOUT sender) {
    if (header != nullptr) {
        PlaybackQueue::Position at = FQueue.Find(header);
        // Only the device that holds a block can give it back.
        if (at.entry != nullptr && BlockOf(header).holder == sender) {
            BlockOf(header).holder = nullptr;
            ReleaseBlock(at);
        }
    }
    FPlaying = !FQueue.Empty();
}

void TSorvanOut::ReleaseBlock(PlaybackQueue::Position& at) {
    WAVEHDR* const header = at.entry;
    const HWAVEOUT holder = BlockOf(header).holder;
    const bool unprepared =
        waveOutUnprepareHeader(FDeviceID, header, WaveHeaderSize) == MMSYSERR_NOERROR;
    if (!unprepared && holder != nullptr) {
        // Whatever the code, the device may still read the block.
        at = PlaybackQueue::Next(at);
        return;
    }
    // Unprepared while held: the device has given it back and its
    // notification, not handled yet, will arrive after the block is gone.
    if (holder != nullptr) FLateDones.Expect(holder, header);
    at = FQueue.Unlink(at);
    FreePlaybackBlock(header);
}

void TSorvanOut::DrainQueue() {
    PlaybackQueue::Position at = FQueue.First();
    while (at.entry != nullptr) ReleaseBlock(at);
}

void TSorvanOut::WndProc(TMessage& Message) {
    const auto sender = reinterpret_cast<HWAVEOUT>(Message.WParam);
    switch (Message.Msg) {
        case MM_WOM_OPEN:
            if (OnOpen) OnOpen(this);
            break;
        case MM_WOM_DONE: {
            auto* const header = reinterpret_cast<WAVEHDR*>(Message.LParam);
            // A notification for a block that close freed must not take a
            // newer block that was given the same address.
            if (FLateDones.Consume(sender, header)) {
                FPlaying = !FQueue.Empty();
            } else {
                RemoveBuffer(header, sender);
            }
            if (OnDone) OnDone(this);
            break;
        }
        case MM_WOM_CLOSE:
            FLateDones.Forget(sender);
            if (OnClose) OnClose(this);
            break;
        case WM_DEVICECHANGE:
            NotifyDeviceChange(this, OnDeviceChange, Message);
            break;
        default:
            Message.Result = DefWindowProcA(FHandle, Message.Msg, Message.WParam, Message.LParam);
            break;
    }
}

UINT_PTR TSorvanOut::DeviceNumber() const {
    return WaveDeviceId(FDevice);
}

TSVOutCaps TSorvanOut::GetCaps() const {
    if (!OnOwnerThread()) {
        RefuseOffThread();
        return {};
    }
    WAVEOUTCAPSA caps{};
    if (waveOutGetDevCapsA(DeviceNumber(), &caps, sizeof caps) != MMSYSERR_NOERROR) return {};
    TSVOutCaps result;
    if (caps.wChannels == 2) result.Include(ocStereo);
    const struct {
        DWORD bit;
        TSVOutCap member;
    } supports[] = {
        {WAVECAPS_LRVOLUME, ocLRVolume},
        {WAVECAPS_PITCH, ocPitch},
        {WAVECAPS_PLAYBACKRATE, ocPlaybackRate},
        {WAVECAPS_SYNC, ocSync},
        {WAVECAPS_VOLUME, ocVolume},
        {WAVECAPS_SAMPLEACCURATE, ocSampleAccurate},
    };
    for (const auto& support : supports) {
        if ((caps.dwSupport & support.bit) != 0) result.Include(support.member);
    }
    return result;
}

void TSorvanOut::SetCaps(TSVOutCaps) {}

WORD TSorvanOut::GetVolume() const {
    if (!OnOwnerThread()) {
        RefuseOffThread();
        return 0;
    }
    DWORD packed = 0;
    if (waveOutGetVolume(reinterpret_cast<HWAVEOUT>(DeviceNumber()), &packed) != MMSYSERR_NOERROR) {
        return 0;
    }
    return static_cast<WORD>(packed & 0xFFFF);
}

void TSorvanOut::SetVolume(WORD value) {
    if (!OnOwnerThread()) {
        RefuseOffThread();
        return;
    }
    const DWORD packed = (DWORD{value} << 16) | value;
    waveOutSetVolume(reinterpret_cast<HWAVEOUT>(DeviceNumber()), packed);
}

void TSorvanOut::SetChannels(std::int32_t value) {
    if (OnOwnerThread() || RefuseOffThread()) FChannels = value;
}

void TSorvanOut::SetSamples(std::int32_t value) {
    if (OnOwnerThread() || RefuseOffThread()) FSamples = value;
}

void TSorvanOut::SetBits(std::int32_t value) {
    if (OnOwnerThread() || RefuseOffThread()) FSampleBits = value;
}

void TSorvanOut::SetWantedDev(TSVDev value) {
    if (OnOwnerThread() || RefuseOffThread()) FDevice = value;
}
