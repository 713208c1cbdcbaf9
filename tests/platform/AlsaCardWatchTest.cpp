// The alsa driver's watch of the card folder: files that come or go there,
// as a card's do when it is plugged in or out, reach every window as one
// WM_DEVICECHANGE per burst.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/alsa/CardWatch.h"
#include "platform/posix/WinUser.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int changesSeen = 0;

LRESULT CountChanges(HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_DEVICECHANGE) ++changesSeen;
    return 0;
}

class CardWatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        changesSeen = 0;
        fs::create_directories(root);
    }
    void TearDown() override {
        DestroyWindow(window);
        fs::remove_all(root);
    }

    // Dispatches this thread's messages for a while, well past a burst.
    static void Settle() {
        const auto end = Clock::now() + 400ms;
        for (auto now = Clock::now(); now < end; now = Clock::now()) {
            pollfd queue{MessageQueueDescriptor(), POLLIN, 0};
            poll(&queue, 1, static_cast<int>((end - now) / 1ms) + 1);
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        }
    }

    // A card's files, as the kernel makes them.
    static void AddCard(const fs::path& folder, int card) {
        for (const char* kind : {"controlC", "pcmC"}) {
            std::ofstream(folder / (kind + std::to_string(card) + (kind[0] == 'p' ? "D0p" : "")));
        }
    }

    const fs::path root = fs::temp_directory_path() / ("card-watch-" + std::to_string(getpid()));
    const HWND window = CreateMessageWindow(&CountChanges, 0);
};

TEST_F(CardWatchTest, ACardPluggedInAndOutIsOneChangeEach) {
    sorvan::alsa::CardWatch watch(root);
    AddCard(root, 1);
    Settle();
    EXPECT_EQ(changesSeen, 1);
    fs::remove(root / "controlC1");
    fs::remove(root / "pcmC1D0p");
    Settle();
    EXPECT_EQ(changesSeen, 2);
    Settle();
    EXPECT_EQ(changesSeen, 2) << "nothing more while nothing changes";
}

TEST_F(CardWatchTest, TheFirstCardSinceBootMakesTheFolderAndIsSeen) {
    const fs::path folder = root / "snd";
    sorvan::alsa::CardWatch watch(folder);
    fs::create_directory(folder);
    AddCard(folder, 0);
    Settle();
    EXPECT_EQ(changesSeen, 1);
    AddCard(folder, 1);
    Settle();
    EXPECT_EQ(changesSeen, 2) << "the folder is watched from then on";
}

TEST_F(CardWatchTest, OtherFilesBesideAMissingFolderAreNoChange) {
    sorvan::alsa::CardWatch watch(root / "snd");
    std::ofstream(root / "tty9");
    Settle();
    EXPECT_EQ(changesSeen, 0);
}

}  // namespace
