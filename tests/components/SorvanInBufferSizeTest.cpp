// OnData never gets more than BufferSize bytes: a buffer holds the whole
// frames of BufferSize, and only a BufferSize below one frame grows to one.
#include "CaptureFixture.h"

namespace {

class BufferSizeTest : public CaptureTest {
  protected:
    BufferSizeTest() { sim::setUp({.inputs = {{.name = "Eight", .channels = 8}}}); }

    // The sizes OnData gets with `size` as BufferSize in the given format.
    std::vector<std::size_t> Delivered(std::int32_t channels, std::int32_t bits,
                                       std::int32_t size) {
        delivered.clear();
        in->SetChannels(channels);
        in->SetBits(bits);
        in->SetSamples(8000);
        in->SetInBuffSize(size);
        in->open();
        Pump();
        // Three buffers' time at 8000 frames a second.
        const std::int32_t frame = channels * bits / 8;
        Record(std::chrono::milliseconds(3 * size / frame / 8 + 3));
        in->close();
        Pump();
        std::vector<std::size_t> sizes;
        for (const auto& data : delivered) sizes.push_back(data.size());
        return sizes;
    }
};

TEST_F(BufferSizeTest, EveryBufferHoldsTheWholeFramesOfBufferSize) {
    for (const std::int32_t bits : {8, 16, 24, 32}) {
        for (std::int32_t channels = 1; channels <= 8; ++channels) {
            const std::int32_t frame = channels * bits / 8;
            // Sizes a frame or two past whole frames and just short of them.
            for (const std::int32_t size : {5 * frame + 1, 7 * frame - 1, 1001}) {
                if (size < TSorvanIn::MinBufferSize) continue;
                SCOPED_TRACE(testing::Message() << bits << " bits, " << channels
                                                << " channels, BufferSize " << size);
                const auto sizes = Delivered(channels, bits, size);
                ASSERT_FALSE(sizes.empty());
                const std::size_t whole = static_cast<std::size_t>(size / frame * frame);
                // The last buffer, returned by the close, may be partial.
                for (std::size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], whole);
                EXPECT_LE(sizes.back(), whole);
                EXPECT_EQ(sizes.back() % static_cast<std::size_t>(frame), 0u);
            }
        }
    }
}

TEST_F(BufferSizeTest, OnlyABufferSizeBelowOneFrameGrowsToOneFrame) {
    // 32-bit, 8 channels: a frame of 32 bytes, above the smallest BufferSize.
    const auto sizes = Delivered(8, 32, TSorvanIn::MinBufferSize);
    ASSERT_FALSE(sizes.empty());
    for (const std::size_t size : sizes) EXPECT_EQ(size, 32u);
}

}  // namespace
