#include "platform/pulse/Devices.h"

#include <algorithm>
#include <cstdint>

#include "platform/pulse/Format.h"

namespace sorvan::pulse {

namespace {

struct Found {
    std::uint32_t index = 0;
    bool monitor = false;
    Device device;
};

struct Query {
    std::vector<Found> sinks;
    std::vector<Found> sources;
    std::string defaultSink;
    std::string defaultSource;
    std::string server;
};

template <class Info>
Found foundOf(const Info& info, DWORD support) {
    Found found;
    found.index = info.index;
    found.device.name = info.name != nullptr ? info.name : "";
    found.device.map = info.channel_map;
    wave::DeviceInfo& wave = found.device.info;
    wave.name = info.description != nullptr && *info.description != '\0' ? info.description
                                                                           : found.device.name;
    wave.channels = info.sample_spec.channels;
    wave.formats = nativeFormats(info.sample_spec.rate, info.sample_spec.channels);
    wave.support = support;
    return found;
}

void sinkFound(pa_context*, const pa_sink_info* info, int eol, void* query) {
    if (eol != 0 || info == nullptr) return;
    // Every sink has a volume: the server scales the samples where the hardware cannot.
    DWORD support = WAVECAPS_VOLUME;
    if (info->channel_map.channels > 1) support |= WAVECAPS_LRVOLUME;
    static_cast<Query*>(query)->sinks.push_back(foundOf(*info, support));
}

void sourceFound(pa_context*, const pa_source_info* info, int eol, void* query) {
    if (eol != 0 || info == nullptr) return;
    Found found = foundOf(*info, 0);
    found.monitor = info->monitor_of_sink != PA_INVALID_INDEX;
    static_cast<Query*>(query)->sources.push_back(std::move(found));
}

void serverFound(pa_context*, const pa_server_info* info, void* query) {
    if (info == nullptr) return;
    auto& q = *static_cast<Query*>(query);
    q.defaultSink = info->default_sink_name != nullptr ? info->default_sink_name : "";
    q.defaultSource = info->default_source_name != nullptr ? info->default_source_name : "";
    if (info->server_name != nullptr) q.server = info->server_name;
    if (info->server_version != nullptr) q.server += std::string(" ") + info->server_version;
}

std::vector<Device> ordered(std::vector<Found> found) {
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        if (a.monitor != b.monitor) return !a.monitor;
        return a.index < b.index;
    });
    std::vector<Device> devices;
    devices.reserve(found.size());
    for (Found& f : found) devices.push_back(std::move(f.device));
    return devices;
}

std::size_t placeOf(const std::vector<Device>& devices, const std::string& name) {
    const auto at = std::find_if(devices.begin(), devices.end(),
                                 [&](const Device& device) { return device.name == name; });
    return at == devices.end() ? 0 : static_cast<std::size_t>(at - devices.begin());
}

}  // namespace

bool listDevices(const Connection& connection, DeviceList& list) {
    Query query;
    Connection::Lock lock(connection);
    pa_context* context = connection.context();
    if (!connection.alive()) return false;
    // Asked all at once: the server answers in order, in one round trip.
    pa_operation* server = pa_context_get_server_info(context, &serverFound, &query);
    pa_operation* sinks = pa_context_get_sink_info_list(context, &sinkFound, &query);
    pa_operation* sources = pa_context_get_source_info_list(context, &sourceFound, &query);
    const bool serverAnswered = connection.await(server);
    const bool sinksAnswered = connection.await(sinks);
    const bool sourcesAnswered = connection.await(sources);
    if (!serverAnswered || !sinksAnswered || !sourcesAnswered) return false;
    list.outputs = ordered(std::move(query.sinks));
    list.inputs = ordered(std::move(query.sources));
    list.defaultOutput = placeOf(list.outputs, query.defaultSink);
    list.defaultInput = placeOf(list.inputs, query.defaultSource);
    list.server = std::move(query.server);
    return true;
}

}  // namespace sorvan::pulse
