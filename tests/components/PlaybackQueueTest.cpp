#include "components/PlaybackQueue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "components/PlaybackLateDones.h"

namespace {

class PlaybackQueueTest : public ::testing::Test {
  protected:
    ~PlaybackQueueTest() override {
        for (WAVEHDR* h : made) FreePlaybackBlock(h);
    }

    WAVEHDR* Make() {
        const char byte = static_cast<char>(made.size());
        made.push_back(NewPlaybackBlock(&byte, 1));
        return made.back();
    }

    // The entries from the head along the dwUser links.
    std::vector<WAVEHDR*> Chain() const {
        std::vector<WAVEHDR*> chain;
        for (WAVEHDR* h = queue.Head(); h != nullptr; h = PlaybackQueue::NextOf(h)) {
            chain.push_back(h);
        }
        return chain;
    }

    void Unlink(WAVEHDR* header) {
        const PlaybackQueue::Position at = queue.Find(header);
        ASSERT_EQ(at.entry, header);
        queue.Unlink(at);
    }

    PlaybackQueue queue;
    std::vector<WAVEHDR*> made;
};

TEST_F(PlaybackQueueTest, ABlockIsACopyWithAnEmptyLink) {
    const char data[] = "abcdef";
    WAVEHDR* h = NewPlaybackBlock(data, 6);
    EXPECT_NE(h->lpData, data);
    EXPECT_EQ(std::memcmp(h->lpData, data, 6), 0);
    EXPECT_EQ(h->dwBufferLength, 6u);
    EXPECT_EQ(h->dwUser, 0u);
    EXPECT_EQ(h->dwFlags, 0u);
    FreePlaybackBlock(h);
}

TEST_F(PlaybackQueueTest, KeepsTheOrderOfAppending) {
    WAVEHDR* a = Make();
    WAVEHDR* b = Make();
    WAVEHDR* c = Make();
    for (WAVEHDR* h : {a, b, c}) queue.Append(h);
    EXPECT_EQ(Chain(), std::vector<WAVEHDR*>({a, b, c}));
    EXPECT_EQ(c->dwUser, 0u);
}

TEST_F(PlaybackQueueTest, AppendAfterUnlinkingTheTailLinksToTheNewTail) {
    WAVEHDR* a = Make();
    WAVEHDR* b = Make();
    WAVEHDR* c = Make();
    queue.Append(a);
    queue.Append(b);
    Unlink(b);
    queue.Append(c);
    EXPECT_EQ(Chain(), std::vector<WAVEHDR*>({a, c}));
}

TEST_F(PlaybackQueueTest, UnlinksAtAnyPosition) {
    WAVEHDR* h[5];
    for (WAVEHDR*& x : h) queue.Append(x = Make());
    Unlink(h[2]);
    Unlink(h[0]);
    Unlink(h[4]);
    EXPECT_EQ(Chain(), std::vector<WAVEHDR*>({h[1], h[3]}));
    Unlink(h[1]);
    Unlink(h[3]);
    EXPECT_TRUE(queue.Empty());

    WAVEHDR* again = Make();
    queue.Append(again);
    EXPECT_EQ(Chain(), std::vector<WAVEHDR*>({again}));
}

TEST_F(PlaybackQueueTest, FindsNothingForAnAbsentHeader) {
    queue.Append(Make());
    WAVEHDR stranger{};
    EXPECT_EQ(queue.Find(&stranger).entry, nullptr);
    EXPECT_EQ(queue.Find(nullptr).entry, nullptr);
}

TEST(PlaybackLateDonesTest, EachExpectedNoticeIsConsumedOnceAndOnlyForItsDevice) {
    PlaybackLateDones late;
    WAVEHDR header{};
    const auto first = reinterpret_cast<HWAVEOUT>(std::uintptr_t{0x10});
    const auto second = reinterpret_cast<HWAVEOUT>(std::uintptr_t{0x20});
    late.Expect(first, &header);
    EXPECT_FALSE(late.Consume(second, &header));
    EXPECT_TRUE(late.Consume(first, &header));
    EXPECT_FALSE(late.Consume(first, &header));

    late.Expect(first, &header);
    late.Expect(second, &header);
    late.Forget(first);
    EXPECT_FALSE(late.Consume(first, &header));
    EXPECT_TRUE(late.Consume(second, &header));
    EXPECT_TRUE(late.Empty());
}

}  // namespace
