// An eventfd that wakes a thread waiting in poll(): signals add up until
// the thread clears them, so none is lost between a check and a wait.
#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace sorvan::posix {

class Wakeup {
  public:
    Wakeup() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
        if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    ~Wakeup() { close(fd_); }
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    int fd() const { return fd_; }

    void signal() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = write(fd_, &one, sizeof one);
    }

    void clear() const {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto got = read(fd_, &count, sizeof count);
    }

  private:
    int fd_;
};

}  // namespace sorvan::posix
