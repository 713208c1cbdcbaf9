// Watches the sound server for sinks and sources that come or go and for a
// default that moves, and tells the core, which tells the application.
// libpulse delivers the server's events on the connection's own loop thread,
// which waits for them: nothing wakes while the server has nothing to say.
#pragma once

#include <pulse/pulseaudio.h>

#include <memory>
#include <mutex>
#include <string>

#include "platform/pulse/Connection.h"

namespace sorvan::pulse {

class DeviceWatch {
  public:
    DeviceWatch() = default;
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

    // Watches `server` from now on, and no longer the connection before it;
    // nothing when it is the one watched already. Any thread.
    void follow(const std::shared_ptr<Connection>& server);

  private:
    void stopWatching();
    // On the loop's thread, like everything below.
    void askDefaults();
    static void onEvent(pa_context* context, pa_subscription_event_type_t event, uint32_t index,
                        void* watch);
    static void onServerInfo(pa_context* context, const pa_server_info* info, void* watch);

    std::mutex mutex_;
    std::shared_ptr<Connection> server_;
    // Under the loop's lock: the defaults as last seen (empty before the
    // first answer), and the question about them still open.
    std::string defaultSink_;
    std::string defaultSource_;
    bool defaultsKnown_ = false;
    pa_operation* asking_ = nullptr;
};

}  // namespace sorvan::pulse
