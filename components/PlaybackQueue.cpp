#include "components/PlaybackQueue.h"

#include <cstring>
#include <memory>

WAVEHDR* NewPlaybackBlock(const void* data, std::int32_t size) {
    auto header = std::make_unique<WAVEHDR>();
    const auto length = static_cast<std::size_t>(size);
    auto copy = std::make_unique_for_overwrite<char[]>(length);
    if (length > 0) std::memcpy(copy.get(), data, length);
    header->lpData = copy.release();
    header->dwBufferLength = static_cast<DWORD>(size);
    header->dwUser = 0;
    header->dwFlags = 0;
    return header.release();
}

void FreePlaybackBlock(WAVEHDR* header) {
    delete[] header->lpData;
    delete header;
}

void PlaybackQueue::Append(WAVEHDR* header) {
    Link(header, nullptr);
    if (tail_ == nullptr) {
        head_ = header;
    } else {
        Link(tail_, header);
    }
    tail_ = header;
}

PlaybackQueue::Position PlaybackQueue::Find(const WAVEHDR* header) const {
    Position at = First();
    while (at.entry != nullptr && at.entry != header) at = Next(at);
    return at;
}

PlaybackQueue::Position PlaybackQueue::Unlink(Position at) {
    WAVEHDR* const next = NextOf(at.entry);
    if (at.previous == nullptr) {
        head_ = next;
    } else {
        Link(at.previous, next);
    }
    if (tail_ == at.entry) tail_ = at.previous;
    return {at.previous, next};
}
