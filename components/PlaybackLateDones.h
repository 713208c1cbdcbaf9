// Done notifications still on their way for blocks that close has already
// freed.
//
// Such a notification carries the address of a freed header, and a later
// playback may have been given a new header at that very address: recognised
// here, it must leave the queue alone. A device posts the notifications of
// one handle in order, so the one for a freed block always arrives before
// that of a newer block at the same address on the same handle.
#pragma once

#include <deque>

#include "platform/WaveApi.h"

class PlaybackLateDones {
  public:
    // The device has finished with header and posted its notification, but
    // the block is freed before that notification is handled.
    void Expect(HWAVEOUT device, const WAVEHDR* header);
    // True, and forgotten, when the notification is one of those expected.
    bool Consume(HWAVEOUT device, const WAVEHDR* header);
    // The device has closed: every notification it sent has been handled.
    void Forget(HWAVEOUT device);
    bool Empty() const { return expected_.empty(); }

  private:
    struct Notice {
        HWAVEOUT device;
        const WAVEHDR* header;
    };
    // In posting order, so the one being handled is nearly always the first.
    std::deque<Notice> expected_;
};
