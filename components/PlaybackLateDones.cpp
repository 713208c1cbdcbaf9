#include "components/PlaybackLateDones.h"

#include <algorithm>

void PlaybackLateDones::Expect(HWAVEOUT device, const WAVEHDR* header) {
    expected_.push_back({device, header});
}

bool PlaybackLateDones::Consume(HWAVEOUT device, const WAVEHDR* header) {
    const auto found = std::find_if(expected_.begin(), expected_.end(), [&](const Notice& notice) {
        return notice.device == device && notice.header == header;
    });
    if (found == expected_.end()) return false;
    expected_.erase(found);
    return true;
}

void PlaybackLateDones::Forget(HWAVEOUT device) {
    std::erase_if(expected_, [&](const Notice& notice) { return notice.device == device; });
}
