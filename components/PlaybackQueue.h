// The playback queue: the blocks handed to the device, in the order they were
// handed over, linked through each header's dwUser (the device leaves that
// field alone, so the link survives prepare, write, play and unprepare).
//
// The queue owns nothing itself: it only links headers made by
// NewPlaybackBlock, and the component decides when a block may be freed.
#pragma once

#include <cstdint>

#include "platform/WaveApi.h"

// What the component knows of one block besides its header. The header comes
// first, so the address the device hands back names the whole block.
struct PlaybackBlock {
    WAVEHDR header{};
    // The device that accepted the block (its write succeeded) and has not yet
    // been seen to give it back; null when no device holds it.
    HWAVEOUT holder = nullptr;
};

// A header and its own copy of size bytes from data, with dwUser 0 (the end
// of a chain) and dwFlags 0. Two allocations: the block and the data.
WAVEHDR* NewPlaybackBlock(const void* data, std::int32_t size);
// Frees the data copy first, then the block.
void FreePlaybackBlock(WAVEHDR* header);
// The block of a header made by NewPlaybackBlock.
inline PlaybackBlock& BlockOf(WAVEHDR* header) {
    return *reinterpret_cast<PlaybackBlock*>(header);
}

class PlaybackQueue {
  public:
    // Where an entry sits: the entry linked before it (null at the head) and
    // the entry itself (null past the tail, or when a search found nothing).
    struct Position {
        WAVEHDR* previous = nullptr;
        WAVEHDR* entry = nullptr;
    };

    PlaybackQueue() = default;
    PlaybackQueue(const PlaybackQueue&) = delete;
    PlaybackQueue& operator=(const PlaybackQueue&) = delete;

    WAVEHDR* Head() const { return head_; }
    bool Empty() const { return head_ == nullptr; }

    // Links header after the tail in constant time: a caller may hand over a
    // whole recording ahead of time.
    void Append(WAVEHDR* header);

    Position First() const { return {nullptr, head_}; }
    static Position Next(Position at) { return {at.entry, NextOf(at.entry)}; }
    // Searches from the head; the entry is null when header is not queued.
    Position Find(const WAVEHDR* header) const;
    // Unlinks the entry at a position found in this queue and returns the
    // position of the entry that followed it.
    Position Unlink(Position at);

    static WAVEHDR* NextOf(const WAVEHDR* header) {
        return reinterpret_cast<WAVEHDR*>(header->dwUser);
    }

  private:
    static void Link(WAVEHDR* header, WAVEHDR* next) {
        header->dwUser = reinterpret_cast<DWORD_PTR>(next);
    }

    WAVEHDR* head_ = nullptr;
    WAVEHDR* tail_ = nullptr;
};
