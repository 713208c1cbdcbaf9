// The driver object: the connection to the server and its devices as they
// were at the last count.
#include "platform/pulse/PulseDriver.h"

#include <algorithm>
#include <mutex>

#include "platform/pulse/DeviceWatch.h"
#include "platform/pulse/Devices.h"
#include "platform/pulse/Format.h"
#include "platform/pulse/PulseStream.h"
#include "platform/pulse/Volume.h"

namespace sorvan::pulse {

namespace {

using wave::Direction;

class PulseDriver final : public wave::Driver {
  public:
    explicit PulseDriver(std::shared_ptr<Connection> connection)
        : connection_(std::move(connection)) {
        refresh();
    }

    // Asked again at every count, so devices that came or went since are
    // seen at the application's next enumeration.
    std::size_t deviceCount(Direction direction) override {
        refresh();
        std::lock_guard lock(mutex_);
        return devices_.of(direction).size();
    }

    // The list may have shrunk since the core counted it.
    wave::DeviceInfo device(Direction direction, std::size_t index) override {
        std::lock_guard lock(mutex_);
        const auto& list = devices_.of(direction);
        return index < list.size() ? list[index].info : wave::DeviceInfo{};
    }

    bool streamsHaveOwnVolume() const override { return true; }

    std::string system() override {
        std::lock_guard lock(mutex_);
        return devices_.server;
    }

    std::size_t defaultDevice(Direction direction) override {
        std::lock_guard lock(mutex_);
        return direction == Direction::input ? devices_.defaultInput : devices_.defaultOutput;
    }

    // The server converts any rate and width it can describe.
    MMRESULT checkFormat(Direction, std::size_t, const WAVEFORMATEX& format) override {
        const pa_sample_spec wanted = specOf(format);
        return pa_sample_spec_valid(&wanted) != 0 ? MMSYSERR_NOERROR : WAVERR_BADFORMAT;
    }

    MMRESULT open(Direction direction, std::size_t index, const WAVEFORMATEX& format,
                  wave::StreamHost& host, std::unique_ptr<wave::DriverStream>& stream) override {
        const auto device = deviceAt(direction, index);
        if (!device) return MMSYSERR_BADDEVICEID;
        return PulseStream::open(connection(), direction, device->name, format, host, stream);
    }

    MMRESULT openDefault(Direction direction, std::size_t, const WAVEFORMATEX& format,
                         wave::StreamHost& host,
                         std::unique_ptr<wave::DriverStream>& stream) override {
        return PulseStream::open(connection(), direction, {}, format, host, stream);
    }

    MMRESULT getVolume(std::size_t index, DWORD& volume) override {
        const auto device = deviceAt(Direction::output, index);
        if (!device) return MMSYSERR_BADDEVICEID;
        const auto server = connection();
        Connection::Lock lock(*server);
        struct Answer {
            bool found = false;
            DWORD volume = 0;
        } answer;
        const auto got = [](pa_context*, const pa_sink_info* info, int eol, void* out) {
            if (eol != 0 || info == nullptr) return;
            auto& a = *static_cast<Answer*>(out);
            a.found = true;
            a.volume = waveVolumeOf(info->volume, info->channel_map);
        };
        server->await(pa_context_get_sink_info_by_name(server->context(), device->name.c_str(),
                                                       got, &answer));
        if (!answer.found) return MMSYSERR_NODRIVER;
        volume = answer.volume;
        return MMSYSERR_NOERROR;
    }

    MMRESULT setVolume(std::size_t index, DWORD volume) override {
        const auto device = deviceAt(Direction::output, index);
        if (!device) return MMSYSERR_BADDEVICEID;
        const auto server = connection();
        Connection::Lock lock(*server);
        const pa_cvolume levels = serverVolumeOf(volume, device->map);
        int success = 0;
        const auto done = [](pa_context*, int ok, void* out) { *static_cast<int*>(out) = ok; };
        server->await(pa_context_set_sink_volume_by_name(server->context(), device->name.c_str(),
                                                         &levels, done, &success));
        return success != 0 ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER;
    }

    // The server keeps its devices' levels and restores them when it starts.
    bool volumePersists(std::size_t) override { return true; }

    // Every device of the server is listed: a name finds its number.
    MMRESULT addNamedDevice(Direction direction, const std::string& name,
                            std::size_t& index) override {
        refresh();
        std::lock_guard lock(mutex_);
        const auto& list = devices_.of(direction);
        const auto at = std::find_if(list.begin(), list.end(),
                                     [&](const Device& device) { return device.name == name; });
        if (at == list.end()) return MMSYSERR_NODRIVER;
        index = static_cast<std::size_t>(at - list.begin());
        return MMSYSERR_NOERROR;
    }

  private:
    std::optional<Device> deviceAt(Direction direction, std::size_t index) {
        std::lock_guard lock(mutex_);
        const auto& list = devices_.of(direction);
        if (index >= list.size()) return std::nullopt;
        return list[index];
    }

    std::shared_ptr<Connection> connection() {
        std::lock_guard lock(mutex_);
        return connection_;
    }

    // A server that went away and came back is connected to again; one that
    // stays away leaves no devices.
    void refresh() {
        auto server = connection();
        DeviceList fresh;
        if (!listDevices(*server, fresh)) {
            std::string reason;
            if (auto again = Connection::open(reason); again != nullptr) {
                server = std::move(again);
                if (!listDevices(*server, fresh)) fresh = {};
            }
        }
        std::lock_guard lock(mutex_);
        connection_ = std::move(server);
        devices_ = std::move(fresh);
        watch_.follow(connection_);
    }

    std::mutex mutex_;
    std::shared_ptr<Connection> connection_;
    DeviceList devices_;
    DeviceWatch watch_;
};

[[maybe_unused]] const bool registered = wave::registerDriver("pulse", [] {
    std::string reason;
    auto connection = Connection::open(reason);
    if (connection == nullptr) return wave::unreachableDriver(reason);
    return std::shared_ptr<wave::Driver>(std::make_shared<PulseDriver>(std::move(connection)));
});

}  // namespace

}  // namespace sorvan::pulse
