#include "platform/alsa/CardWatch.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <system_error>

#include "platform/wave/DeviceChanges.h"

namespace sorvan::alsa {

CardWatch::CardWatch(std::filesystem::path folder) : folder_(std::move(folder)) {
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0) return;
    if (!watchFolder() &&
        inotify_add_watch(inotify_, folder_.parent_path().c_str(), IN_CREATE | IN_MOVED_TO) < 0) {
        return;
    }
    try {
        stop_.emplace();
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        stop_.reset();
    }
}

CardWatch::~CardWatch() {
    if (thread_.joinable()) {
        stop_->signal();
        thread_.join();
    }
    if (inotify_ >= 0) close(inotify_);
}

bool CardWatch::watchFolder() {
    folderWatch_ = inotify_add_watch(inotify_, folder_.c_str(), IN_CREATE | IN_DELETE);
    return folderWatch_ >= 0;
}

void CardWatch::run() {
    std::array<pollfd, 2> watched{pollfd{inotify_, POLLIN, 0}, pollfd{stop_->fd(), POLLIN, 0}};
    for (;;) {
        if (poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (watched[1].revents != 0) return;
        if (cardsChanged()) wave::devicesChanged();
    }
}

bool CardWatch::cardsChanged() {
    bool changed = false;
    alignas(inotify_event) std::array<char, 4096> events;
    for (;;) {
        const ssize_t got = read(inotify_, events.data(), events.size());
        if (got <= 0) return changed;
        for (ssize_t at = 0; at < got;) {
            inotify_event event;
            std::memcpy(&event, events.data() + at, sizeof event);
            const char* name = events.data() + at + sizeof event;
            if (event.wd == folderWatch_) {
                changed = true;
            } else if (event.len > 0 && folder_.filename() == name && watchFolder()) {
                // The first card since boot: the folder and its files arrive together.
                changed = true;
            }
            at += static_cast<ssize_t>(sizeof event + event.len);
        }
    }
}

}  // namespace sorvan::alsa
