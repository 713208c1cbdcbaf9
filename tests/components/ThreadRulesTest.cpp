// The components belong to the thread that creates them: a method called on
// another thread is refused and says why; a call queued from another thread
// runs on the owner, in order with the device's notifications.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "CaptureFixture.h"
#include "PlaybackFixture.h"

namespace {

// Runs `work` on a thread of its own and waits for it.
template <class Work>
void OnAnotherThread(Work work) {
    std::thread(work).join();
}

using OutThreadRules = PlaybackTest;
using InThreadRules = CaptureTest;

TEST_F(OutThreadRules, MethodsCalledOnAnotherThreadAreRefusedAndChangeNothing) {
    Open();
    const Bytes block = Block(100, 3);
    Queue(block);
    const std::size_t callsBefore = sim::log().size();
    bool opened = true, played = true;
    WORD volume = 1;
    TSVOutCaps caps{ocStereo};
    OnAnotherThread([&] {
        opened = out->open();
        played = out->playback(block.data(), static_cast<std::int32_t>(block.size()));
        out->reset();
        out->close();
        out->SetVolume(1234);
        volume = out->GetVolume();
        caps = out->GetCaps();
        out->SetSamples(44100);
        out->SetChannels(2);
        out->SetBits(16);
        out->SetWantedDev(wvDevice3);
    });
    EXPECT_FALSE(opened);
    EXPECT_FALSE(played);
    EXPECT_EQ(volume, 0);
    EXPECT_TRUE(caps.Empty());
    // No device call was made and nothing changed.
    EXPECT_EQ(sim::log().size(), callsBefore);
    EXPECT_TRUE(out->IsOpen());
    EXPECT_TRUE(out->IsPlaying());
    EXPECT_EQ(out->samples(), 8000);
    EXPECT_EQ(out->channels(), 1);
    EXPECT_EQ(out->SampleBits(), 8);
    EXPECT_EQ(out->device(), wvMapper);
    EXPECT_EQ(out->LastError(), MMSYSERR_HANDLEBUSY);
    EXPECT_NE(out->LastErrorText().find("another thread"), std::string::npos);

    // The owner's own calls go on as before.
    Play(1s);
    EXPECT_EQ(sim::played(0), block);
    EXPECT_TRUE(out->open());
    out->close();
    EXPECT_FALSE(out->IsOpen());
}

TEST_F(OutThreadRules, AQueuedCallFromAnotherThreadPlaysOnTheOwner) {
    Open();
    const Bytes block = Block(80, 9);
    std::thread::id ranOn;
    bool queued = false;
    OnAnotherThread([&] {
        queued = out->Queue([&] {
            ranOn = std::this_thread::get_id();
            EXPECT_TRUE(out->playback(block.data(), static_cast<std::int32_t>(block.size())));
        });
    });
    EXPECT_TRUE(queued);
    Pump();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    Play(1s);
    EXPECT_EQ(events, std::vector<std::string>({"done-"}));
    EXPECT_EQ(sim::played(0), block);
    EXPECT_EQ(out->LastError(), MMSYSERR_NOERROR);
}

TEST_F(InThreadRules, MethodsCalledOnAnotherThreadAreRefusedAndChangeNothing) {
    in->open();
    Record(10ms);
    ASSERT_TRUE(in->IsCapturing());
    const std::size_t callsBefore = sim::log().size();
    TSVInCaps caps{icStereo};
    OnAnotherThread([&] {
        in->close();
        in->open();
        caps = in->GetCaps();
        in->CloseWAVFile();
        in->SetFileName("elsewhere.wav");
        in->SetSamples(44100);
        in->SetChannels(2);
        in->SetBits(16);
        in->SetMaxBuffers(5);
        in->SetInBuffSize(4096);
        in->SetWantedDev(wvDevice1);
    });
    EXPECT_TRUE(caps.Empty());
    EXPECT_EQ(sim::log().size(), callsBefore);
    EXPECT_TRUE(in->IsOpen());
    EXPECT_TRUE(in->IsCapturing());
    EXPECT_EQ(in->FileName(), "");
    EXPECT_EQ(in->samples(), 8000);
    EXPECT_EQ(in->channels(), 1);
    EXPECT_EQ(in->SampleBits(), 8);
    EXPECT_EQ(in->MaxBuffers(), 2);
    EXPECT_EQ(in->BufferSize(), 2048);
    EXPECT_EQ(in->device(), wvMapper);
    EXPECT_EQ(in->LastError(), MMSYSERR_HANDLEBUSY);
    EXPECT_NE(in->LastErrorText().find("another thread"), std::string::npos);

    in->close();
    Pump();
    EXPECT_FALSE(in->IsOpen());
    EXPECT_EQ(closes, 1);
}

}  // namespace
