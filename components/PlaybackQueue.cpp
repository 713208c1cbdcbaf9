#include "components/PlaybackQueue.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <type_traits>

static_assert(std::is_standard_layout_v<PlaybackBlock> && offsetof(PlaybackBlock, header) == 0,
              "a header's address must be its block's");

WAVEHDR* NewPlaybackBlock(const void* data, std::int32_t size) {
    auto block = std::make_unique<PlaybackBlock>();
    WAVEHDR* const header = &block->header;
    const auto length = static_cast<std::size_t>(size);
    auto copy = std::make_unique_for_overwrite<char[]>(length);
    if (length > 0) std::memcpy(copy.get(), data, length);
    header->lpData = copy.release();
    header->dwBufferLength = static_cast<DWORD>(size);
    header->dwUser = 0;
    header->dwFlags = 0;
    static_cast<void>(block.release());
    return header;
}

void FreePlaybackBlock(WAVEHDR* header) {
    delete[] header->lpData;
    delete &BlockOf(header);
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
