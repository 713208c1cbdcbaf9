#include "platform/pulse/DeviceWatch.h"

#include "platform/wave/DeviceChanges.h"

namespace sorvan::pulse {

namespace {

// Sinks and sources for the devices, the server for its defaults.
constexpr auto watched = static_cast<pa_subscription_mask_t>(
    PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SOURCE | PA_SUBSCRIPTION_MASK_SERVER);

}  // namespace

DeviceWatch::~DeviceWatch() {
    std::lock_guard lock(mutex_);
    stopWatching();
}

void DeviceWatch::follow(const std::shared_ptr<Connection>& server) {
    std::lock_guard lock(mutex_);
    if (server == server_) return;
    stopWatching();
    server_ = server;
    if (server_ == nullptr) return;
    Connection::Lock loop(*server_);
    defaultsKnown_ = false;
    pa_context_set_subscribe_callback(server_->context(), &DeviceWatch::onEvent, this);
    if (pa_operation* subscribing =
            pa_context_subscribe(server_->context(), watched, nullptr, nullptr)) {
        pa_operation_unref(subscribing);
    }
    askDefaults();
}

// The loop's lock keeps a callback from running while it is taken away.
void DeviceWatch::stopWatching() {
    if (server_ == nullptr) return;
    Connection::Lock loop(*server_);
    if (asking_ != nullptr) {
        pa_operation_cancel(asking_);
        pa_operation_unref(asking_);
        asking_ = nullptr;
    }
    pa_context_set_subscribe_callback(server_->context(), nullptr, nullptr);
    server_.reset();
}

// Only the newest answer counts: one asked before the last change may be stale.
void DeviceWatch::askDefaults() {
    if (asking_ != nullptr) {
        pa_operation_cancel(asking_);
        pa_operation_unref(asking_);
    }
    asking_ = pa_context_get_server_info(server_->context(), &DeviceWatch::onServerInfo, this);
}

void DeviceWatch::onEvent(pa_context*, pa_subscription_event_type_t event, uint32_t, void* watch) {
    auto& self = *static_cast<DeviceWatch*>(watch);
    const auto facility = event & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto kind = event & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    // The server changes for more than its defaults, and a device changes
    // whenever its volume or state does: only what the list shows counts.
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER) {
        self.askDefaults();
    } else if (kind == PA_SUBSCRIPTION_EVENT_NEW || kind == PA_SUBSCRIPTION_EVENT_REMOVE) {
        wave::devicesChanged();
    }
}

void DeviceWatch::onServerInfo(pa_context*, const pa_server_info* info, void* watch) {
    auto& self = *static_cast<DeviceWatch*>(watch);
    if (self.asking_ != nullptr) {
        pa_operation_unref(self.asking_);
        self.asking_ = nullptr;
    }
    if (info == nullptr) return;
    const std::string sink = info->default_sink_name != nullptr ? info->default_sink_name : "";
    const std::string source =
        info->default_source_name != nullptr ? info->default_source_name : "";
    const bool moved =
        self.defaultsKnown_ && (sink != self.defaultSink_ || source != self.defaultSource_);
    self.defaultSink_ = sink;
    self.defaultSource_ = source;
    self.defaultsKnown_ = true;
    if (moved) wave::devicesChanged();
}

}  // namespace sorvan::pulse
