// The watch of the card folder: a card's files coming or going, as when it
// is plugged in or out, are one WM_DEVICECHANGE per burst; a folder that
// does not exist yet is watched from when it appears.
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/alsa/CardWatch.h"
#include "platform/posix/WinUser.h"

namespace {

namespace fs = std::filesystem;

int changesSeen = 0;

LRESULT CountChanges(HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_DEVICECHANGE) ++changesSeen;
    return 0;
}

// Dispatches this thread's messages until well past a burst; the changes seen.
int Settle() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < end) {
        pollfd queue{MessageQueueDescriptor(), POLLIN, 0};
        poll(&queue, 1, 50);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    return changesSeen;
}

void AddCard(const fs::path& folder, int card) {
    std::ofstream(folder / ("controlC" + std::to_string(card)));
    std::ofstream(folder / ("pcmC" + std::to_string(card) + "D0p"));
}

TEST(CardWatch, CardsPluggedInAndOutAreOneChangeEachEvenBeforeTheFolderExists) {
    const fs::path root = fs::temp_directory_path() / ("card-watch-" + std::to_string(getpid()));
    const fs::path folder = root / "snd";
    fs::create_directories(root);
    const HWND window = CreateMessageWindow(&CountChanges, 0);
    {
        sorvan::alsa::CardWatch watch(folder);
        std::ofstream(root / "tty9");
        EXPECT_EQ(Settle(), 0) << "other devices are no change";
        fs::create_directory(folder);
        AddCard(folder, 0);
        EXPECT_EQ(Settle(), 1);
        AddCard(folder, 1);
        EXPECT_EQ(Settle(), 2);
        fs::remove(folder / "controlC1");
        fs::remove(folder / "pcmC1D0p");
        EXPECT_EQ(Settle(), 3);
        EXPECT_EQ(Settle(), 3) << "nothing while nothing changes";
    }
    DestroyWindow(window);
    fs::remove_all(root);
}

}  // namespace
