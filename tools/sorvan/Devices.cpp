#include "tools/sorvan/Devices.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/wave/WaveLayer.h"
#include "tools/sorvan/CliError.h"
#include "tools/sorvan/DriverInfo.h"
#include "tools/sorvan/NumberChecks.h"
#include "tools/sorvan/QuietStderr.h"

namespace {

namespace wave = sorvan::wave;

const char* Word(Direction direction) {
    return direction == Direction::input ? "input" : "output";
}

int DeviceCount(Direction direction) {
    return static_cast<int>(direction == Direction::input ? waveInGetNumDevs()
                                                          : waveOutGetNumDevs());
}

std::optional<DeviceSummary> Describe(Direction direction, UINT_PTR id) {
    DeviceSummary device;
    if (direction == Direction::input) {
        WAVEINCAPSA caps{};
        if (waveInGetDevCapsA(id, &caps, sizeof caps) != MMSYSERR_NOERROR) return std::nullopt;
        device.name.assign(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
        device.channels = caps.wChannels;
        device.formats = caps.dwFormats;
    } else {
        WAVEOUTCAPSA caps{};
        if (waveOutGetDevCapsA(id, &caps, sizeof caps) != MMSYSERR_NOERROR) return std::nullopt;
        device.name.assign(caps.szPname, strnlen(caps.szPname, sizeof caps.szPname));
        device.channels = caps.wChannels;
        device.formats = caps.dwFormats;
        device.support = caps.dwSupport;
    }
    device.number = id == WAVE_MAPPER ? -1 : static_cast<int>(id);
    device.server = sorvan::wave::soundServerOf(direction, id);
    return device;
}

MMRESULT TryOpen(Direction direction, UINT id, const WAVEFORMATEX& format, DWORD flags) {
    if (direction == Direction::input) {
        HWAVEIN handle = nullptr;
        const MMRESULT result =
            waveInOpen(flags == WAVE_FORMAT_QUERY ? nullptr : &handle, id, &format, 0, 0, flags);
        if (result == MMSYSERR_NOERROR && handle) waveInClose(handle);
        return result;
    }
    HWAVEOUT handle = nullptr;
    const MMRESULT result =
        waveOutOpen(flags == WAVE_FORMAT_QUERY ? nullptr : &handle, id, &format, 0, 0, flags);
    if (result == MMSYSERR_NOERROR && handle) waveOutClose(handle);
    return result;
}

// A phrase about a failed call, and the driver's reason when it gave one.
std::string WithReason(const std::string& phrase) {
    const std::string why = wave::lastFailureReason();
    return why.empty() ? phrase : phrase + ": " + why;
}

// A name the list does not hold may still be one the sound system opens
// ("plughw:1", "dmix:CARD=PCH", any name 'aplay -L' lists), or a listed
// device spelt another way; the driver knows.
int AddDeviceByName(Direction direction, const std::string& name) {
    // Some PCMs' libraries print of their own (jack without a server).
    QuietStderr quiet;
    std::size_t index = 0;
    const MMRESULT result = wave::addNamedDevice(direction, name, index);
    if (result == MMSYSERR_NOERROR) return static_cast<int>(index);
    const std::string missing =
        std::string("there is no ") + Word(direction) + " device named '" + name + "'";
    if (result == MMSYSERR_NOTSUPPORTED) throw CliError(missing + " (see 'sorvan devices')");
    if (const std::string why = wave::lastFailureReason(); !why.empty())
        throw CliError(std::string(Word(direction)) + " device '" + name + "': " + why);
    std::string driver = wave::currentDriverName();
    std::transform(driver.begin(), driver.end(), driver.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    throw CliError(missing + " that " + driver + " can open (see 'sorvan devices')");
}

// A driver may leave out the system's default device when it does not open,
// and the default device then opens the first one listed: a user who did not
// name a device is told so, one who named "default" gets the reason it
// cannot be had.
void CheckDefault(Direction direction, bool namedDefault) {
    const std::string trouble = wave::whyNoDefault(direction);
    if (trouble.empty()) return;
    if (namedDefault) throw CliError(trouble);
    const int standIn = DefaultDeviceNumber(direction).value_or(0);
    const auto described = Describe(direction, static_cast<UINT_PTR>(standIn));
    std::fprintf(stderr, "sorvan: warning: %s; using %s device %d \"%s\" instead\n",
                 trouble.c_str(), Word(direction), standIn,
                 described ? described->name.c_str() : "");
}

}  // namespace

std::vector<DeviceSummary> ListDevices(Direction direction) {
    std::vector<DeviceSummary> devices;
    for (int number = 0; number < DeviceCount(direction); ++number)
        if (auto device = Describe(direction, static_cast<UINT_PTR>(number)))
            devices.push_back(*device);
    return devices;
}

std::optional<int> DefaultDeviceNumber(Direction direction) {
    const auto chosen = Describe(direction, WAVE_MAPPER);
    if (!chosen) return std::nullopt;
    for (const auto& device : ListDevices(direction))
        if (device.name == chosen->name) return device.number;
    return std::nullopt;
}

std::optional<DeviceSummary> DescribeDevice(Direction direction, TSVDev device) {
    return Describe(direction, WaveDeviceId(device));
}

TSVDev ChooseDevice(Direction direction, const DeviceChoice& choice) {
    const int count = DeviceCount(direction);
    // A name may open although nothing is listed (an ALSA PCM without a hint).
    const bool named =
        choice.text && *choice.text != "default" && !ParseWholeNumber(*choice.text);
    if (count == 0 && !named) {
        if (const std::string why = wave::whyNoDefault(direction); !why.empty()) throw CliError(why);
        throw CliError(std::string("this machine has no ") + Word(direction) + " device");
    }
    if (!choice.text || *choice.text == "default") {
        CheckDefault(direction, choice.text.has_value());
        return wvMapper;
    }
    const std::string& text = *choice.text;
    const auto devices = ListDevices(direction);
    std::optional<int> number;
    if (const auto value = ParseWholeNumber(text)) {
        if (*value < 0 || *value >= count)
            throw CliError(std::string("there is no ") + Word(direction) + " device " + text +
                           (count == 1 ? " (the only one is 0"
                                       : " (devices: 0 to " + std::to_string(count - 1)) +
                           "; see 'sorvan devices')");
        number = static_cast<int>(*value);
    } else {
        for (const auto& device : devices)
            if (device.name == text) number = device.number;
        if (!number) number = AddDeviceByName(direction, text);
    }
    if (*number <= 9) return static_cast<TSVDev>(wvDevice0 + *number);
    // The components name ten devices: the default device stands in for the rest.
    wave::mapDefaultDevice(direction, static_cast<std::size_t>(*number));
    return wvMapper;
}

std::string DeviceLabel(Direction direction, TSVDev device) {
    std::int32_t id = DeviceIndex(device);
    // The default device stands in for a device the components cannot name.
    if (const auto chosen = wave::mappedDefaultDevice(direction); id < 0 && chosen)
        id = static_cast<std::int32_t>(*chosen);
    const auto described = Describe(direction, static_cast<UINT_PTR>(static_cast<UINT>(id)));
    const std::string name =
        described ? "\"" + described->name + "\"" + (described->server.empty() ? "" : " on " + described->server)
                  : "";
    if (id < 0)
        return std::string("default ") + Word(direction) + " device" +
               (described ? " (" + name + ")" : "");
    return std::string(Word(direction)) + " device " + std::to_string(id) +
           (described ? " " + name : "");
}

MMRESULT QueryFormat(Direction direction, TSVDev device, const PcmFormat& pcm) {
    const WAVEFORMATEX format = MakePcmFormat(pcm.channels, pcm.rate, pcm.bits);
    return TryOpen(direction, WaveDeviceId(device), format, WAVE_FORMAT_QUERY);
}

bool DeviceTakes(Direction direction, TSVDev device, const PcmFormat& format) {
    return QueryFormat(direction, device, format) == MMSYSERR_NOERROR;
}

bool DeviceNumberTakes(Direction direction, int number, const PcmFormat& pcm) {
    const WAVEFORMATEX format = MakePcmFormat(pcm.channels, pcm.rate, pcm.bits);
    return TryOpen(direction, static_cast<UINT>(number), format, WAVE_FORMAT_QUERY) ==
           MMSYSERR_NOERROR;
}

bool IsBusy(Direction direction, int number) {
    const auto described = Describe(direction, static_cast<UINT_PTR>(number));
    const WAVEFORMATEX wave =
        MakePcmFormat(std::max(1, described ? described->channels : 1), 44100, 16);
    return TryOpen(direction, static_cast<UINT>(number), wave, CALLBACK_NULL) ==
           MMSYSERR_ALLOCATED;
}

std::string DescribeOpenResult(MMRESULT result, const PcmFormat& format) {
    switch (result) {
        case WAVERR_BADFORMAT:
            return "does not take " + format.Describe();
        case MMSYSERR_BADDEVICEID:
        case MMSYSERR_NODRIVER:
            return "does not exist";
        case MMSYSERR_ALLOCATED:
            return "is busy (another program is using it)";
        case MMSYSERR_NOMEM:
            return "cannot be opened: out of memory";
        default:
            return "cannot be opened (error " + std::to_string(result) + ")";
    }
}

std::string ExplainOpenFailure(Direction direction, TSVDev device, const PcmFormat& pcm) {
    if (const MMRESULT query = QueryFormat(direction, device, pcm); query != MMSYSERR_NOERROR)
        return WithReason(DescribeOpenResult(query, pcm));
    // The format is fine, so the open itself failed: open once more, without
    // the component, to learn the device's reason.
    const WAVEFORMATEX format = MakePcmFormat(pcm.channels, pcm.rate, pcm.bits);
    const MMRESULT result = TryOpen(direction, WaveDeviceId(device), format, CALLBACK_NULL);
    if (result == MMSYSERR_NOERROR) return "could not be opened (it may be busy); try again";
    return WithReason(DescribeOpenResult(result, pcm));
}
