#include "platform/pulse/Connection.h"

namespace sorvan::pulse {

namespace {

void signalLoop(pa_context*, void* loop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

void operationDone(pa_operation*, void* loop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

}  // namespace

std::shared_ptr<Connection> Connection::open(std::string& reason) {
    std::shared_ptr<Connection> connection(new Connection);
    if (connection->loop_ == nullptr || connection->context_ == nullptr) {
        reason = "libpulse could not set up a connection";
        return nullptr;
    }
    if (!connection->connect(reason)) return nullptr;
    return connection;
}

Connection::Connection() : loop_(pa_threaded_mainloop_new()) {
    if (loop_ == nullptr) return;
    context_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "Sorvan");
}

bool Connection::connect(std::string& reason) {
    if (pa_threaded_mainloop_start(loop_) < 0) {
        reason = "libpulse could not start its thread";
        return false;
    }
    Lock lock(*this);
    pa_context_set_state_callback(context_, &signalLoop, loop_);
    // A server that is not running stays so: starting one is the desktop's business.
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        reason = "no sound server answers (" + lastError() + ")";
        return false;
    }
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY) break;
        if (!PA_CONTEXT_IS_GOOD(state)) {
            reason = "no sound server answers (" + lastError() + ")";
            return false;
        }
        waitForSignal();
    }
    return true;
}

Connection::~Connection() {
    if (loop_ != nullptr) pa_threaded_mainloop_stop(loop_);
    if (context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (loop_ != nullptr) pa_threaded_mainloop_free(loop_);
}

bool Connection::alive() const {
    return pa_context_get_state(context_) == PA_CONTEXT_READY;
}

bool Connection::await(pa_operation* operation) const {
    if (operation == nullptr) return false;
    pa_operation_set_state_callback(operation, &operationDone, loop_);
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) waitForSignal();
    const bool done = pa_operation_get_state(operation) == PA_OPERATION_DONE;
    pa_operation_set_state_callback(operation, nullptr, nullptr);
    pa_operation_unref(operation);
    return done;
}

std::string Connection::lastError() const {
    return pa_strerror(pa_context_errno(context_));
}

}  // namespace sorvan::pulse
