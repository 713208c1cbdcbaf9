// The frames most recently written to a playback device, at most a ring's
// worth: a device that cannot pause loses what its ring holds when it is
// stopped, and these are what it must be given again on resume.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

namespace sorvan::alsa {

class RecentFrames {
  public:
    explicit RecentFrames(std::size_t capacity) : capacity_(capacity) { bytes_.reserve(capacity); }

    // Never allocates: runs on the stream's thread for every period.
    void add(std::span<const std::byte> written) {
        if (written.size() >= capacity_) {
            bytes_.assign(written.end() - static_cast<std::ptrdiff_t>(capacity_), written.end());
            return;
        }
        const std::size_t total = bytes_.size() + written.size();
        const std::size_t excess = total > capacity_ ? total - capacity_ : 0;
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(excess));
        bytes_.insert(bytes_.end(), written.begin(), written.end());
    }

    // The last `count` bytes (fewer when fewer were kept).
    std::span<const std::byte> last(std::size_t count) const {
        const std::size_t kept = std::min(count, bytes_.size());
        return std::span(bytes_).last(kept);
    }

    void clear() { bytes_.clear(); }

  private:
    std::size_t capacity_;
    std::vector<std::byte> bytes_;
};

}  // namespace sorvan::alsa
