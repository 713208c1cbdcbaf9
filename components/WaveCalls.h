// The waveform calls of the two components, under the system's names, each
// passed on to the system's function; the result of the last one that failed
// is kept, with the driver's reason where the platform gives one, so that an
// application can ask a component why it is not open, not capturing or not
// playing.
//
// TSorvanIn derives from WaveInCalls and TSorvanOut from WaveOutCalls: inside
// their members a call such as waveInStart(FDeviceID) finds these first, so
// the components' code reads as plain calls of the API.
#pragma once

#include <atomic>
#include <string>

#include "platform/WaveApi.h"

class WaveFailureRecord {
  public:
    // The code of the most recent failed call since the last
    // ForgetLastError; MMSYSERR_NOERROR when none failed.
    // MMSYSERR_HANDLEBUSY after a method was refused because it was called
    // on a thread that does not own the component.
    MMRESULT LastError() const { return lastError_.load(std::memory_order_relaxed); }

  protected:
    // A new attempt starts with a clean record.
    void ForgetLastError() const {
        lastError_.store(MMSYSERR_NOERROR, std::memory_order_relaxed);
        lastReason_.clear();
    }
    MMRESULT Keep(MMRESULT result) const {
        if (result != MMSYSERR_NOERROR) {
            lastReason_ = DriverReason();
            reasonFor_ = result;
            lastError_.store(result, std::memory_order_relaxed);
        }
        return result;
    }
    // A method called on a thread that does not own the component does
    // nothing but keep the reason; the result is false.
    bool RefuseOffThread() const {
        lastError_.store(MMSYSERR_HANDLEBUSY, std::memory_order_relaxed);
        return false;
    }
    // The system's text for the code, then the driver's reason as a sentence.
    std::string Described(const char* systemText) const;

  private:
    // Why the call just made on this thread failed, in the driver's words;
    // empty where the platform says no more than the code (Windows).
    static std::string DriverReason();

    // Queries such as GetCaps are const and still record their failures.
    // Atomic: a refused call from another thread records its reason too.
    mutable std::atomic<MMRESULT> lastError_ = MMSYSERR_NOERROR;
    // The driver's reason, and the code it came with: a refusal has none.
    mutable std::string lastReason_;
    mutable MMRESULT reasonFor_ = MMSYSERR_NOERROR;
};

class WaveInCalls : public WaveFailureRecord {
  public:
    // The system's text for LastError (waveInGetErrorTextA), and the
    // driver's reason after it: "... out of range for your system. ALSA's
    // \"default\" cannot be opened (Host is down)."
    std::string LastErrorText() const;

  protected:
    MMRESULT waveInGetDevCapsA(UINT_PTR id, WAVEINCAPSA* caps, UINT size) const {
        return Keep(::waveInGetDevCapsA(id, caps, size));
    }
    MMRESULT waveInOpen(HWAVEIN* handle, UINT id, const WAVEFORMATEX* format, DWORD_PTR callback,
                        DWORD_PTR instance, DWORD flags) const {
        return Keep(::waveInOpen(handle, id, format, callback, instance, flags));
    }
    MMRESULT waveInClose(HWAVEIN handle) const { return Keep(::waveInClose(handle)); }
    MMRESULT waveInPrepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) const {
        return Keep(::waveInPrepareHeader(handle, header, size));
    }
    MMRESULT waveInUnprepareHeader(HWAVEIN handle, WAVEHDR* header, UINT size) const {
        return Keep(::waveInUnprepareHeader(handle, header, size));
    }
    MMRESULT waveInAddBuffer(HWAVEIN handle, WAVEHDR* header, UINT size) const {
        return Keep(::waveInAddBuffer(handle, header, size));
    }
    MMRESULT waveInStart(HWAVEIN handle) const { return Keep(::waveInStart(handle)); }
    MMRESULT waveInStop(HWAVEIN handle) const { return Keep(::waveInStop(handle)); }
    MMRESULT waveInReset(HWAVEIN handle) const { return Keep(::waveInReset(handle)); }
};

class WaveOutCalls : public WaveFailureRecord {
  public:
    // The system's text for LastError (waveOutGetErrorTextA), and the
    // driver's reason after it.
    std::string LastErrorText() const;

  protected:
    MMRESULT waveOutGetDevCapsA(UINT_PTR id, WAVEOUTCAPSA* caps, UINT size) const {
        return Keep(::waveOutGetDevCapsA(id, caps, size));
    }
    MMRESULT waveOutGetVolume(HWAVEOUT device, DWORD* volume) const {
        return Keep(::waveOutGetVolume(device, volume));
    }
    MMRESULT waveOutSetVolume(HWAVEOUT device, DWORD volume) const {
        return Keep(::waveOutSetVolume(device, volume));
    }
    MMRESULT waveOutOpen(HWAVEOUT* handle, UINT id, const WAVEFORMATEX* format,
                         DWORD_PTR callback, DWORD_PTR instance, DWORD flags) const {
        return Keep(::waveOutOpen(handle, id, format, callback, instance, flags));
    }
    MMRESULT waveOutClose(HWAVEOUT handle) const { return Keep(::waveOutClose(handle)); }
    MMRESULT waveOutPrepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) const {
        return Keep(::waveOutPrepareHeader(handle, header, size));
    }
    MMRESULT waveOutUnprepareHeader(HWAVEOUT handle, WAVEHDR* header, UINT size) const {
        return Keep(::waveOutUnprepareHeader(handle, header, size));
    }
    MMRESULT waveOutWrite(HWAVEOUT handle, WAVEHDR* header, UINT size) const {
        return Keep(::waveOutWrite(handle, header, size));
    }
    MMRESULT waveOutReset(HWAVEOUT handle) const { return Keep(::waveOutReset(handle)); }
};
