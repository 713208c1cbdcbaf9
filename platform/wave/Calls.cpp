#include "platform/wave/Calls.h"

#include <algorithm>
#include <cstring>

#include "platform/wave/FailureScope.h"
#include "platform/wave/Handles.h"
#include "platform/wave/HeaderRules.h"
#include "platform/wave/WaveLayer.h"

namespace sorvan::wave::calls {

namespace {

constexpr DWORD knownOpenFlags =
    CALLBACK_TYPEMASK | WAVE_FORMAT_QUERY | WAVE_ALLOWSYNC | WAVE_MAPPED | WAVE_FORMAT_DIRECT;

// Components pass WAVE_MAPPER both as the UINT and as -1 widened to UINT_PTR.
bool isMapper(UINT_PTR id) {
    return id == WAVE_MAPPER || id == ~UINT_PTR{0};
}

bool isDeviceNumber(UINT_PTR id) {
    return id < handles::firstHandle;
}

// A device named by number or WAVE_MAPPER.
std::optional<std::size_t> deviceByNumber(Driver& driver, Direction direction, UINT_PTR id) {
    if (isMapper(id)) {
        const auto mapped = mappedDefaultDevice(direction);
        if (!mapped) return driver.mapperDevice(direction);
        const std::size_t count = driver.deviceCount(direction);
        if (count == 0) return std::nullopt;
        return std::min(*mapped, count - 1);
    }
    if (id < driver.deviceCount(direction)) return id;
    return std::nullopt;
}

struct Target {
    std::shared_ptr<Driver> driver;
    std::optional<std::size_t> device;
    bool lost = false;  // named by the handle of a stream whose device is gone
    std::shared_ptr<Stream> stream;  // the stream a handle names
};

// A device named by number, WAVE_MAPPER or the handle of an open stream.
Target deviceOrHandle(Direction direction, UINT_PTR id) {
    if (!isDeviceNumber(id) && !isMapper(id)) {
        if (auto stream = handles::find(id, direction)) {
            return {stream->driver(), stream->device(), stream->isLost(), stream};
        }
        return {currentDriver(), std::nullopt};
    }
    auto driver = currentDriver();
    const auto device = deviceByNumber(*driver, direction, id);
    return {std::move(driver), device};
}

// Runs `body` as the call, unless the driver's observer makes it fail
// first. A call that fails because the driver has no device of its kind
// gets the driver's reason, unless the driver gave another.
template <class Body>
MMRESULT observed(Call& call, Driver& driver, bool named, Body&& body) {
    FailureScope failure;
    CallObserver* observer = observerOf(driver);
    if (observer != nullptr && named) {
        if (const auto injected = observer->intercept(call)) {
            observer->returned(call, *injected);
            return failure.end(*injected);
        }
    }
    const MMRESULT result = body();
    if (observer != nullptr) observer->returned(call, result);
    if (result != MMSYSERR_NOERROR && !failure.explained()) {
        const Direction direction = directionOf(call.fn);
        if (driver.deviceCount(direction) == 0) explainFailure(driver.whyNoDefault(direction));
    }
    return failure.end(result);
}

MMRESULT checkFormat(Driver& driver, Direction direction, std::size_t device,
                     const WAVEFORMATEX& format, bool query) {
    const WORD bits = format.wBitsPerSample;
    const bool usable = format.wFormatTag == WAVE_FORMAT_PCM && format.nChannels > 0 &&
                        format.nChannels <= driver.device(direction, device).channels &&
                        format.nSamplesPerSec > 0 &&
                        (bits == 8 || bits == 16 || bits == 24 || bits == 32) &&
                        format.nBlockAlign == format.nChannels * bits / 8;
    if (!usable) return WAVERR_BADFORMAT;
    if (!query && driver.opensOnlyWhatItTakes()) return MMSYSERR_NOERROR;
    return driver.checkFormat(direction, device, format);
}

void copyName(const std::string& name, CHAR (&out)[MAXPNAMELEN]) {
    const std::size_t length = std::min(name.size(), MAXPNAMELEN - 1);
    std::memcpy(out, name.data(), length);
    out[length] = '\0';
}

template <class Caps>
Caps capsOf(const DeviceInfo& info) {
    Caps caps{};
    caps.wMid = info.manufacturerId;
    caps.wPid = info.productId;
    caps.vDriverVersion = info.driverVersion;
    copyName(info.name, caps.szPname);
    caps.dwFormats = info.formats;
    caps.wChannels = info.channels;
    if constexpr (std::is_same_v<Caps, WAVEOUTCAPSA>) caps.dwSupport = info.support;
    return caps;
}

template <class Caps>
void copyCaps(const DeviceInfo& info, void* out, UINT size) {
    const Caps caps = capsOf<Caps>(info);
    std::memcpy(out, &caps, std::min<std::size_t>(size, sizeof caps));
}

bool validHeader(const WAVEHDR* header, UINT size) {
    return header != nullptr && size >= sizeof(WAVEHDR);
}

HeaderCall headerCallOf(Fn fn) {
    switch (fn) {
        case Fn::waveInPrepareHeader:
        case Fn::waveOutPrepareHeader:
            return HeaderCall::prepare;
        case Fn::waveInUnprepareHeader:
        case Fn::waveOutUnprepareHeader:
            return HeaderCall::unprepare;
        case Fn::waveInAddBuffer:
            return HeaderCall::addBuffer;
        default:
            return HeaderCall::write;
    }
}

MMRESULT headerCall(Fn fn, Stream* stream, WAVEHDR* header, UINT size) {
    const HeaderCall kind = headerCallOf(fn);
    if (kind == HeaderCall::write && stream == nullptr) return MMSYSERR_INVALHANDLE;
    if (!validHeader(header, size)) return MMSYSERR_INVALPARAM;
    // No open stream can be moving a header passed with a handle that names none.
    if (stream == nullptr)
        return headerVerdict(kind, *header, false).value_or(MMSYSERR_INVALHANDLE);
    switch (kind) {
        case HeaderCall::prepare:
            return stream->prepare(*header);
        case HeaderCall::unprepare:
            return stream->unprepare(*header);
        case HeaderCall::addBuffer:
            return stream->addBuffer(*header);
        case HeaderCall::write:
            return stream->write(*header);
    }
    return MMSYSERR_NOTSUPPORTED;
}

MMRESULT controlCall(Fn fn, Stream& stream) {
    switch (fn) {
        case Fn::waveInClose:
        case Fn::waveOutClose:
            return stream.close();
        case Fn::waveInStart:
            return stream.start();
        case Fn::waveInStop:
            return stream.stop();
        case Fn::waveInReset:
        case Fn::waveOutReset:
            return stream.reset();
        case Fn::waveOutPause:
            return stream.pause();
        case Fn::waveOutRestart:
            return stream.restart();
        default:
            return MMSYSERR_NOTSUPPORTED;
    }
}

bool isClose(Fn fn) {
    return fn == Fn::waveInClose || fn == Fn::waveOutClose;
}

// The output device a volume call names; the error when it names none.
MMRESULT volumeTarget(UINT_PTR id, Target& target) {
    target = deviceOrHandle(Direction::output, id);
    if (target.device) return MMSYSERR_NOERROR;
    return isDeviceNumber(id) || isMapper(id) ? MMSYSERR_BADDEVICEID : MMSYSERR_INVALHANDLE;
}

DWORD volumeSupport(const Target& target) {
    return target.driver->device(Direction::output, *target.device).support;
}

}  // namespace

UINT numDevs(Fn fn) {
    const Call call{.fn = fn};
    const auto driver = currentDriver();
    const auto count = static_cast<UINT>(driver->deviceCount(directionOf(fn)));
    if (CallObserver* observer = observerOf(*driver)) observer->returned(call, count);
    return count;
}

MMRESULT getDevCaps(Fn fn, UINT_PTR id, void* caps, UINT size) {
    const Direction direction = directionOf(fn);
    const Target target = deviceOrHandle(direction, id);
    Call call{.fn = fn,
              .deviceId = id,
              .device = target.device,
              .size = size,
              .nullPointer = caps == nullptr};
    return observed(call, *target.driver, target.device.has_value(), [&] {
        if (caps == nullptr) return MMSYSERR_INVALPARAM;
        if (!target.device) return MMSYSERR_BADDEVICEID;
        if (target.lost) return MMSYSERR_NODRIVER;
        const DeviceInfo info = target.driver->device(direction, *target.device);
        if (direction == Direction::input) {
            copyCaps<WAVEINCAPSA>(info, caps, size);
        } else {
            copyCaps<WAVEOUTCAPSA>(info, caps, size);
        }
        return MMSYSERR_NOERROR;
    });
}

MMRESULT open(Fn fn, UINT_PTR* handleOut, UINT id, const WAVEFORMATEX* format, DWORD_PTR callback,
              DWORD_PTR instance, DWORD flags) {
    const Direction direction = directionOf(fn);
    const auto driver = currentDriver();
    const auto device = deviceByNumber(*driver, direction, id);
    Call call{.fn = fn,
              .deviceId = id,
              .device = device,
              .flags = flags,
              .callback = callback,
              .instance = instance,
              .nullPointer = handleOut == nullptr};
    if (format != nullptr) call.format = *format;
    const bool query = (flags & WAVE_FORMAT_QUERY) != 0;
    return observed(call, *driver, device.has_value(), [&] {
        if (flags & ~knownOpenFlags) return MMSYSERR_INVALFLAG;
        if (format == nullptr || (handleOut == nullptr && !query)) return MMSYSERR_INVALPARAM;
        if (!device) return MMSYSERR_BADDEVICEID;
        if (const MMRESULT result = checkFormat(*driver, direction, *device, *format, query);
            result != MMSYSERR_NOERROR || query) {
            return result;
        }
        Notifier notifier;
        if (const MMRESULT result = Notifier::make(callback, instance, flags, notifier);
            result != MMSYSERR_NOERROR) {
            return result;
        }
        auto stream =
            std::make_shared<Stream>(direction, *device, isMapper(id), *format, notifier, driver);
        const UINT_PTR handle = handles::add(stream);
        if (handle == 0) return MMSYSERR_NOMEM;
        if (const MMRESULT result = stream->open(handle); result != MMSYSERR_NOERROR) {
            handles::remove(handle);
            return result;
        }
        *handleOut = handle;
        call.handle = handle;
        return MMSYSERR_NOERROR;
    });
}

// Header calls come several per buffer: the handle is looked up once, and
// the stream, which holds its driver, keeps both alive through the call.
MMRESULT header(Fn fn, UINT_PTR handle, WAVEHDR* header, UINT size) {
    const auto stream = handles::find(handle, directionOf(fn));
    const auto unnamed = stream != nullptr ? nullptr : currentDriver();
    Driver& driver = stream != nullptr ? *stream->driver() : *unnamed;
    Call call{.fn = fn, .handle = handle, .header = header, .size = size};
    if (stream != nullptr) call.device = stream->device();
    return observed(call, driver, stream != nullptr,
                    [&] { return headerCall(fn, stream.get(), header, size); });
}

MMRESULT control(Fn fn, UINT_PTR handle) {
    const auto stream = handles::find(handle, directionOf(fn));
    const auto driver = stream != nullptr ? stream->driver() : currentDriver();
    Call call{.fn = fn, .handle = handle};
    if (stream != nullptr) call.device = stream->device();
    return observed(call, *driver, stream != nullptr, [&] {
        if (stream == nullptr) return MMSYSERR_INVALHANDLE;
        const MMRESULT result = controlCall(fn, *stream);
        if (result == MMSYSERR_NOERROR && isClose(fn)) handles::remove(handle);
        return result;
    });
}

MMRESULT getVolume(UINT_PTR id, DWORD* volume) {
    Target target;
    const MMRESULT named = volumeTarget(id, target);
    Call call{.fn = Fn::waveOutGetVolume,
              .deviceId = id,
              .device = target.device,
              .nullPointer = volume == nullptr};
    return observed(call, *target.driver, named == MMSYSERR_NOERROR, [&] {
        if (volume == nullptr) return MMSYSERR_INVALPARAM;
        if (named != MMSYSERR_NOERROR) return named;
        if (target.lost) return MMSYSERR_NODRIVER;
        if (!(volumeSupport(target) & WAVECAPS_VOLUME)) return MMSYSERR_NOTSUPPORTED;
        DWORD value = 0;
        std::optional<MMRESULT> own;
        if (target.stream != nullptr) own = target.stream->getVolume(value);
        const MMRESULT result = own ? *own : target.driver->getVolume(*target.device, value);
        if (result != MMSYSERR_NOERROR) return result;
        *volume = value;
        call.volume = value;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT setVolume(UINT_PTR id, DWORD volume) {
    Target target;
    const MMRESULT named = volumeTarget(id, target);
    Call call{
        .fn = Fn::waveOutSetVolume, .deviceId = id, .device = target.device, .volume = volume};
    return observed(call, *target.driver, named == MMSYSERR_NOERROR, [&] {
        if (named != MMSYSERR_NOERROR) return named;
        if (target.lost) return MMSYSERR_NODRIVER;
        const DWORD support = volumeSupport(target);
        if (!(support & WAVECAPS_VOLUME)) return MMSYSERR_NOTSUPPORTED;
        const DWORD stored = (support & WAVECAPS_LRVOLUME) ? volume : (volume & 0xFFFF);
        if (target.stream != nullptr) {
            if (const auto own = target.stream->setVolume(stored)) return *own;
        }
        return target.driver->setVolume(*target.device, stored);
    });
}

}  // namespace sorvan::wave::calls
