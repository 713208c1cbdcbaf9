// Watches the folder of the sound cards' device files (/dev/snd) and tells
// the core when a file comes or goes: a card plugged in or out. One thread
// that blocks in poll() until the kernel reports something, so an idle
// process is not woken. Where the folder does not exist yet (no card since
// boot), its parent is watched until it appears.
#pragma once

#include <filesystem>
#include <optional>
#include <thread>

#include "platform/posix/Wakeup.h"

namespace sorvan::alsa {

class CardWatch {
  public:
    // Watches nothing when the system refuses a watch: device changes then
    // go untold, and enumeration still sees them.
    explicit CardWatch(std::filesystem::path folder = "/dev/snd");
    ~CardWatch();
    CardWatch(const CardWatch&) = delete;
    CardWatch& operator=(const CardWatch&) = delete;

  private:
    void run();
    // Watches the folder once it exists; whether it does.
    bool watchFolder();
    // Reads what the kernel reported; whether a card's file came or went.
    bool cardsChanged();

    const std::filesystem::path folder_;
    int inotify_ = -1;
    int folderWatch_ = -1;
    std::optional<posix::Wakeup> stop_;
    std::thread thread_;
};

}  // namespace sorvan::alsa
