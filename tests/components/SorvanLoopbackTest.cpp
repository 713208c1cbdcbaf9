// Output device 0 feeds input device 0: what TSorvanOut plays, TSorvanIn records.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "PlaybackFixture.h"
#include "components/SorvanIn.h"

namespace {

class LoopbackTest : public PlaybackTest {
  protected:
    LoopbackTest() : PlaybackTest(Devices()) {}

    static sim::Setup Devices() {
        return {.inputs = {{.name = "Line in", .channels = 1}},
                .outputs = {{.name = "Line out", .channels = 1}}};
    }

    void SetUp() override {
        PlaybackTest::SetUp();
        sim::connect(0, 0);
        in->SetWantedDev(wvDevice0);
        in->SetInBuffSize(256);
        in->SetMaxBuffers(4);
        in->OnData = [this](TObject*, char* data, std::int32_t size) {
            const auto* bytes = reinterpret_cast<const std::byte*>(data);
            recorded.insert(recorded.end(), bytes, bytes + size);
        };
        out->SetWantedDev(wvDevice0);
    }
    void TearDown() override {
        in->close();
        out->close();
        Pump();
        PlaybackTest::TearDown();
    }

    std::unique_ptr<TSorvanIn> in = std::make_unique<TSorvanIn>(nullptr);
    Bytes recorded;
};

TEST_F(LoopbackTest, RecordsTheBlocksThatWerePlayed) {
    in->open();
    ASSERT_TRUE(in->IsCapturing());
    Open();

    std::vector<Bytes> blocks;
    for (int i = 0; i < 12; ++i) blocks.push_back(Block(100 + 37 * i, 3 * i));
    for (const Bytes& b : blocks) Queue(b);
    const Bytes sent = Joined(blocks);

    // Small steps, so the recorded buffers go back to the device in time.
    for (int step = 0; step < 100 && recorded.size() < sent.size(); ++step) Play(16ms);
    ASSERT_GE(recorded.size(), sent.size());
    EXPECT_EQ(sim::played(0), sent);
    EXPECT_EQ(Bytes(recorded.begin(), recorded.begin() + sent.size()), sent);
    EXPECT_FALSE(out->IsPlaying());
}

}  // namespace
